// Graph validation errors: one value per structural problem found.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "graph/elements.hpp"
#include "graph/graph.hpp"

namespace vornix {

struct GraphValidationError {
  struct MultipleEdgesFromOutputPort {
    PortRef output_port;
    std::uint64_t edge_count = 0;
  };
  struct EdgeReferencesNonexistentNode {
    Edge edge;
    std::string missing_node;
  };
  struct EdgeReferencesNonexistentPort {
    Edge edge;
    PortRef missing_port;
  };
  struct EdgeSourceNotOutputPort {
    Edge edge;
  };
  struct EdgeTargetNotInputPort {
    Edge edge;
  };
  struct SalvoConditionReferencesNonexistentPort {
    std::string node_name;
    std::string condition_name;
    std::string missing_port;
    bool is_input_condition = false;
  };
  struct SalvoConditionTermReferencesNonexistentPort {
    std::string node_name;
    std::string condition_name;
    std::string missing_port;
    bool is_input_condition = false;
  };
  struct InputSalvoConditionInvalidMaxSalvos {
    std::string node_name;
    std::string condition_name;
    MaxSalvos max_salvos;
  };
  struct DependencyEdgeNotInGraph {
    Edge edge;
  };
  struct DependencyRequestConfigWithoutDependencyEdges {
    std::string node_name;
  };
  std::variant<MultipleEdgesFromOutputPort, EdgeReferencesNonexistentNode,
               EdgeReferencesNonexistentPort, EdgeSourceNotOutputPort, EdgeTargetNotInputPort,
               SalvoConditionReferencesNonexistentPort, SalvoConditionTermReferencesNonexistentPort,
               InputSalvoConditionInvalidMaxSalvos, DependencyEdgeNotInGraph,
               DependencyRequestConfigWithoutDependencyEdges>
      value;

  // The variant name, e.g. "MultipleEdgesFromOutputPort".
  std::string_view kind() const;
  // The one-line message, e.g. "output port A.out.x has 2 outgoing edges (only 1 allowed)".
  std::string message() const;
};

}  // namespace vornix
