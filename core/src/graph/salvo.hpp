// Salvo condition evaluation: what a SalvoConditionTerm means.
//
// Pure functions. evaluate_salvo_condition allocates nothing: it looks the two
// maps up, walks sub-terms in place and short-circuits And/Or in list order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "graph/elements.hpp"

namespace vornix {

// Packets currently at each port of one side of a node (missing name: 0).
using PacketCounts = StringMap<std::uint64_t>;
using PortMap = NameMap<Port>;

// Whether `term` holds for `packet_counts`, given the declared `ports` of the
// side the condition belongs to (only Full and NonFull consult `ports`; an
// undeclared or Infinite port has no capacity).
bool evaluate_salvo_condition(const SalvoConditionTerm& term, const PacketCounts& packet_counts,
                              const PortMap& ports);

// The nine port states as a plain value (kind_of), and the number the
// counting ones compare with (number_of; 0 for the others): what an
// evaluator that has resolved its ports keeps of a Port leaf.
enum class PortStateKind : std::uint8_t {
  Empty,
  Full,
  NonEmpty,
  NonFull,
  Equals,
  LessThan,
  GreaterThan,
  EqualsOrLessThan,
  EqualsOrGreaterThan
};
PortStateKind kind_of(const PortState& state);
std::uint64_t number_of(const PortState& state);

// Whether a port holding `count` packets is in the state (kind, n): the one
// statement of what each state means. `capacity()` gives the port's bound as
// an optional, nothing for an Infinite or undeclared port; only Full and
// NonFull ask for it.
template <class Capacity>
bool state_holds(PortStateKind kind, std::uint64_t n, std::uint64_t count, Capacity capacity) {
  using K = PortStateKind;
  switch (kind) {
    case K::Empty: return count == 0;
    case K::Full: {
      const std::optional<std::uint64_t> cap = capacity();
      return cap.has_value() && count >= *cap;
    }
    case K::NonEmpty: return count != 0;
    case K::NonFull: {
      const std::optional<std::uint64_t> cap = capacity();
      return !cap.has_value() || count < *cap;
    }
    case K::Equals: return count == n;
    case K::LessThan: return count < n;
    case K::GreaterThan: return count > n;
    case K::EqualsOrLessThan: return count <= n;
    case K::EqualsOrGreaterThan: return count >= n;
  }
  return false;
}

// How many packets a salvo takes, for `count`, from a port holding `available`.
std::uint64_t take_count(const PacketCount& count, std::uint64_t available);

// Adds to `names` every port name that a Port leaf of `term` mentions.
void collect_ports_from_term(const SalvoConditionTerm& term,
                             std::unordered_set<std::string, StringHash, std::equal_to<>>& names);

}  // namespace vornix
