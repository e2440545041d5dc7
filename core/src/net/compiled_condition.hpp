// A salvo condition as the engine evaluates it: its term as a flat program
// over port indices and its port list as (index, count) pairs, so that
// evaluating it or taking a salvo neither compares names nor dispatches per
// port. Made once per node by the simulation (conditions.cpp).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "graph/elements.hpp"
#include "graph/salvo.hpp"

namespace vornix {

struct CompiledCondition {
  using Port = std::uint32_t;
  // A port the node lacks (only a graph that failed validation names one):
  // it holds no packets and has no bound, as for the term's own evaluator.
  static constexpr Port kNoPort = 0xFFFFFFFFu;
  static constexpr std::uint64_t kNoBound = ~std::uint64_t{0};

  struct Op {
    enum class Kind : std::uint8_t { True, False, Port, And, Or };
    Kind kind = Kind::True;
    bool negate = false;  // an odd chain of Nots stood over it
    PortStateKind state = PortStateKind::Empty;
    Port port = kNoPort;
    std::uint32_t end = 0;  // one past the last op of its subterms
    std::uint64_t n = 0;    // the counting states' number
  };

  std::vector<Op> term;  // prefix order: an And or Or is followed by its subterms
  std::vector<std::pair<Port, PacketCount>> ports;  // the port list, in order
};

}  // namespace vornix
