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

vornix::OrphanedPacketInfo orphan_to_core(const OrphanValue& orphan) {
  return {str_to_ulid(orphan.packet_id), orphan.from_port, orphan.salvo_condition};
}

EpochValue epoch_from_core(const vornix::Epoch& epoch) {
  EpochValue out;
  out.id = epoch.id.to_string();
  out.node_name = epoch.node_name;
  out.in_salvo = salvo_from_core(epoch.in_salvo);
  out.out_salvos.reserve(epoch.out_salvos.size());
  for (const vornix::Salvo& s : epoch.out_salvos) out.out_salvos.push_back(salvo_from_core(s));
  out.state = epoch.state;
  out.orphaned_packets.reserve(epoch.orphaned_packets.size());
  for (const auto& o : epoch.orphaned_packets) out.orphaned_packets.push_back(orphan_from_core(o));
  return out;
}

vornix::Epoch epoch_to_core(const EpochValue& epoch) {
  vornix::Epoch out;
  out.id = str_to_ulid(epoch.id);
  out.node_name = epoch.node_name;
  out.in_salvo = salvo_to_core(epoch.in_salvo);
  out.out_salvos.reserve(epoch.out_salvos.size());
  for (const SalvoValue& s : epoch.out_salvos) out.out_salvos.push_back(salvo_to_core(s));
  out.state = epoch.state;
  out.orphaned_packets.reserve(epoch.orphaned_packets.size());
  for (const OrphanValue& o : epoch.orphaned_packets)
    out.orphaned_packets.push_back(orphan_to_core(o));
  return out;
}

}  // namespace vornix::py
