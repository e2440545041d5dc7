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

// Counts and capacities read from the two maps of the map-based entry point.
class MapSource final : public PortCountSource {
 public:
  MapSource(const PacketCounts& counts, const PortMap& ports) : counts_(counts), ports_(ports) {}
  std::uint64_t count(std::string_view port) const override {
    const auto it = counts_.find(port);
    return it == counts_.end() ? 0 : it->second;
  }
  std::optional<std::uint64_t> capacity(std::string_view port) const override {
    const auto it = ports_.find(port);
    if (it == ports_.end()) return std::nullopt;
    return it->second.slots_spec.capacity();
  }

 private:
  const PacketCounts& counts_;
  const PortMap& ports_;
};

bool port_state_holds(const SalvoConditionTerm::Port& leaf, const PortCountSource& source) {
  const std::uint64_t count = source.count(leaf.port_name);
  // Only Full and NonFull need the capacity; an undeclared port is unlimited.
  auto capacity = [&]() { return source.capacity(leaf.port_name); };

  return std::visit(Overloaded{
                        [&](const PortState::Empty&) { return count == 0; },
                        [&](const PortState::Full&) {
                          const auto cap = capacity();
                          return cap.has_value() && count >= *cap;
                        },
                        [&](const PortState::NonEmpty&) { return count != 0; },
                        [&](const PortState::NonFull&) {
                          const auto cap = capacity();
                          return !cap.has_value() || count < *cap;
                        },
                        [&](const PortState::Equals& s) { return count == s.n; },
                        [&](const PortState::LessThan& s) { return count < s.n; },
                        [&](const PortState::GreaterThan& s) { return count > s.n; },
                        [&](const PortState::EqualsOrLessThan& s) { return count <= s.n; },
                        [&](const PortState::EqualsOrGreaterThan& s) { return count >= s.n; },
                    },
                    leaf.state.value);
}

}  // namespace

bool evaluate_salvo_condition(const SalvoConditionTerm& term, const PacketCounts& packet_counts,
                              const PortMap& ports) {
  return evaluate_salvo_condition(term, MapSource(packet_counts, ports));
}

std::uint64_t take_count(const PacketCount& count, std::uint64_t available) {
  if (const auto* n = std::get_if<PacketCount::Count>(&count.value)) {
    return n->n < available ? n->n : available;
  }
  return available;
}

bool evaluate_salvo_condition(const SalvoConditionTerm& term, const PortCountSource& source) {
  bool inverted = false;
  const SalvoConditionTerm& inner = skip_nots(term, inverted);
  const bool result =
      std::visit(Overloaded{
                     [](const SalvoConditionTerm::True&) { return true; },
                     [](const SalvoConditionTerm::False&) { return false; },
                     [&](const SalvoConditionTerm::Port& p) { return port_state_holds(p, source); },
                     [&](const SalvoConditionTerm::And& a) {
                       for (const SalvoConditionTerm& t : a.terms) {
                         if (!evaluate_salvo_condition(t, source)) return false;
                       }
                       return true;
                     },
                     [&](const SalvoConditionTerm::Or& o) {
                       for (const SalvoConditionTerm& t : o.terms) {
                         if (evaluate_salvo_condition(t, source)) return true;
                       }
                       return false;
                     },
                     // Not reached: skip_nots consumed every Not. Kept correct anyway.
                     [&](const SalvoConditionTerm::Not& n) {
                       return !evaluate_salvo_condition(*n.inner, source);
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
