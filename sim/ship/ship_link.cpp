// The link between this process's statistics registrations and the
// statistics model of the chassis simulator.
#include "msgcodec_define.h"
#include "ship_internal.h"
#include "ship_wire.h"

namespace {
constexpr msgcodec_field kName[] = {MSGCODEC_TEXT(ship_counter_name, name, 0)};
}  // namespace
MSGCODEC_DEFINE(ship_counter_name, ship_counter_name, present, kName)

namespace {
constexpr msgcodec_field kTable[] = {
    MSGCODEC_INT(ship_table_msg, table_id, 0),
    MSGCODEC_TEXT(ship_table_msg, app, 1),
    MSGCODEC_TEXT(ship_table_msg, group, 2),
    MSGCODEC_TEXT(ship_table_msg, table, 3),
    MSGCODEC_INT(ship_table_msg, kind, 4),
    MSGCODEC_RECORD_LIST(ship_table_msg, counters, counter_count, 5),
};
constexpr msgcodec_field kTableValues[] = {
    MSGCODEC_INT(ship_table_values, table_id, 0),
    MSGCODEC_INT_LIST(ship_table_values, values, value_count, 1),
};
}  // namespace
MSGCODEC_DEFINE(ship_table_msg, ship_table_msg, present, kTable)
MSGCODEC_DEFINE(ship_table_values, ship_table_values, present, kTableValues)

namespace {
constexpr msgcodec_field kValues[] = {
    MSGCODEC_RECORD_LIST(ship_values_msg, tables, table_count, 0),
};
}  // namespace
MSGCODEC_DEFINE(ship_values_msg, ship_values_msg, present, kValues)

namespace ship_wire {
namespace {
constexpr simsvc::Message kMessages[] = {
    {kRegister, &msgcodec_type_ship_table_msg, "register"},
    {kReadRequest, nullptr, "read"},
    {kValues, &msgcodec_type_ship_values_msg, "values"},
    {kReset, nullptr, "reset"},
};
}  // namespace
const simsvc::Service kService = simsvc::make_service("ship", kMessages);
}  // namespace ship_wire

namespace ship_detail {

namespace {

// Lives on the agent loop; touched only there.
struct Link {
  simsvc::Client* client = nullptr;

  void send_table(const TableCopy& t) {
    std::vector<ship_counter_name> names(t.names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      msgcodec_ship_counter_name_clear(&names[i]);
      names[i].name = const_cast<char*>(t.names[i].c_str());
      msgcodec_set_bit(&names[i].present, 0);
    }
    ship_table_msg m{};
    msgcodec_ship_table_msg_clear(&m);
    m.table_id = t.id;
    m.app = const_cast<char*>(t.app.c_str());
    m.group = const_cast<char*>(t.group.c_str());
    m.table = const_cast<char*>(t.table.c_str());
    m.kind = t.kind;
    m.counters = names.data();
    m.counter_count = static_cast<uint32_t>(names.size());
    for (unsigned bit = 0; bit < 6; ++bit) msgcodec_set_bit(&m.present, bit);
    client->send(ship_wire::kRegister, &m);
  }

  void send_values(uint32_t request_id) {
    std::vector<TableCopy> tables = snapshot();
    std::vector<ship_table_values> out(tables.size());
    for (size_t i = 0; i < tables.size(); ++i) {
      msgcodec_ship_table_values_clear(&out[i]);
      out[i].table_id = tables[i].id;
      out[i].values = tables[i].values.data();
      out[i].value_count = static_cast<uint32_t>(tables[i].values.size());
      msgcodec_set_bit(&out[i].present, 0);
      msgcodec_set_bit(&out[i].present, 1);
    }
    ship_values_msg m{};
    msgcodec_ship_values_msg_clear(&m);
    m.tables = out.data();
    m.table_count = static_cast<uint32_t>(out.size());
    msgcodec_set_bit(&m.present, 0);
    client->send(ship_wire::kValues, &m, request_id);
  }

  // Connects on first use; every (re)connection announces all tables again.
  bool ready() {
    if (client == nullptr) {
      simsvc::Client::Events ev;
      ev.connected = [this](int32_t status) {
        if (status != 0) return;
        for (const auto& t : snapshot()) send_table(t);
      };
      ev.message = [this](const simsvc::Message& msg, uint32_t id, int32_t, void*) {
        if (msg.id == ship_wire::kReadRequest) send_values(id);
      };
      client = simsvc::Client::create(simsvc::agent_loop(), &ship_wire::kService, std::move(ev));
      if (client == nullptr) return false;
      client->connect();
    }
    return client->is_connected();
  }
};

Link& link() {
  static Link* l = new Link();  // used by the agent thread until the process ends
  return *l;
}

}  // namespace

void announce(uint32_t table_id) {
  simsvc::agent_post([table_id] {
    if (!link().ready()) return;  // announced with the others once connected
    for (const auto& t : snapshot()) {
      if (t.id == table_id) link().send_table(t);
    }
  });
}

void announce_reset() {
  simsvc::agent_post([] {
    if (link().ready()) link().client->send(ship_wire::kReset, nullptr);
  });
}

}  // namespace ship_detail
