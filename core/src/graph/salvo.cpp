#include "graph/salvo.hpp"

#include <optional>
#include <variant>

#include "base/result.hpp"

namespace vornix {

namespace {

// Peels a chain of Nots off `term` without recursing, so a long chain costs
// one loop rather than one stack frame per link. Returns the first non-Not
// term and sets `inverted` when the chain had odd length.
const SalvoConditionTerm& skip_nots(const SalvoConditionTerm& term, bool& inverted) {
  const SalvoConditionTerm* t = &term;
  inverted = false;
  while (const auto* n = std::get_if<SalvoConditionTerm::Not>(&t->value)) {
    inverted = !inverted;
    t = &*n->inner;
  }
  return *t;
}

bool port_state_holds(const SalvoConditionTerm::Port& leaf, const PacketCounts& counts,
                      const PortMap& ports) {
  const std::string_view name = leaf.port_name;
  const auto found = counts.find(name);
  const std::uint64_t count = found == counts.end() ? 0 : found->second;
  return state_holds(kind_of(leaf.state), number_of(leaf.state), count,
                     [&]() -> std::optional<std::uint64_t> {
                       const auto port = ports.find(name);
                       if (port == ports.end()) return std::nullopt;
                       return port->second.slots_spec.capacity();
                     });
}

}  // namespace

PortStateKind kind_of(const PortState& state) {
  using K = PortStateKind;
  return std::visit(
      Overloaded{
          [](const PortState::Empty&) { return K::Empty; },
          [](const PortState::Full&) { return K::Full; },
          [](const PortState::NonEmpty&) { return K::NonEmpty; },
          [](const PortState::NonFull&) { return K::NonFull; },
          [](const PortState::Equals&) { return K::Equals; },
          [](const PortState::LessThan&) { return K::LessThan; },
          [](const PortState::GreaterThan&) { return K::GreaterThan; },
          [](const PortState::EqualsOrLessThan&) { return K::EqualsOrLessThan; },
          [](const PortState::EqualsOrGreaterThan&) { return K::EqualsOrGreaterThan; },
      },
      state.value);
}

std::uint64_t number_of(const PortState& state) {
  return std::visit(
      [](const auto& s) -> std::uint64_t {
        if constexpr (requires { s.n; }) {
          return s.n;
        } else {
          return 0;
        }
      },
      state.value);
}

std::uint64_t take_count(const PacketCount& count, std::uint64_t available) {
  if (const auto* n = std::get_if<PacketCount::Count>(&count.value)) {
    return n->n < available ? n->n : available;
  }
  return available;
}

bool evaluate_salvo_condition(const SalvoConditionTerm& term, const PacketCounts& packet_counts,
                              const PortMap& ports) {
  bool inverted = false;
  const SalvoConditionTerm& inner = skip_nots(term, inverted);
  const bool result =
      std::visit(Overloaded{
                     [](const SalvoConditionTerm::True&) { return true; },
                     [](const SalvoConditionTerm::False&) { return false; },
                     [&](const SalvoConditionTerm::Port& p) {
                       return port_state_holds(p, packet_counts, ports);
                     },
                     [&](const SalvoConditionTerm::And& a) {
                       for (const SalvoConditionTerm& t : a.terms) {
                         if (!evaluate_salvo_condition(t, packet_counts, ports)) return false;
                       }
                       return true;
                     },
                     [&](const SalvoConditionTerm::Or& o) {
                       for (const SalvoConditionTerm& t : o.terms) {
                         if (evaluate_salvo_condition(t, packet_counts, ports)) return true;
                       }
                       return false;
                     },
                     // Not reached: skip_nots consumed every Not. Kept correct anyway.
                     [&](const SalvoConditionTerm::Not& n) {
                       return !evaluate_salvo_condition(*n.inner, packet_counts, ports);
                     },
                 },
                 inner.value);
  return result != inverted;
}

void collect_ports_from_term(const SalvoConditionTerm& term,
                             std::unordered_set<std::string, StringHash, std::equal_to<>>& names) {
  bool inverted = false;
  const SalvoConditionTerm& inner = skip_nots(term, inverted);
  std::visit(
      Overloaded{
          [](const SalvoConditionTerm::True&) {},
          [](const SalvoConditionTerm::False&) {},
          [&](const SalvoConditionTerm::Port& p) {
            // Look first: a term naming one port many times copies it once.
            const std::string_view name = p.port_name;
            if (names.find(name) == names.end()) names.emplace(name);
          },
          [&](const SalvoConditionTerm::And& a) {
            for (const SalvoConditionTerm& t : a.terms) collect_ports_from_term(t, names);
          },
          [&](const SalvoConditionTerm::Or& o) {
            for (const SalvoConditionTerm& t : o.terms) collect_ports_from_term(t, names);
          },
          [&](const SalvoConditionTerm::Not& n) { collect_ports_from_term(*n.inner, names); },
      },
      inner.value);
}

}  // namespace vornix
