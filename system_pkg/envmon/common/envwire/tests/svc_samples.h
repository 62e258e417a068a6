// Sample payloads of every service message and the public function that
// sends each, for the service libraries' tests and their peer program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "envclient.h"
#include "envmon_wire.h"
#include "envserve.h"

namespace svc_test {

constexpr uint32_t kLoopback = 0x7f000001u;

// The encoding of a payload record (what a receiver saw, or what was sent).
std::vector<uint8_t> encode_payload(const envmon_msg_desc* m, const void* rec);
// A record of the message's type with every field set to a value of its own
// (pointers refer to static storage).
envmon_any_payload sample(const envmon_msg_desc* m);
// Every request, and every server message.
std::vector<const envmon_msg_desc*> requests();
std::vector<const envmon_msg_desc*> server_msgs();
// The public sending function of a request id / a server message id.
int32_t send_request(envmon_handle* h, uint32_t id, const void* payload, void* cookie);
int32_t send_server_msg(envmon_client_handle* c, uint32_t id, const void* payload, int final,
                        int32_t status, uint32_t request_id);

// Lower-case hexadecimal of bytes.
std::string hex(const std::vector<uint8_t>& bytes);
// The server message that answers a request id (0 for the one-way ones).
uint32_t answer_of(uint32_t request);

}  // namespace svc_test
