// Building a NetSim: the graph is validated (once per graph) and interned
// into the dense tables every other part of the state indexes.
#include <algorithm>
#include <bit>
#include <span>

#include "base/fault.hpp"
#include "graph/validate.hpp"
#include "net/name_compare.hpp"
#include "net/state.hpp"

namespace vornix {

namespace {

std::string invalid_graph_message(const std::vector<GraphValidationError>& errors) {
  std::string message = "Cannot create NetSim with invalid graph:";
  for (const GraphValidationError& e : errors) message += "\n  - " + e.message();
  return message;
}

using net_detail::name_hash;
using net_detail::same_name;
using net_detail::tag_of;

template <class Info>
void sort_by_name(std::vector<Info>& ports, std::size_t first) {
  if (ports.size() - first < 2) return;
  std::sort(ports.begin() + static_cast<std::ptrdiff_t>(first), ports.end(),
            [](const Info& a, const Info& b) { return *a.name < *b.name; });
}

}  // namespace

void NetSim::IndexTable::reserve(std::size_t n) {
  const std::size_t size = std::bit_ceil(std::max<std::size_t>(8, n + n / 2 + 1));
  cells.assign(size, Cell{});
  mask = size - 1;
}

NetSim::NetSim(Graph graph) : NetSim(std::make_shared<const Graph>(std::move(graph))) {}

NetSim::NetSim(std::shared_ptr<const Graph> graph) : graph_(std::move(graph)) {
  if (graph_ == nullptr) internal_fault("NetSim over no graph");
  // The validator holds the structural rules; the graph remembers its
  // verdict, so a graph validated once (or shared by several sims) is not
  // checked again. Interning then only reads what validation vouched for.
  if (!graph_->is_valid()) internal_fault(invalid_graph_message(graph_->validate()));
  if (!intern()) internal_fault("graph interning refused a graph that validates");
}

NetSim::~NetSim() = default;

// Four passes, each reading what the one before built: the nodes and their
// ports, then each edge placed between its two ports, then the edges grouped
// by target port, then the dependency edges of the request cascade.
bool NetSim::intern() {
  std::vector<Index> configured = intern_nodes();
  std::vector<PlacedEdge> placed;
  if (!place_edges(placed)) return false;
  order_edges(std::move(placed));
  return intern_dependencies(configured);
}

// An edge resolved to its two ports, before edges get their indices.
struct NetSim::PlacedEdge {
  Index port = 0;  // target input port
  Index out = 0;   // source output port slot
  const Edge* edge = nullptr;
};

// Returns the nodes with a request configuration.
std::vector<NetSim::Index> NetSim::intern_nodes() {
  const std::span<const Node> order = graph_->nodes();
  const std::size_t n = order.size();
  nodes_.resize(n);
  in_begin_.resize(n + 1);
  out_begin_.resize(n + 1);
  in_ports_.reserve(n);
  out_ports_.reserve(n);
  node_table_.reserve(n);
  std::vector<Index> configured;
  // In blocks: the table cells of a block are fetched while its nodes'
  // ports are read, rather than one cache miss at a time.
  std::uint64_t hashes[kBlock];
  for (std::size_t block = 0; block < n; block += kBlock) {
    const std::size_t end = std::min(n, block + kBlock);
    for (std::size_t i = block; i < end; ++i) {
      const std::uint64_t h = name_hash(order[i].name);
      hashes[i - block] = h;
      __builtin_prefetch(&node_table_.cells[h & node_table_.mask], 1);
    }
    for (std::size_t i = block; i < end; ++i) {
      const Node* node = &order[i];
      const Index index = static_cast<Index>(i);
      NodeInfo& info = nodes_[i];
      info.node = node;
      const std::uint64_t h = hashes[i - block];
      std::size_t cell = h & node_table_.mask;
      while (node_table_.cells[cell].index != kNone) cell = (cell + 1) & node_table_.mask;
      node_table_.cells[cell] = {index, tag_of(h)};

      const std::size_t in_first = in_ports_.size();
      in_begin_[i] = static_cast<Index>(in_first);
      for (const auto& [name, port] : node->in_ports) {
        InPortInfo& p = in_ports_.emplace_back();
        p.name = &name;
        p.capacity = port.slots_spec.capacity().value_or(kUnbounded);
        p.node = index;
      }
      sort_by_name(in_ports_, in_first);
      const std::size_t out_first = out_ports_.size();
      out_begin_[i] = static_cast<Index>(out_first);
      for (const auto& [name, port] : node->out_ports) {
        out_ports_.push_back(
            OutPortInfo{&name, port.slots_spec.capacity().value_or(kUnbounded), kNone});
      }
      sort_by_name(out_ports_, out_first);

      if (const auto& config = node->dependency_request_config) {
        info.startup = config->has_trigger(DependencyRequestTrigger::OnStartup);
        info.no_salvo = config->has_trigger(DependencyRequestTrigger::OnNoSalvoTriggered);
        if (info.startup) startup_nodes_.push_back(index);
        if (info.no_salvo) info.token = 2;
        configured.push_back(index);
      }
    }
  }
  in_begin_[n] = static_cast<Index>(in_ports_.size());
  out_begin_[n] = static_cast<Index>(out_ports_.size());
  return configured;
}

// Validation vouched that every edge joins an existing output port to an
// existing input port and that no output port has two; the look-ups below
// still refuse anything else rather than index past a table.
bool NetSim::place_edges(std::vector<PlacedEdge>& placed) {
  const std::span<const Node> order = graph_->nodes();
  const std::span<const Edge> all = graph_->edges();
  placed.reserve(all.size());
  // The edges go in blocks through three rounds, each reading what the
  // round before prefetched: the table cells of both end nodes, then the
  // nodes' names and port ranges, then the ports.
  struct Ends {
    const Edge* edge;
    std::uint64_t source_hash, target_hash;
    Index source, target;
  };
  Ends ends[kBlock];
  for (std::size_t block = 0; block < all.size(); block += kBlock) {
    const std::size_t count = std::min(kBlock, all.size() - block);
    // The next block's edges are fetched while this one is resolved.
    for (std::size_t j = block + kBlock; j < std::min(all.size(), block + 2 * kBlock); ++j) {
      const char* edge = reinterpret_cast<const char*>(&all[j]);
      __builtin_prefetch(edge);
      __builtin_prefetch(edge + 64);
      __builtin_prefetch(edge + sizeof(Edge) - 1);
    }
    for (std::size_t j = 0; j < count; ++j) {
      const Edge& e = all[block + j];
      if (e.source.port_type != PortType::Output || e.target.port_type != PortType::Input) {
        return false;
      }
      Ends& x = ends[j];
      x.edge = &e;
      x.source_hash = name_hash(e.source.node_name);
      x.target_hash = name_hash(e.target.node_name);
      __builtin_prefetch(&node_table_.cells[x.source_hash & node_table_.mask]);
      __builtin_prefetch(&node_table_.cells[x.target_hash & node_table_.mask]);
    }
    for (std::size_t j = 0; j < count; ++j) {
      Ends& x = ends[j];
      x.source = node_candidate(x.source_hash);
      x.target = node_candidate(x.target_hash);
      if (x.source == kNone || x.target == kNone) return false;
      __builtin_prefetch(&order[x.source].name);
      __builtin_prefetch(&order[x.target].name);
      __builtin_prefetch(&out_begin_[x.source]);
      __builtin_prefetch(&in_begin_[x.target]);
    }
    for (std::size_t j = 0; j < count; ++j) {
      const Ends& x = ends[j];
      const Edge& e = *x.edge;
      // A tag shared by two names sends the look-up down the whole probe.
      const Index source = same_name(order[x.source].name, e.source.node_name)
                               ? x.source
                               : node_index(e.source.node_name);
      const Index target = same_name(order[x.target].name, e.target.node_name)
                               ? x.target
                               : node_index(e.target.node_name);
      const Index position = out_port_position(source, e.source.port_name);
      const Index port = in_port_index(target, e.target.port_name);
      if (position == kNone || port == kNone) return false;
      const Index out = out_begin_[source] + position;
      if (out_ports_[out].edge != kNone) return false;
      out_ports_[out].edge = 0;  // claimed; the edge's index is set below
      placed.push_back({port, out, &e});
    }
  }
  return true;
}

// Gives the edges their indices: grouped by target port, and within one
// port in the order the graph lists them.
void NetSim::order_edges(std::vector<PlacedEdge> placed) {
  const std::span<const Node> order = graph_->nodes();
  // Edges grouped by target port (a counting sort); `starts` ends up holding
  // the end of each group.
  std::vector<Index> starts(in_ports_.size() + 1, 0);
  for (const PlacedEdge& p : placed) ++starts[p.port + 1];
  for (std::size_t p = 0; p < in_ports_.size(); ++p) {
    starts[p + 1] += starts[p];
    in_ports_[p].edges_begin = starts[p];
  }
  std::vector<PlacedEdge> grouped(placed.size());
  for (const PlacedEdge& p : placed) grouped[starts[p.port]++] = p;
  placed = {};

  // Fan-in: within one port the edges go in the order the graph lists them.
  // Each has its own source port, so the source slot carries the rank.
  std::vector<Index> rank;
  for (std::size_t p = 0; p < in_ports_.size(); ++p) {
    const Index first = in_ports_[p].edges_begin;
    const Index last = starts[p];
    if (last - first < 2) continue;
    if (rank.empty()) rank.assign(out_ports_.size(), kNone);
    const InPortInfo& info = in_ports_[p];
    const EdgeList listed =
        graph_->get_edges_by_head(PortRef{order[info.node].name, PortType::Input, *info.name});
    for (std::size_t j = 0; j < listed.size(); ++j) {
      const Index source = node_index(listed[j].source.node_name);
      const Index out = out_begin_[source] + out_port_position(source, listed[j].source.port_name);
      if (rank[out] == kNone) rank[out] = static_cast<Index>(j);
    }
    std::sort(grouped.begin() + first, grouped.begin() + last,
              [&](const PlacedEdge& a, const PlacedEdge& b) { return rank[a.out] < rank[b.out]; });
  }
  edges_.resize(grouped.size());
  for (std::size_t i = 0; i < grouped.size(); ++i) {
    EdgeInfo& info = edges_[i];
    info.edge = grouped[i].edge;
    info.target = grouped[i].port;
    out_ports_[grouped[i].out].edge = static_cast<Index>(i);
  }
}

// The dependency edges, by the node they lead into; every node with a
// request configuration must have one.
bool NetSim::intern_dependencies(const std::vector<Index>& configured) {
  for (const Edge& e : graph_->dependency_edges()) {
    const Index edge = edge_index(e);
    if (edge == kNone) return false;  // not in the edge set
    dependency_targets_[in_ports_[edges_[edge].target].node].push_back(e.target);
  }
  for (const Index node : configured) {
    if (!dependency_targets_.contains(node)) return false;
  }
  // The set's own order is a hash order; the cascade's start ports go in
  // port order instead.
  for (auto& [node, targets] : dependency_targets_) {
    std::stable_sort(targets.begin(), targets.end(),
                     [](const PortRef& a, const PortRef& b) { return a.port_name < b.port_name; });
  }
  return true;
}

}  // namespace vornix
