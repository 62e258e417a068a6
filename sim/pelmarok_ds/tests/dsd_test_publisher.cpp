// A publisher process for the directory-service tests: publishes one endpoint
// of a service every time it connects to the daemon, until it is stopped.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "evloop.h"
#include "msgpipe.h"
#include "pelmarok_ds.h"

namespace {

constexpr char kUsage[] =
    "usage: dsd_test_publisher SERVICE SCOPE PORT [INSTANCE]\n"
    "Publishes 127.0.0.1:PORT as SERVICE with SCOPE (and INSTANCE) in the directory\n"
    "service named by " PELMAROK_DS_ENDPOINT_ENV " on every connection, and prints\n"
    "\"published <status>\" for each answer. Runs until killed.\n";

struct Publication {
  const char* service;
  uint32_t scope;
  uint32_t port;
  const char* instance;
};

void publish(pelmarok_ds_handle_t* ds, const Publication& p) {
  msgpipe_endpoint ep;
  msgpipe_endpoint_set(&ep, 0x7f000001, p.port);
  uint8_t buf[16];
  const int n = msgcodec_msgpipe_endpoint_encode_ext(&ep, buf, sizeof buf);
  ds_attribute attr{};
  attr.id = 1;
  attr.int_value = p.scope;
  attr.present = 0x03;
  ds_service_info info{};
  info.endpoint = buf;
  info.endpoint_len = static_cast<uint32_t>(n);
  info.scope = p.scope;
  info.attributes = &attr;
  info.attribute_count = 1;
  info.instance_name = const_cast<char*>(p.instance);
  info.present = static_cast<uint8_t>(0x0e | (p.instance ? 0x10 : 0));
  ds_service_publish_info pub{};
  pub.service_name = const_cast<char*>(p.service);
  pub.service_info = &info;
  pub.service_info_count = 1;
  pub.present = 0x05;
  if (pelmarok_ds_publish_service(ds, &pub, 0) != 0) {
    std::printf("publish call failed\n");
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "dsd_test_publisher: wrong arguments\n%s", kUsage);
    return 2;
  }
  Publication p{argv[1], static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)),
                static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)), argc == 5 ? argv[4] : nullptr};
  evloop_t* loop = evloop_create("dsd_test_publisher");
  pelmarok_ds_handle_t* ds = nullptr;
  if (!loop || pelmarok_ds_handle_create(&ds, loop, &p) != 0) {
    std::fprintf(stderr, "dsd_test_publisher: cannot create the loop or the handle\n");
    return 1;
  }
  pelmarok_ds_set_connect_callback(ds, [](pelmarok_ds_handle_t* h, int32_t status, void*) {
    std::printf("connect %d\n", status);
    std::fflush(stdout);
    if (status == 0) publish(h, *static_cast<Publication*>(pelmarok_ds_get_user_context(h)));
  });
  pelmarok_ds_set_published_service_callback(ds, [](pelmarok_ds_handle_t*, int32_t status, void*) {
    std::printf("published %d\n", status);
    std::fflush(stdout);
  });
  if (pelmarok_ds_connect(ds, nullptr) != 0) {
    std::fprintf(stderr, "dsd_test_publisher: cannot start connecting to the directory service\n");
    return 1;
  }
  evloop_block(loop);
  pelmarok_ds_handle_destroy(ds);
  evloop_destroy(loop);
  return 0;
}
