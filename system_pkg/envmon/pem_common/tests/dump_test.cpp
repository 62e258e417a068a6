// The PEM part of the debug dump.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "envmon_pem_private.h"
#include "pem_fixture.h"

namespace {

class Dump : public PemFixture {
 protected:
  std::string dump() {
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    env_dump_fd = f;
    envmon_pem_pwr_mgmt_dump_data();
    env_dump_fd = nullptr;
    fclose(f);
    std::string text(buf, len);
    free(buf);
    return text;
  }
};

TEST_F(Dump, SeenPemsOnlyAndTheVirtualTrayFlag) {
  make_trays({2, 1});
  apply(0, 1, kAcPem);
  envmon_pwr_mgmt_pem_data_upd(1, 0, nullptr, 0);  // absent, but seen
  const std::string text = dump();
  const std::string head =
      "------------------------------------------------\nTolsek PWR MGMT DATA\n"
      "------------------------------------------------\n--- pd_power_supplies_data ---\n"
      "power_for_pem_redundancy : 3000\nall_pem_info_rcvd : 0\nredundancy_num_pems : 0\npem_drvif_reg_done : 0\n"
      "------------------------------------------------\nPT0 DATA\n----------------------------------------\n"
      "virtual power tray : 1\ntray_capacity : 3000 W\nnum_pems : 2\n----------------------------------------\n"
      "PT0 PM1 DATA\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.find("PT0 PM0 DATA"), std::string::npos);
  EXPECT_NE(text.find("PT1 PM0 DATA\n"), std::string::npos);
  EXPECT_NE(text.find("pem_type : 0xf00388\nstatus : 0x2\n"), std::string::npos);
  EXPECT_NE(text.find("ps_eid : 65534/581 TSI:"), std::string::npos);
  EXPECT_NE(text.find("state_reported_to_inv (successfuly) : "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 50), "\n------------------------------------------------\n");
}

TEST_F(Dump, BeforeTheTraysExist) {
  const std::string text = dump();
  EXPECT_NE(text.find("Memory is not allcated for power tray data yet\n"), std::string::npos);
}

}  // namespace
