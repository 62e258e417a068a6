// Trace texts of the service wire, shared by both libraries. Where a text names
// the sending function, "%s()" receives that name ("envmon_resp_test").
#pragma once

namespace envmon_wire_text {

// Sending a frame.
constexpr const char kNullTransport[] = "CAPI (%p) ERROR:%s(): invoked with NULL msgpipe handler.\n";
constexpr const char kEntered[] = "CAPI=%p entered envmon\n";
constexpr const char kNotConnected[] = "CAPI ERROR:%s(): not connected.\n";
constexpr const char kOutOfMemory[] = "CAPI ERROR:%s(): out of memory.\n";
constexpr const char kInvalidLength[] = "CAPI ERROR:%s(): invalid header or payload length.\n";
constexpr const char kSecondAttempt[] = "%s(): 2nd attempt error while encoding.\n";
constexpr const char kSendOk[] = "CAPI=%p %s(): msgpipe_send() invoked succesfully.\n";
constexpr const char kSendError[] = "%s(): msgpipe_send() returned error.\n";
constexpr const char kSendFlowControl[] = "%s(): msgpipe_send() returned flow control.\n";
constexpr const char kNoTableEntry[] = "CAPI ERROR:%s(): unable to allocate entry in table.\n";

// Receiving a frame.
constexpr const char kInvalidHeaderLen[] =
    "message has invalid header len (header_len = %d, msg_size=%d).\nMessage: ";
constexpr const char kHeaderDecodeFailed[] =
    "decode of CAPI message header failed (header_len = %d, cnt=%d).\nHeader: ";
constexpr const char kHeaderByte[] = "%2x ";
constexpr const char kHeaderDumpEnd[] = "\n";
constexpr const char kHandshakeFailed[] =
    "CAPI handshake failed in server-name checking (client-string, client-string-static, "
    "server-string) = (%s, envmon, %s)\n";
constexpr const char kDispatched[] = "dispatched remote invocation of function envmon_%s\n";
constexpr const char kInvalidPayload[] = "Invalid message payload for %s callback.\n";
constexpr const char kReceiveFlowControl[] = "Unexpected MSGPIPE FLOW-CONTROL while receiving\n";
constexpr const char kReceiveError[] = "Unexpected MSGPIPE ERROR while receiving\n";

// Message-sequence lines.
constexpr const char kMscEntity[] = "  @msc_entity id=\"$n/$p\" display_name=\"%s\" \n";
constexpr const char kMscLabel[] =
    "@msc_event entity_id=\"$n/$p/$T\" time=\"$S\" label=\"%s\" type=\"CAPIEvent\"\n";
constexpr const char kMscSource[] =
    "@msc_event entity_id=\"$n/$p/$T\" time=\"$S\" label=\"%s()\" type=\"CAPIEvent\" "
    "@msc_source pairing_id=\"%s/%d/%d\"\n";
constexpr const char kMscSink[] =
    "@msc_event entity_id=\"$n/$p/$T\" time=\"$S\" label=\"%s()\" type=\"CAPIEvent\" "
    "@msc_sink pairing_id=\"%s/%d/%d\"\n";
constexpr const char kMscInitSource[] =
    "@msc_event entity_id=\"$n/$p/$T\" time=\"$S\" label=\"<envmon_init>\" type=\"CAPIEvent\" "
    "@msc_source pairing_id=\"%s/$p/%d\"\n";
constexpr const char kMscInitSink[] =
    "@msc_event entity_id=\"$n/$p/$T\" time=\"$S\" label=\"<envmon_init>\" type=\"CAPIEvent\" "
    "@msc_sink pairing_id=\"%x/%d/%d\"\n";

// Names printed for a missing text.
constexpr const char kNone[] = "(null)";

}  // namespace envmon_wire_text
