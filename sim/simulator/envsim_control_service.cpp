// The simulator's control service: runs the commands `envsim` sends.
#include <cstdlib>

#include "envsim_control_wire.h"
#include "envsim_sim.h"
#include "msgcodec_define.h"

namespace {
constexpr msgcodec_field kArg[] = {MSGCODEC_TEXT(envsim_arg, text, 0)};
}  // namespace
MSGCODEC_DEFINE(envsim_arg, envsim_arg, present, kArg)

namespace {
constexpr msgcodec_field kCommand[] = {
    MSGCODEC_RECORD_LIST(envsim_command_msg, args, arg_count, 0),
};
constexpr msgcodec_field kResult[] = {
    MSGCODEC_INT(envsim_result_msg, status, 0),
    MSGCODEC_TEXT(envsim_result_msg, text, 1),
};
}  // namespace
MSGCODEC_DEFINE(envsim_command_msg, envsim_command_msg, present, kCommand)
MSGCODEC_DEFINE(envsim_result_msg, envsim_result_msg, present, kResult)

namespace envsim_wire {
namespace {
constexpr simsvc::Message kMessages[] = {
    {kCommand, &msgcodec_type_envsim_command_msg, "command"},
    {kResult, &msgcodec_type_envsim_result_msg, "result"},
};
}  // namespace
const simsvc::Service kService = simsvc::make_service("envsim", kMessages);
}  // namespace envsim_wire

namespace envsim {

void add_control_service(Simulator& sim) {
  simsvc::Server::Handler h;
  h.closed = [&sim](simsvc::Peer& p) { sim.forget_requester(p.id); };
  h.message = [&sim](simsvc::Peer& p, const simsvc::Message& m, uint32_t id, int32_t,
                     void* payload) {
    if (m.id != envsim_wire::kCommand) return;
    auto* cmd = static_cast<envsim_command_msg*>(payload);
    std::vector<std::string> args;
    for (uint32_t i = 0; i < cmd->arg_count; ++i) {
      args.emplace_back(cmd->args[i].text != nullptr ? cmd->args[i].text : "");
    }
    std::string line;
    for (const auto& a : args) line += (line.empty() ? "" : " ") + a;
    if (!args.empty() && args[0] != "show" && args[0] != "status" && args[0] != "wait") {
      sim.log("command: " + line);
    }
    const uint64_t peer = p.id;
    sim.execute(args, peer, [&sim, peer, id](Result r) {
      envsim_result_msg res{};
      msgcodec_envsim_result_msg_clear(&res);
      res.status = r.status;
      res.text = const_cast<char*>(r.text.c_str());
      msgcodec_set_bit(&res.present, 0);
      msgcodec_set_bit(&res.present, 1);
      sim.server().send(peer, envsim_wire::kResult, &res, id);
    });
  };
  sim.server().add(&envsim_wire::kService, std::move(h));
}

}  // namespace envsim
