#include "net/record_values.hpp"

#include "support/ulid.hpp"

namespace vornix::py {

SalvoValue salvo_from_core(const vornix::Salvo& salvo) {
  SalvoValue out{salvo.salvo_condition, {}};
  out.packets.reserve(salvo.packets.size());
  for (const auto& [port, id] : salvo.packets) out.packets.emplace_back(port, id.to_string());
  return out;
}

vornix::Salvo salvo_to_core(const SalvoValue& salvo) {
  vornix::Salvo out{salvo.salvo_condition, {}};
  out.packets.reserve(salvo.packets.size());
  for (const auto& [port, id] : salvo.packets) out.packets.emplace_back(port, str_to_ulid(id));
  return out;
}

OrphanValue orphan_from_core(const vornix::OrphanedPacketInfo& orphan) {
  return {orphan.packet_id.to_string(), orphan.from_port, orphan.salvo_condition};
}

}  // namespace vornix::py
