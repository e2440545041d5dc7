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

// Where an evaluation reads the packet count and the capacity of a port by
// name; lets a caller answer from its own state without building maps.
class PortCountSource {
 public:
  virtual std::uint64_t count(std::string_view port) const = 0;
  // Nothing for an Infinite or undeclared port.
  virtual std::optional<std::uint64_t> capacity(std::string_view port) const = 0;

 protected:
  ~PortCountSource() = default;
};

bool evaluate_salvo_condition(const SalvoConditionTerm& term, const PortCountSource& source);

// How many packets a salvo takes, for `count`, from a port holding `available`.
std::uint64_t take_count(const PacketCount& count, std::uint64_t available);

// Adds to `names` every port name that a Port leaf of `term` mentions.
void collect_ports_from_term(const SalvoConditionTerm& term,
                             std::unordered_set<std::string, StringHash, std::equal_to<>>& names);

}  // namespace vornix
