#include "msgpipe.h"
