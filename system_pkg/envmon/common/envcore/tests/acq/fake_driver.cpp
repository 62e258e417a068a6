#include "fake_driver.h"

#include <stdlib.h>

#include "dsd_server.h"

namespace {
constexpr uint32_t kLoopback = 0x7f000001;
}  // namespace

std::string fake_eid_text(const pelm_eid& e) {
  std::string out = std::to_string(e.rack) + "/" + std::to_string(e.slot);
  for (uint32_t i = 0; e.tsi && i < e.tsi_count; ++i)
    out += " " + std::to_string(e.tsi[i].type) + "/" + std::to_string(e.tsi[i].subtype) + "/" +
           std::to_string(e.tsi[i].instance);
  return out;
}

TestDirectory::TestDirectory(evloop_t* loop) : ds_(std::make_unique<DsServer>(loop, [](const std::string&) {})) {
  msgpipe_endpoint any{};
  msgpipe_endpoint_set(&any, kLoopback, 0);
  if (ds_->start(any) == 0) {
    const std::string text = "127.0.0.1:" + std::to_string(ds_->local_endpoint().port);
    setenv("ENVMON_DS_ENDPOINT", text.c_str(), 1);
  }
}

TestDirectory::~TestDirectory() { unsetenv("ENVMON_DS_ENDPOINT"); }

size_t TestDirectory::entries() const { return ds_->registry().entry_count(); }

FakeDriver* FakeDriver::of(drvif_client_handle_t* c) {
  return static_cast<FakeDriver*>(drvif_server_get_user_context(drvif_client_get_server(c)));
}

