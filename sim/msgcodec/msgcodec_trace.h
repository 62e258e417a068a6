// The codec's own trace buffer "msgcodec": one line per record that could not
// be encoded or decoded, naming the record, the field and the fault.
#pragma once

// Name of the codec's trace buffer.
inline constexpr char kMsgcodecTraceBuffer[] = "msgcodec";

void msgcodec_trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
