// Opens the core's trace buffers under their own names for a test program
// and clears them, so that tests can read what the core traced.
#pragma once

namespace fakes {
void open_core_traces();
}
