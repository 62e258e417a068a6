// Everything the libraries of the monitoring server process share with the
// core: records, result codes, and the interfaces of the core and of its
// neighbours in the process.
#pragma once

#include "envmon_cardtypes.h"
#include "envmon_core.h"
#include "envmon_drvif.h"
#include "envmon_errors.h"
#include "envmon_fm.h"
#include "envmon_fpd.h"
#include "envmon_hal.h"
#include "envmon_invreg.h"
#include "envmon_obfl.h"
#include "envmon_pem.h"
#include "envmon_pwr_mgmt.h"
#include "envmon_records.h"
#include "envmon_sensor.h"
#include "envmon_stats.h"
