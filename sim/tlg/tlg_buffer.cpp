#include "tlg.h"
