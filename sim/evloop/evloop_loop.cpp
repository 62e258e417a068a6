#include "evloop.h"