FakeDriver::FakeDriver(evloop_t* loop, uint32_t index, uint32_t scope) : index_(index) {
  drvif_server_handle_create(&h_, loop, 0);
  drvif_server_set_user_context(h_, this);
  drvif_server_set_service_instance(h_, ("drv" + std::to_string(index)).c_str());
  drvif_server_set_connect_callback(h_, [](drvif_client_handle_t* c, void*, int32_t) { of(c)->client_ = c; });
  drvif_server_set_disconnect_callback(h_, [](drvif_client_handle_t* c, int32_t) {
    if (of(c)->client_ == c) of(c)->client_ = nullptr;
  });
  auto reg = [](drvif_client_handle_t* c, const drvif_eid_register_req* r, uint32_t id, bool unreg) {
    FakeDriver* d = of(c);
    std::vector<uint32_t> v = {r->op_count ? r->op[0] : 0, r->pt_count ? r->pt[0] : 0,
                               r->rt_count ? r->rt[0] : 0};
    if (unreg) {
      d->unregistrations.push_back(v);
      return;
    }
    d->registrations.push_back(v);
    drvif_eid_register_resp resp{d->registration_acks.data(),
                                 static_cast<uint32_t>(d->registration_acks.size()), 1};
    drvif_resp_eid_register(c, &resp, 1, 0, id);
  };
  static decltype(reg) s_reg = reg;
  drvif_server_set_eid_register_callback(
      h_, [](drvif_client_handle_t* c, const drvif_eid_register_req* r, uint32_t id) { s_reg(c, r, id, false); });
  drvif_server_set_eid_unregister_callback(
      h_, [](drvif_client_handle_t* c, const drvif_eid_register_req* r, uint32_t id) { s_reg(c, r, id, true); });
  drvif_server_set_eid_config_polling_callback(
      h_, [](drvif_client_handle_t* c, const drvif_eid_config_polling_req* r, uint32_t id) {
        FakeDriver* d = of(c);
        Poll p{r->op, {}, {}, {}, id};
        for (uint32_t i = 0; i < r->eid_count; ++i) p.eids.push_back(fake_eid_text(r->eid[i]));
        p.deltas.assign(r->delta, r->delta + r->delta_count);
        p.intervals.assign(r->interval, r->interval + r->interval_count);
        d->polls.push_back(p);
        if (!d->answer_polls) return;
        std::vector<uint32_t> acks;
        for (const auto& e : p.eids) acks.push_back(d->ack_of ? d->ack_of(e) : 0);
        d->answer_poll(p, acks);
      });
  auto set = [](drvif_client_handle_t* c, const drvif_set_sensor_req* r, uint32_t id, bool aux) {
    FakeDriver* d = of(c);
    Set s{{}, {}, {}, aux, id};
    std::vector<pelm_eid> eids;
    std::vector<uint32_t> acks;
    for (uint32_t i = 0; i < r->entry_count; ++i) {
      s.eids.push_back(fake_eid_text(r->entry[i].eid));
      s.values.push_back(r->entry[i].value);
      s.kinds.push_back(r->entry[i].kind);
      eids.push_back(r->entry[i].eid);
      if (eids.back().slot == 0xfffe) eids.back().slot = d->card_slot;
      acks.push_back(d->ack_of ? d->ack_of(s.eids.back()) : 0);
    }
    d->sets.push_back(s);
    if (!d->answer_sets) return;
    drvif_eid_ack_resp resp{eids.data(), static_cast<uint32_t>(eids.size()), acks.data(),
                            static_cast<uint32_t>(acks.size()), nullptr, 0x3};
    if (aux)
      drvif_resp_set_auxiliary_sensor_info(c, &resp, 1, 0, id);
    else
      drvif_resp_set_sensor_info(c, &resp, 1, 0, id);
  };
  static decltype(set) s_set = set;
  drvif_server_set_set_sensor_info_callback(
      h_, [](drvif_client_handle_t* c, const drvif_set_sensor_req* r, uint32_t id) { s_set(c, r, id, false); });
  drvif_server_set_set_auxiliary_sensor_info_callback(
      h_, [](drvif_client_handle_t* c, const drvif_set_sensor_req* r, uint32_t id) { s_set(c, r, id, true); });
  drvif_server_set_get_fpga_info_callback(h_, [](drvif_client_handle_t* c, const drvif_eid_list_req* r, uint32_t id) {
    FakeDriver* d = of(c);
    for (uint32_t i = 0; i < r->eid_count; ++i) d->fpga_gets.push_back(fake_eid_text(r->eid[i]) + " #" + std::to_string(id));
  });
  drvif_server_set_set_fpga_info_callback(
      h_, [](drvif_client_handle_t* c, const drvif_set_fpga_info_req* r, uint32_t id) {
        FakeDriver* d = of(c);
        for (uint32_t i = 0; i < r->entry_count; ++i) {
          const drvif_fpga_set_rec& e = r->entry[i];
          d->fpga_sets.push_back({fake_eid_text(e.eid), e.path ? e.path : "", e.req_major, e.req_minor,
                                  e.toggle, r->op_count > i ? r->op[i] : 0, id});
        }
      });
  drvif_server_set_set_shut_slot_info_callback(
      h_, [](drvif_client_handle_t* c, const drvif_shut_slot_req* r, uint32_t) { of(c)->shut_slots.push_back(r->slot); });
  drvif_server_set_send_rack_num_callback(
      h_, [](drvif_client_handle_t* c, const drvif_rack_num_req* r, uint32_t) { of(c)->rack_nums.push_back(r->rack); });
  drvif_server_set_notif_fpga_data_ack_callback(
      h_, [](drvif_client_handle_t* c, const drvif_notif_ack*, uint32_t id) { of(c)->fpga_acks.push_back(id); });
  caps_[0] = {0, index};
  caps_[1] = {1, scope};
  drvif_server_activation a{kLoopback, 0, 1, caps_, 2};
  drvif_server_activate(h_, &a);
}

FakeDriver::~FakeDriver() { drvif_server_handle_destroy(h_); }

