// The daemon's endpoint as text: "a.b.c.d:port".
#include <arpa/inet.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pelmarok_ds.h"

extern "C" int pelmarok_ds_parse_endpoint(const char* text, msgpipe_endpoint* endpoint) {
  if (!text || !endpoint) return -1;
  const char* colon = std::strrchr(text, ':');
  if (!colon || colon == text || colon[1] == '\0') return -1;
  const std::string address(text, static_cast<size_t>(colon - text));
  in_addr addr{};
  if (inet_pton(AF_INET, address.c_str(), &addr) != 1) return -1;
  char* end = nullptr;
  const unsigned long port = std::strtoul(colon + 1, &end, 10);
  if (*end != '\0' || port > 65535 || !std::isdigit(static_cast<unsigned char>(colon[1]))) return -1;
  msgpipe_endpoint_set(endpoint, ntohl(addr.s_addr), static_cast<uint32_t>(port));
  return 0;
}

extern "C" int pelmarok_ds_default_endpoint(msgpipe_endpoint* endpoint) {
  const char* env = std::getenv(PELMAROK_DS_ENDPOINT_ENV);
  if (env && env[0]) return pelmarok_ds_parse_endpoint(env, endpoint);
  return pelmarok_ds_parse_endpoint(PELMAROK_DS_DEFAULT_ENDPOINT, endpoint);
}
