// Salvo condition evaluation: what a SalvoConditionTerm means.
//
// Pure functions. evaluate_salvo_condition allocates nothing: it looks the two
// maps up, walks sub-terms in place and short-circuits And/Or in list order.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "graph/elements.hpp"

namespace vornix {

// Packets currently at each port of one side of a node (missing name: 0).
using PacketCounts = StringMap<std::uint64_t>;
using PortMap = StringMap<Port>;

// Whether `term` holds for `packet_counts`, given the declared `ports` of the
// side the condition belongs to (only Full and NonFull consult `ports`; an
// undeclared or Infinite port has no capacity).
bool evaluate_salvo_condition(const SalvoConditionTerm& term, const PacketCounts& packet_counts,
                              const PortMap& ports);

// Adds to `names` every port name that a Port leaf of `term` mentions.
void collect_ports_from_term(const SalvoConditionTerm& term,
                             std::unordered_set<std::string, StringHash, std::equal_to<>>& names);

}  // namespace vornix
