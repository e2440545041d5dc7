// Graph: the static topology of one network, immutable once built.
//
// Owns its nodes and edges, each stored once, in dense vectors: nodes in the
// order given, distinct edges in the order first given. Everything else is
// an index into those vectors: the look-up tables by node name, by edge, by
// edge source (tail) and by edge target (head) hold only numbers, and the
// per-head edge lists are runs of edge indices. So a node's name, an edge
// and a node's ports are read by index (nodes()[i], edges()[i]) as well as
// by name, and copying the graph copies flat vectors.
//
// Building a graph checks only that node names are unique; every other
// structural rule is reported by validate(), whose verdict the graph keeps,
// since nothing can change it afterwards. A graph is meant to be shared once
// built (NetSim takes a shared_ptr<const Graph>): every holder reads the same
// object, which is indistinguishable from each having its own copy.
//
//   Graph g({a, b}, {Edge{{"A", PortType::Output, "out"}, {"B", PortType::Input, "in"}}});
//   g = std::move(g).with_dependency_edges({...});
//   std::vector<GraphValidationError> errors = g.validate();
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "base/index_table.hpp"
#include "graph/elements.hpp"

namespace vornix {

struct GraphValidationError;

namespace graph_detail {

inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// A short multiply-mix hash of a name for in-process tables; the stable
// SipHash stays for the hashes callers can see.
[[gnu::always_inline]] inline std::uint64_t name_hash(std::string_view s) noexcept {
  constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
  std::uint64_t h = s.size() * kMul;
  const char* p = s.data();
  std::size_t n = s.size();
  for (; n >= 8; p += 8, n -= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * kMul;
    h ^= h >> 29;
  }
  if (n > 0) {
    // The last 1-7 bytes in at most two loads; the length is already in `h`.
    std::uint64_t w;
    if (n >= 4) {
      std::uint32_t lo, hi;
      std::memcpy(&lo, p, 4);
      std::memcpy(&hi, p + n - 4, 4);
      w = lo | std::uint64_t{hi} << 32;
    } else {
      const auto byte = [&](std::size_t k) {
        return std::uint64_t{static_cast<unsigned char>(p[k])};
      };
      w = byte(0) | byte(n / 2) << 8 | byte(n - 1) << 16;
    }
    h = (h ^ w) * kMul;
  }
  h ^= h >> 32;
  h *= 0xD6E8FEB86659FD93ULL;
  h ^= h >> 32;
  return h;
}
std::uint64_t ref_hash(const PortRef& p) noexcept;
std::uint64_t edge_hash(const Edge& e) noexcept;

// Names, port references and edges to their dense indices.
using IndexTable = vornix::IndexTable;

}  // namespace graph_detail

// The edges into one input port, in construction order, repeats included:
// a run of indices into the graph's edge vector.
class EdgeList {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Edge;
    using difference_type = std::ptrdiff_t;
    using pointer = const Edge*;
    using reference = const Edge&;
    iterator() = default;
    iterator(const Edge* edges, const std::uint32_t* at) : edges_(edges), at_(at) {}
    const Edge& operator*() const { return edges_[*at_]; }
    const Edge* operator->() const { return &edges_[*at_]; }
    iterator& operator++() {
      ++at_;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++at_;
      return old;
    }
    bool operator==(const iterator& o) const { return at_ == o.at_; }

   private:
    const Edge* edges_ = nullptr;
    const std::uint32_t* at_ = nullptr;
  };

  EdgeList() = default;
  EdgeList(const Edge* edges, std::span<const std::uint32_t> indices)
      : edges_(edges), indices_(indices) {}
  iterator begin() const { return {edges_, indices_.data()}; }
  iterator end() const { return {edges_, indices_.data() + indices_.size()}; }
  std::size_t size() const { return indices_.size(); }
  bool empty() const { return indices_.empty(); }
  const Edge& operator[](std::size_t i) const { return edges_[indices_[i]]; }
  // The edges' indices in Graph::edges().
  std::span<const std::uint32_t> indices() const { return indices_; }

 private:
  const Edge* edges_ = nullptr;
  std::span<const std::uint32_t> indices_;
};

class Graph {
 public:
  static constexpr std::uint32_t kNone = graph_detail::kNone;

  Graph() = default;
  // Throws InternalError "Duplicate node name: '{name}'" on a repeated name.
  Graph(std::vector<Node> nodes, std::vector<Edge> edges);
  Graph(const Graph&) = default;
  Graph& operator=(const Graph&) = default;
  Graph(Graph&&) noexcept = default;
  Graph& operator=(Graph&&) noexcept = default;

  // Returns the graph with its dependency-edge set replaced by `edges`
  // (duplicates collapse; membership in edges() is not checked).
  Graph with_dependency_edges(std::vector<Edge> edges) &&;

  // The edge leaving an output port (the last one given, when several do).
  const Edge* get_edge_by_tail(const PortRef& port) const;
  // Every edge ending at `port`, in construction order, repeats included.
  EdgeList get_edges_by_head(const PortRef& port) const;
  bool is_dependency_edge(const Edge& edge) const;
  bool has_edge(const Edge& edge) const { return edge_index(edge) != kNone; }

  // Every structural problem, in phase order. Defined in validate.cpp.
  std::vector<GraphValidationError> validate() const;
  // Whether validate() finds nothing; worked out once, then remembered.
  bool is_valid() const;

  const Node* find_node(std::string_view name) const;
  // The position of a node in nodes(), or kNone.
  std::uint32_t node_index(std::string_view name) const;
  // The position of an edge in edges(), or kNone.
  std::uint32_t edge_index(const Edge& edge) const;

  // The nodes in the order they were given: an order that does not depend
  // on hashing, for walks whose results callers can see.
  std::span<const Node> nodes() const { return nodes_; }
  // The distinct edges, in the order first given.
  std::span<const Edge> edges() const { return edges_; }
  // The edges as given, repeats included, as indices into edges().
  std::span<const std::uint32_t> edges_as_given() const { return given_; }
  // The distinct dependency edges, in the order first given.
  std::span<const Edge> dependency_edges() const { return dependency_edges_; }

  // The output ports with more than one distinct edge leaving them, in the
  // order first given, each with its count.
  struct FanOut {
    const PortRef* port;
    std::uint64_t count;
  };
  std::vector<FanOut> fan_outs() const;

 private:
  // The validator's verdict, kept across copies; 0 not yet known.
  struct Verdict {
    mutable std::atomic<std::uint8_t> value{0};
    Verdict() = default;
    Verdict(const Verdict& o) noexcept : value(o.value.load(std::memory_order_relaxed)) {}
    Verdict& operator=(const Verdict& o) noexcept {
      value.store(o.value.load(std::memory_order_relaxed), std::memory_order_relaxed);
      return *this;
    }
  };
  // The last distinct edge given from one source, and how many there are.
  struct Tail {
    std::uint32_t edge;
    std::uint32_t count;
  };

  std::vector<Node> nodes_;
  std::vector<Edge> edges_;
  std::vector<std::uint32_t> given_;
  std::vector<Tail> tails_;
  std::vector<std::uint32_t> head_begin_;  // per head, into head_edges_ (size heads + 1)
  std::vector<std::uint32_t> head_edges_;
  std::vector<Edge> dependency_edges_;
  graph_detail::IndexTable node_table_;
  graph_detail::IndexTable edge_table_;        // only the edges of sources with several
  graph_detail::IndexTable tail_table_;        // into tails_
  graph_detail::IndexTable head_table_;        // head number
  graph_detail::IndexTable dependency_table_;  // into dependency_edges_
  Verdict verdict_;
};

}  // namespace vornix
