// What the inventory-service client's modules share.
#pragma once

#include "envmon_invreg_private.h"

// This card is a route processor for the inventory-service client: the core's
// route-processor list (which leaves out 0x520d).
bool envmon_inv_is_rp_card();
// This card derives its hot-swap current from the backplane currents.
bool envmon_inv_is_bb_card();