int FakeDriver::answer_poll(const Poll& p, const std::vector<uint32_t>& acks, int32_t status) {
  // The ids go back as the request had them.
  std::vector<pelm_eid> eids(p.eids.size());
  std::vector<std::vector<pelm_tsi>> levels(p.eids.size());
  for (size_t i = 0; i < p.eids.size(); ++i) {
    unsigned rack = 0, slot = 0;
    int used = 0;
    sscanf(p.eids[i].c_str(), "%u/%u%n", &rack, &slot, &used);
    const char* rest = p.eids[i].c_str() + used;
    unsigned t = 0, s = 0, n = 0;
    int more = 0;
    while (sscanf(rest, " %u/%u/%u%n", &t, &s, &n, &more) == 3) {
      levels[i].push_back({t, s, n});
      rest += more;
    }
    eids[i].rack = rack;
    eids[i].slot = slot == 0xfffe ? card_slot : slot;
    eids[i].tsi = levels[i].data();
    eids[i].tsi_count = static_cast<uint32_t>(levels[i].size());
    eids[i].present = PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_TSI;
  }
  std::vector<uint32_t> a = acks;
  drvif_eid_ack_resp resp{eids.data(), static_cast<uint32_t>(eids.size()), a.data(),
                          static_cast<uint32_t>(a.size()), nullptr, 0x3};
  return drvif_resp_eid_config_polling(client_, &resp, 1, status, p.id);
}

int FakeDriver::answer_get_fpga(uint32_t id, const drvif_fpga_data_msg& msg, int32_t status) {
  return drvif_resp_get_fpga_info(client_, &msg, 1, status, id);
}

int FakeDriver::answer_set_fpga(uint32_t id, const std::vector<pelm_eid>& eids,
                                const std::vector<uint32_t>& acks) {
  std::vector<pelm_eid> e = eids;
  std::vector<uint32_t> a = acks;
  drvif_eid_ack_resp resp{e.data(), static_cast<uint32_t>(e.size()), a.data(), static_cast<uint32_t>(a.size()),
                          nullptr, 0x3};
  return drvif_resp_set_fpga_info(client_, &resp, 1, 0, id);
}

int FakeDriver::notify_sensor(const std::vector<drvif_sensor_data_rec>& recs) {
  std::vector<drvif_sensor_data_rec> r = recs;
  drvif_sensor_data_msg msg{r.data(), static_cast<uint32_t>(r.size()), nullptr, 0, 0x1};
  return drvif_notify_sensor_data(client_, &msg);
}

int FakeDriver::notify_led(const std::vector<drvif_led_data_rec>& recs) {
  std::vector<drvif_led_data_rec> r = recs;
  drvif_led_data_msg msg{r.data(), static_cast<uint32_t>(r.size()), nullptr, 0, 0x1};
  return drvif_notify_led_data(client_, &msg);
}

int FakeDriver::notify_eid(const std::vector<drvif_eid_data_rec>& recs) {
  std::vector<drvif_eid_data_rec> r = recs;
  drvif_eid_data_msg msg{r.data(), static_cast<uint32_t>(r.size()), nullptr, 0, 0x1};
  return drvif_notify_eid_data(client_, &msg);
}

int FakeDriver::notify_fpga(const drvif_fpga_data_msg& msg, uint32_t cookie) {
  return drvif_notify_fpga_data(client_, &msg, cookie);
}

void FakeDriver::drop_client() {
  if (client_) drvif_client_handle_destroy(client_);
}

msgpipe_endpoint FakeDriver::endpoint() const {
  msgpipe_endpoint ep{};
  drvif_server_get_endpoint(h_, &ep);
  return ep;
}

void FakeDriver::entry(Entry* e, uint32_t scope) const {
  *e = Entry{};
  const msgpipe_endpoint ep = endpoint();
  const int n = msgcodec_msgpipe_endpoint_encode_ext(&ep, e->bytes, sizeof(e->bytes));
  e->attr[0] = {0, index_, nullptr, nullptr, 0, 0x3};
  e->attr[1] = {1, scope, nullptr, nullptr, 0, 0x3};
  e->info.endpoint = e->bytes;
  e->info.endpoint_len = static_cast<uint32_t>(n);
  e->info.scope = scope;
  e->info.attributes = e->attr;
  e->info.attribute_count = 2;
  e->info.present = (1u << DS_SERVICE_INFO_BIT_ENDPOINT) | (1u << DS_SERVICE_INFO_BIT_SCOPE) |
                    (1u << DS_SERVICE_INFO_BIT_ATTRIBUTES);
}
