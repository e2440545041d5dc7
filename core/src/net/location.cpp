#include "net/location.hpp"

#include "base/result.hpp"
#include "base/text.hpp"

namespace vornix {

const Ulid* PacketLocation::epoch_id() const {
  if (const auto* n = std::get_if<Node>(&value)) return &n->epoch_id;
  if (const auto* o = std::get_if<OutputPort>(&value)) return &o->epoch_id;
  return nullptr;
}

std::string PacketLocation::debug() const {
  return std::visit(
      Overloaded{
          [](const Node& n) { return "Node(" + n.epoch_id.debug() + ")"; },
          [](const InputPort& p) {
            return "InputPort(" + quoted_form(p.node_name) + ", " + quoted_form(p.port_name) + ")";
          },
          [](const OutputPort& p) {
            return "OutputPort(" + p.epoch_id.debug() + ", " + quoted_form(p.port_name) + ")";
          },
          [](const Edge& e) { return "Edge(" + debug_form(e.edge) + ")"; },
          [](const OutsideNet&) { return std::string("OutsideNet"); },
      },
      value);
}

}  // namespace vornix

std::size_t std::hash<vornix::PacketLocation>::operator()(
    const vornix::PacketLocation& l) const noexcept {
  using L = vornix::PacketLocation;
  const std::size_t tag = l.value.index() * 0x9E3779B97F4A7C15ULL;
  const std::hash<std::string_view> hs;
  return tag ^
         std::visit(
             vornix::Overloaded{
                 [](const L::Node& n) { return std::hash<vornix::Ulid>{}(n.epoch_id); },
                 [&](const L::InputPort& p) { return hs(p.node_name) * 31 + hs(p.port_name); },
                 [&](const L::OutputPort& p) {
                   return std::hash<vornix::Ulid>{}(p.epoch_id) * 31 + hs(p.port_name);
                 },
                 [](const L::Edge& e) { return std::hash<vornix::Edge>{}(e.edge); },
                 [](const L::OutsideNet&) { return std::size_t{0}; },
             },
             l.value);
}
