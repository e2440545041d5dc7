// Making a graph's name block: once per graph, when it is built,
// and kept out of the header so that the calls that read the block are
// compiled alike whatever this takes.

#include <stdexcept>

#include "names.hpp"

namespace vornix::capi {

GraphNames::GraphNames(const Graph& graph) {
  // Views into the graph, which outlives this table: the block is written
  // once the distinct names are known.
  std::vector<std::string_view> names;
  // The position in `names` of each node's name and then its input ports'
  // names, node after node: the input ports' places are made from them.
  std::vector<IndexTable::Index> input_names;
  auto add = [&](std::string_view name) {
    if (name.empty()) return kNoName;
    if ((index_.size() + 1) * 2 > index_.capacity()) index_.grow();
    const auto next = static_cast<IndexTable::Index>(names.size());
    const IndexTable::Index found =
        index_.insert(hash(name), next, [&](IndexTable::Index j) { return names[j] == name; });
    if (found != IndexTable::kNone) return found;
    names.push_back(name);
    return next;
  };
  // Node names are distinct, and most names are node names: sized for
  // them (and a few more) at half load, the table seldom grows.
  const std::size_t expected = graph.nodes().size() + 16;
  index_.reserve(expected + expected / 3);
  input_names.reserve(2 * graph.nodes().size());
  for (const Node& node : graph.nodes()) {
    input_names.push_back(add(node.name));
    for (const auto& port : node.in_ports) input_names.push_back(add(port.first));
    for (const auto& port : node.out_ports) add(port.first);
    for (const auto& condition : node.in_salvo_conditions) add(condition.first);
    for (const auto& condition : node.out_salvo_conditions) add(condition.first);
    if (node.dependency_request_config) add(node.dependency_request_config->label);
  }
  std::size_t size = 0;
  for (std::string_view name : names) size += name.size();
  // Offsets into the block take 32 bits, which halves the places' table.
  if (size >= kAbsent - 1) throw std::length_error("a graph's names exceed 4 GiB");
  text_.reserve(size);
  starts_.reserve(names.size() + 1);
  for (std::string_view name : names) {
    starts_.push_back(static_cast<Offset>(text_.size()));
    text_ += name;
  }
  starts_.push_back(static_cast<Offset>(text_.size()));
  number_places(graph, input_names);
}

// Every place is new: node names, a node's port names and the graph's
// edges are distinct, and distinct names have distinct offsets (the empty
// name, which the block leaves out, has 0).
void GraphNames::number_places(const Graph& graph,
                               const std::vector<IndexTable::Index>& input_names) {
  // Sized for every place at once: inserts alone let the table fill up
  // before it grows, and a full linear-probing table probes for ever.
  const std::size_t count = input_names.size() + graph.edges().size();
  place_index_.reserve(count);
  places_.reserve(count);
  auto add = [&](const Place& p) {
    place_index_.insert_new(hash(p), static_cast<IndexTable::Index>(places_.size()));
    places_.push_back(p);
  };
  auto offset = [&](IndexTable::Index name) -> Offset {
    return name == kNoName ? 0 : starts_[name] + 1;
  };
  const IndexTable::Index* next = input_names.data();
  for (const Node& node : graph.nodes()) {
    const Offset name = offset(*next++);
    for (std::size_t i = 0; i < node.in_ports.size(); ++i) {
      add({{name, offset(*next++), 0, 0}, kInputPort});
    }
  }
  // Edges mostly go along paths, given in order, between ports of a few
  // names: the names last found (a node's as target is often the next
  // edge's source) are tried before the index.
  struct Recent {
    std::string_view name;
    Offset offset = kAbsent;
  };
  Recent nodes[2], ports[2];
  const auto recent = [&](Recent(&seen)[2], std::string_view name) {
    for (const Recent& r : seen) {
      if (r.offset != kAbsent && r.name == name) return r.offset;
    }
    seen[1] = seen[0];
    seen[0] = {name, at(find(name))};
    return seen[0].offset;
  };
  for (const Edge& e : graph.edges()) {
    const PortRef& s = e.source;
    const PortRef& t = e.target;
    add({{recent(nodes, s.node_name), recent(ports, s.port_name), recent(nodes, t.node_name),
          recent(ports, t.port_name)},
         static_cast<std::uint32_t>(s.port_type) << 1 | static_cast<std::uint32_t>(t.port_type)});
  }
}

}  // namespace vornix::capi
