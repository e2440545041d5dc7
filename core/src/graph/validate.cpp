#include "graph/validate.hpp"

#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/result.hpp"
#include "graph/salvo.hpp"

namespace vornix {

namespace {

using Error = GraphValidationError;
using NameSet = std::unordered_set<std::string, StringHash, std::equal_to<>>;

std::string_view side_word(bool is_input_condition) {
  return is_input_condition ? "input" : "output";
}

std::string quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '\'';
  out += s;
  out += '\'';
  return out;
}

// One edge yields at most one error per side, or a single one for a missing
// node; a missing source node hides whatever is wrong with the target.
void check_edge(const Graph& graph, const Edge& edge, std::vector<Error>& out) {
  const Node* source = graph.find_node(edge.source.node_name);
  if (source == nullptr) {
    out.push_back({Error::EdgeReferencesNonexistentNode{edge, edge.source.node_name}});
    return;
  }
  const Node* target = graph.find_node(edge.target.node_name);
  if (target == nullptr) {
    out.push_back({Error::EdgeReferencesNonexistentNode{edge, edge.target.node_name}});
    return;
  }
  if (edge.source.port_type == PortType::Input) {
    out.push_back({Error::EdgeSourceNotOutputPort{edge}});
  } else if (!source->out_ports.contains(edge.source.port_name)) {
    out.push_back({Error::EdgeReferencesNonexistentPort{edge, edge.source}});
  }
  if (edge.target.port_type == PortType::Output) {
    out.push_back({Error::EdgeTargetNotInputPort{edge}});
  } else if (!target->in_ports.contains(edge.target.port_name)) {
    out.push_back({Error::EdgeReferencesNonexistentPort{edge, edge.target}});
  }
}

// Whether every port a term mentions is declared: the common answer, found
// without collecting the names.
bool term_ports_declared(const SalvoConditionTerm& term, const NameMap<Port>& declared) {
  using T = SalvoConditionTerm;
  auto all_declared = [&](const std::vector<T>& terms) {
    for (const T& t : terms) {
      if (!term_ports_declared(t, declared)) return false;
    }
    return true;
  };
  return std::visit(Overloaded{
                        [&](const T::Port& p) { return declared.contains(p.port_name); },
                        [&](const T::And& a) { return all_declared(a.terms); },
                        [&](const T::Or& o) { return all_declared(o.terms); },
                        [&](const T::Not& x) { return term_ports_declared(*x.inner, declared); },
                        [](const auto&) { return true; },
                    },
                    term.value);
}

void check_condition_ports(const Node& node, const std::string& condition_name,
                           const SalvoCondition& condition, const NameMap<Port>& declared,
                           bool is_input, std::vector<Error>& out) {
  for (const auto& entry : condition.ports) {
    if (!declared.contains(entry.first)) {
      out.push_back({Error::SalvoConditionReferencesNonexistentPort{node.name, condition_name,
                                                                    entry.first, is_input}});
    }
  }
  if (term_ports_declared(condition.term, declared)) return;
  NameSet mentioned;
  collect_ports_from_term(condition.term, mentioned);
  for (const std::string& port : mentioned) {
    if (!declared.contains(port)) {
      out.push_back({Error::SalvoConditionTermReferencesNonexistentPort{node.name, condition_name,
                                                                        port, is_input}});
    }
  }
}

void check_salvo_conditions(const Node& node, std::vector<Error>& out) {
  for (const auto& [name, condition] : node.in_salvo_conditions) {
    // An input salvo starts exactly one epoch from the packets waiting, so a
    // condition that could fire more (or never) makes no sense.
    if (condition.max_salvos != MaxSalvos::finite(1)) {
      out.push_back(
          {Error::InputSalvoConditionInvalidMaxSalvos{node.name, name, condition.max_salvos}});
    }
    check_condition_ports(node, name, condition, node.in_ports, true, out);
  }
  for (const auto& [name, condition] : node.out_salvo_conditions) {
    check_condition_ports(node, name, condition, node.out_ports, false, out);
  }
}

void check_request_configs(const Graph& graph, std::vector<Error>& out) {
  // One pass over the dependency edges, so each node is a single look-up;
  // made only when some node has a configuration.
  std::optional<NameSet> fed_by_dependency;
  for (const Node& node : graph.nodes()) {
    if (!node.dependency_request_config.has_value()) continue;
    if (!fed_by_dependency) {
      fed_by_dependency.emplace();
      for (const Edge& edge : graph.dependency_edges()) {
        if (edge.target.port_type == PortType::Input) {
          fed_by_dependency->insert(edge.target.node_name);
        }
      }
    }
    if (!fed_by_dependency->contains(node.name)) {
      out.push_back({Error::DependencyRequestConfigWithoutDependencyEdges{node.name}});
    }
  }
}

}  // namespace

