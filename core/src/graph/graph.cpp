#include "graph/graph.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <utility>

#include "base/fault.hpp"
#include "graph/validate.hpp"

namespace vornix {

namespace graph_detail {

std::uint64_t ref_hash(const PortRef& p) noexcept {
  const std::uint64_t h = name_hash(p.node_name) * 31 + static_cast<std::uint64_t>(p.port_type);
  return std::rotl(h, 17) ^ name_hash(p.port_name);
}

std::uint64_t edge_hash(const Edge& e) noexcept {
  return std::rotl(ref_hash(e.source), 29) ^ ref_hash(e.target);
}

}  // namespace graph_detail

using graph_detail::edge_hash;
using graph_detail::name_hash;
using graph_detail::ref_hash;

Graph::Graph(std::vector<Node> nodes, std::vector<Edge> edges) : nodes_(std::move(nodes)) {
  if (nodes_.size() >= kNone || edges.size() >= kNone) internal_fault("graph too large");
  node_table_.reserve(nodes_.size());
  for (std::uint32_t i = 0; i < nodes_.size(); ++i) {
    const std::string& name = nodes_[i].name;
    const auto same = [&](std::uint32_t j) { return nodes_[j].name == name; };
    if (node_table_.insert(name_hash(name), i, same) != kNone) {
      internal_fault("Duplicate node name: '" + name + "'");
    }
  }

  // Distinct edges first, each given edge then an index; the tails count the
  // distinct edges from each source, and the last one given wins the index.
  // A source with one distinct edge (every source of a valid graph) finds
  // its edge through its tail; only the edges of sources with several are
  // also kept in the edge table, made when the first such source shows up.
  edges_.reserve(edges.size());
  given_.reserve(edges.size());
  tail_table_.reserve(edges.size());
  head_table_.reserve(edges.size());
  std::vector<std::uint32_t> head_of(edges.size());  // per given edge
  std::vector<std::uint32_t> head_key;               // per head: an edge into it
  bool edge_table_made = false;
  for (std::size_t g = 0; g < edges.size(); ++g) {
    Edge& edge = edges[g];
    const std::uint64_t th = ref_hash(edge.target);
    const std::uint32_t heads = static_cast<std::uint32_t>(head_key.size());
    std::uint32_t head = head_table_.insert(
        th, heads, [&](std::uint32_t h) { return edges_[head_key[h]].target == edge.target; });
    const auto next = static_cast<std::uint32_t>(edges_.size());
    const std::uint64_t sh = ref_hash(edge.source);
    const auto tails = static_cast<std::uint32_t>(tails_.size());
    const std::uint32_t tail = tail_table_.insert(
        sh, tails, [&](std::uint32_t t) { return edges_[tails_[t].edge].source == edge.source; });
    std::uint32_t index = next;
    if (tail == kNone) {
      tails_.push_back({next, 1});
    } else if (tails_[tail].count == 1 && edges_[tails_[tail].edge] == edge) {
      index = tails_[tail].edge;  // a repeat of the source's one edge
    } else {
      const std::uint64_t eh = std::rotl(sh, 29) ^ th;
      const auto same = [&](std::uint32_t e) { return edges_[e] == edge; };
      if (tails_[tail].count == 1) {
        if (!edge_table_made) edge_table_.reserve(edges.size());
        edge_table_made = true;
        const std::uint32_t first = tails_[tail].edge;
        edge_table_.insert(edge_hash(edges_[first]), first, [](std::uint32_t) { return false; });
      }
      index = edge_table_.insert(eh, next, same);
      if (index == kNone) {
        index = next;
        ++tails_[tail].count;
      }
      tails_[tail].edge = index;
    }
    if (index == next) edges_.push_back(std::move(edge));
    if (head == kNone) {
      head = heads;
      head_key.push_back(index);
    }
    head_of[g] = head;
    given_.push_back(index);
  }
  // The per-head lists: a counting sort of the given edges by head, stable.
  head_begin_.assign(head_key.size() + 1, 0);
  for (const std::uint32_t head : head_of) ++head_begin_[head + 1];
  for (std::size_t h = 0; h < head_key.size(); ++h) head_begin_[h + 1] += head_begin_[h];
  head_edges_.resize(given_.size());
  std::vector<std::uint32_t> fill(head_begin_.begin(), head_begin_.end() - 1);
  for (std::size_t g = 0; g < given_.size(); ++g) head_edges_[fill[head_of[g]]++] = given_[g];
  edges_.shrink_to_fit();
  tails_.shrink_to_fit();
}

Graph Graph::with_dependency_edges(std::vector<Edge> edges) && {
  dependency_edges_.clear();
  dependency_edges_.reserve(edges.size());
  dependency_table_ = {};
  dependency_table_.reserve(edges.size());
  for (Edge& edge : edges) {
    const auto next = static_cast<std::uint32_t>(dependency_edges_.size());
    const auto same = [&](std::uint32_t e) { return dependency_edges_[e] == edge; };
    if (dependency_table_.insert(edge_hash(edge), next, same) == kNone) {
      dependency_edges_.push_back(std::move(edge));
    }
  }
  verdict_.value.store(0, std::memory_order_relaxed);
  return std::move(*this);
}

const Edge* Graph::get_edge_by_tail(const PortRef& port) const {
  const std::uint32_t t = tail_table_.find(
      ref_hash(port), [&](std::uint32_t i) { return edges_[tails_[i].edge].source == port; });
  return t == kNone ? nullptr : &edges_[tails_[t].edge];
}

EdgeList Graph::get_edges_by_head(const PortRef& port) const {
  const std::uint32_t h = head_table_.find(ref_hash(port), [&](std::uint32_t i) {
    return edges_[head_edges_[head_begin_[i]]].target == port;
  });
  if (h == kNone) return {};
  const std::span<const std::uint32_t> all = head_edges_;
  return {edges_.data(), all.subspan(head_begin_[h], head_begin_[h + 1] - head_begin_[h])};
}

bool Graph::is_dependency_edge(const Edge& edge) const {
  return dependency_table_.find(edge_hash(edge), [&](std::uint32_t i) {
    return dependency_edges_[i] == edge;
  }) != kNone;
}

std::uint32_t Graph::node_index(std::string_view name) const {
  return node_table_.find(name_hash(name), [&](std::uint32_t i) { return nodes_[i].name == name; });
}

const Node* Graph::find_node(std::string_view name) const {
  const std::uint32_t i = node_index(name);
  return i == kNone ? nullptr : &nodes_[i];
}

std::uint32_t Graph::edge_index(const Edge& edge) const {
  const std::uint64_t sh = ref_hash(edge.source);
  const std::uint32_t t = tail_table_.find(
      sh, [&](std::uint32_t i) { return edges_[tails_[i].edge].source == edge.source; });
  if (t == kNone) return kNone;
  if (tails_[t].count == 1) return edges_[tails_[t].edge] == edge ? tails_[t].edge : kNone;
  return edge_table_.find(std::rotl(sh, 29) ^ ref_hash(edge.target),
                          [&](std::uint32_t i) { return edges_[i] == edge; });
}

std::vector<Graph::FanOut> Graph::fan_outs() const {
  std::vector<FanOut> out;
  for (const Tail& t : tails_) {
    if (t.count > 1) out.push_back({&edges_[t.edge].source, t.count});
  }
  return out;
}

bool Graph::is_valid() const {
  const std::uint8_t known = verdict_.value.load(std::memory_order_relaxed);
  if (known != 0) return known == 1;
  return validate().empty();
}

}  // namespace vornix
