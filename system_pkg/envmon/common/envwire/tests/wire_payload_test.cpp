// Payload field tables: each presence bit names its own field, and a record
// with every field set survives a round trip through the codec.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "envmon_wire.h"

namespace {

// Presence-bit masks of every payload type with fields (0 for the empty ones).
struct TypeCase {
  uint32_t id;
  bool request;  // direction of the id
  uint8_t all_bits;
};

constexpr TypeCase kTypes[] = {
    {ENVMON_REQ_POWER_BUDGET, true, 0x3f},        {ENVMON_REQ_SENSOR_VALUE_SET, true, 0x07},
    {ENVMON_REQ_SENSOR_FAULT_SET, true, 0x07},    {ENVMON_REQ_RUN_TEST, true, 0x01},
    {ENVMON_REQ_SET_DBG_FLAG, true, 0x01},        {ENVMON_REQ_REGISTER_POWER_DATA, true, 0},
    {ENVMON_REQ_DUMP_DEBUG, true, 0},             {ENVMON_REQ_HW_TEMP_MONITORING, true, 0x01},
    {ENVMON_REQ_OPER_STATE_SET, true, 0x07},      {ENVMON_REQ_FAN_TIMER_DISABLE, true, 0x01},
    {ENVMON_REQ_ALTITUDE_VALUE, true, 0},         {ENVMON_RESP_POWER_BUDGET, false, 0x03},
    {ENVMON_RESP_SENSOR_VALUE_SET, false, 0},     {ENVMON_RESP_SENSOR_FAULT_SET, false, 0},
    {ENVMON_RESP_TEST, false, 0},                 {ENVMON_RESP_DBG_FLAG, false, 0},
    {ENVMON_RESP_REGISTER_POWER_DATA, false, 0},  {ENVMON_NOTIF_SYS_PWR_DATA, false, 0xff},
    {ENVMON_NOTIF_FRU_PWR_ALLOC_DATA, false, 0x0f}, {ENVMON_RESP_DUMP_DEBUG, false, 0},
    {ENVMON_RESP_TEMP_MONITORING, false, 0},      {ENVMON_RESP_ALTITUDE_VALUE, false, 0x03},
};

// Fills every byte of the record with a pattern, then points the pointer
// fields (entity-id levels, texts) at valid data and sets the presence bits.
struct Filled {
  envmon_any_payload rec;
  pelm_tsi levels[2] = {{8, 25, 1}, {9, 29, 2}};
  char text[8] = "pid-9";
};

void fill(Filled* f, const envmon_msg_desc* m, uint8_t bits) {
  memset(&f->rec, 0x5a, sizeof f->rec);
  auto set_eid = [&](pelm_eid* e) {
    e->ext = nullptr;
    e->tsi = f->levels;
    e->tsi_count = 2;
    e->present = PELM_EID_HAS_ID | PELM_EID_HAS_RACK | PELM_EID_HAS_SLOT | PELM_EID_HAS_TSI;
  };
  auto* r = reinterpret_cast<uint8_t*>(&f->rec);
  switch (m->id + (m->kind == ENVMON_KIND_REQUEST || m->kind == ENVMON_KIND_ONE_WAY ? 0 : 100)) {
    case ENVMON_REQ_POWER_BUDGET:
      set_eid(&f->rec.request_power_budget.eid);
      f->rec.request_power_budget.pid = f->text;
      break;
    case ENVMON_REQ_SENSOR_VALUE_SET:
      set_eid(&f->rec.sensor_value.eid);
      break;
    case ENVMON_REQ_SENSOR_FAULT_SET:
      set_eid(&f->rec.sensor_fault.eid);
      break;
    case ENVMON_REQ_OPER_STATE_SET:
      set_eid(&f->rec.oper_state.eid);
      break;
    case 100 + ENVMON_RESP_POWER_BUDGET:
      set_eid(&f->rec.power_budget.eid);
      break;
    case 100 + ENVMON_NOTIF_FRU_PWR_ALLOC_DATA:
      set_eid(&f->rec.notif_fru_pwr_alloc_data.eid);
      break;
    default:
      break;
  }
  // The presence byte sits just before the keep byte in records with fields.
  if (m->keep_offset > 0) r[m->keep_offset - 1] = bits;
}

std::vector<uint8_t> encode(const envmon_msg_desc* m, const void* rec) {
  uint8_t probe[1];
  const int need = msgcodec_encode(m->type, rec, probe, 0);
  EXPECT_GE(need, 0);
  std::vector<uint8_t> out(static_cast<size_t>(need > 0 ? need : 0));
  EXPECT_EQ(msgcodec_encode(m->type, rec, out.data(), out.size()), need);
  return out;
}

const envmon_msg_desc* desc(const TypeCase& c) {
  return c.request ? envmon_wire_request(c.id) : envmon_wire_server_msg(c.id);
}

TEST(WirePayload, EveryPresenceBitNamesItsOwnField) {
  for (const auto& c : kTypes) {
    const envmon_msg_desc* m = desc(c);
    ASSERT_NE(m, nullptr);
    SCOPED_TRACE(m->name);
    for (unsigned bit = 0; bit < 8; ++bit) {
      const uint8_t mask = static_cast<uint8_t>(1u << bit);
      if ((c.all_bits & mask) == 0) continue;
      Filled f;
      fill(&f, m, mask);
      const auto bytes = encode(m, &f.rec);
      ASSERT_FALSE(bytes.empty());
      EXPECT_EQ(bytes[0], mask) << "bit " << bit;
      envmon_any_payload back;
      ASSERT_GE(msgcodec_decode(m->type, &back, bytes.data(), bytes.size(), malloc, 0), 0);
      EXPECT_EQ(reinterpret_cast<uint8_t*>(&back)[m->keep_offset - 1], mask);
      msgcodec_free(m->type, &back, free);
    }
  }
}

TEST(WirePayload, ARecordWithEveryFieldSurvivesARoundTrip) {
  for (const auto& c : kTypes) {
    const envmon_msg_desc* m = desc(c);
    SCOPED_TRACE(m->name);
    Filled f;
    fill(&f, m, c.all_bits);
    const auto bytes = encode(m, &f.rec);
    EXPECT_EQ(bytes.empty(), c.all_bits == 0) << "empty records encode to nothing";
    envmon_any_payload back;
    memset(&back, 0, sizeof back);
    ASSERT_GE(msgcodec_decode(m->type, &back, bytes.data(), bytes.size(), malloc, 0), 0);
    EXPECT_EQ(encode(m, &back), bytes);
    msgcodec_free(m->type, &back, free);
  }
}

}  // namespace