std::vector<GraphValidationError> Graph::validate() const {
  std::vector<Error> errors;
  for (const Edge& edge : edges_) check_edge(*this, edge, errors);
  for (const FanOut& f : fan_outs()) {
    errors.push_back({Error::MultipleEdgesFromOutputPort{*f.port, f.count}});
  }
  for (const Node& node : nodes_) {
    if (!node.in_salvo_conditions.empty() || !node.out_salvo_conditions.empty()) {
      check_salvo_conditions(node, errors);
    }
  }
  for (const Edge& edge : dependency_edges_) {
    if (!has_edge(edge)) errors.push_back({Error::DependencyEdgeNotInGraph{edge}});
  }
  check_request_configs(*this, errors);
  verdict_.value.store(errors.empty() ? 1 : 2, std::memory_order_relaxed);
  return errors;
}

std::string_view GraphValidationError::kind() const {
  return std::visit(
      Overloaded{
          [](const MultipleEdgesFromOutputPort&) -> std::string_view {
            return "MultipleEdgesFromOutputPort";
          },
          [](const EdgeReferencesNonexistentNode&) -> std::string_view {
            return "EdgeReferencesNonexistentNode";
          },
          [](const EdgeReferencesNonexistentPort&) -> std::string_view {
            return "EdgeReferencesNonexistentPort";
          },
          [](const EdgeSourceNotOutputPort&) -> std::string_view {
            return "EdgeSourceNotOutputPort";
          },
          [](const EdgeTargetNotInputPort&) -> std::string_view {
            return "EdgeTargetNotInputPort";
          },
          [](const SalvoConditionReferencesNonexistentPort&) -> std::string_view {
            return "SalvoConditionReferencesNonexistentPort";
          },
          [](const SalvoConditionTermReferencesNonexistentPort&) -> std::string_view {
            return "SalvoConditionTermReferencesNonexistentPort";
          },
          [](const InputSalvoConditionInvalidMaxSalvos&) -> std::string_view {
            return "InputSalvoConditionInvalidMaxSalvos";
          },
          [](const DependencyEdgeNotInGraph&) -> std::string_view {
            return "DependencyEdgeNotInGraph";
          },
          [](const DependencyRequestConfigWithoutDependencyEdges&) -> std::string_view {
            return "DependencyRequestConfigWithoutDependencyEdges";
          },
      },
      value);
}

std::string GraphValidationError::message() const {
  return std::visit(
      Overloaded{
          [](const MultipleEdgesFromOutputPort& e) {
            return "output port " + to_text(e.output_port) + " has " +
                   std::to_string(e.edge_count) + " outgoing edges (only 1 allowed)";
          },
          [](const EdgeReferencesNonexistentNode& e) {
            return "edge " + to_text(e.edge) + " references non-existent node " +
                   quoted(e.missing_node);
          },
          [](const EdgeReferencesNonexistentPort& e) {
            return "edge " + to_text(e.edge) + " references non-existent port " +
                   to_text(e.missing_port);
          },
          [](const EdgeSourceNotOutputPort& e) {
            return "edge source " + to_text(e.edge.source) + " must be an output port";
          },
          [](const EdgeTargetNotInputPort& e) {
            return "edge target " + to_text(e.edge.target) + " must be an input port";
          },
          [](const SalvoConditionReferencesNonexistentPort& e) {
            return std::string(side_word(e.is_input_condition)) + " salvo condition " +
                   quoted(e.condition_name) + " on node " + quoted(e.node_name) +
                   " references non-existent port " + quoted(e.missing_port);
          },
          [](const SalvoConditionTermReferencesNonexistentPort& e) {
            return std::string(side_word(e.is_input_condition)) + " salvo condition " +
                   quoted(e.condition_name) + " on node " + quoted(e.node_name) +
                   " has term referencing non-existent port " + quoted(e.missing_port);
          },
          [](const InputSalvoConditionInvalidMaxSalvos& e) {
            return "input salvo condition " + quoted(e.condition_name) + " on node " +
                   quoted(e.node_name) + " has max_salvos=" + diagnostic(e.max_salvos) +
                   ", but must be Finite(1). Input salvos must have exactly one packet to "
                   "trigger an epoch.";
          },
          [](const DependencyEdgeNotInGraph& e) {
            return "dependency edge " + to_text(e.edge) + " is not in the graph's edge set";
          },
          [](const DependencyRequestConfigWithoutDependencyEdges& e) {
            return "node " + quoted(e.node_name) +
                   " has dependency_request_config but no dependency edges on its input ports";
          },
      },
      value);
}

}  // namespace vornix
