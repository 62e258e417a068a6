// Inventory model: what the monitoring servers register with inventory and
// push there, kept for the processes that read inventory back.
#include <sstream>

#include "envsim_sim.h"
#include "invdb.h"

namespace envsim {

namespace {

class InventoryModel : public Model {
 public:
  explicit InventoryModel(Simulator& sim) : host_(sim.server(), [&sim] { sim.changed(); }) {}

  const char* name() const override { return "inventory"; }

  // One line per entity: its identity, whether it is registered, its name and
  // what was pushed for it.
  void show(std::ostream& out) const override {
    for (const invdb::Entity* e : const_cast<invdb::ServiceHost&>(host_).model().entities()) {
      std::string key = e->key.text();
      for (char& ch : key)
        if (ch == ' ') ch = '_';
      out << "inventory entity=" << key << " scope=" << e->scope
          << " registered=" << (e->registered ? 1 : 0);
      if (!e->name.empty()) out << " name=" << e->name;
      if (e->value) out << " value=" << e->value->value;
      if (e->oper_state) out << " oper_state=" << *e->oper_state;
      if (e->fru) out << " fru_type=" << e->fru->fru_type << " pid=" << e->fru->name;
      if (e->container && e->container->location) out << " location=" << *e->container->location;
      if (e->fru_power) out << " power_allocated=" << e->fru_power->power_allocated;
      out << "\n";
    }
  }

 private:
  invdb::ServiceHost host_;
};

}  // namespace

std::unique_ptr<Model> make_inventory_model(Simulator& sim) {
  return std::make_unique<InventoryModel>(sim);
}

}  // namespace envsim
