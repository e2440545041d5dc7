// The block of a graph's names, behind vx_sim_names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/index_table.hpp"
#include "base/shared.hpp"
#include "graph/graph.hpp"
#include "vornix.h"

namespace vornix::capi {

// Every name of a graph (nodes, ports, conditions, request labels), once
// each, in one block, and a number for each of its input ports and edges.
// The engine's records carry copies of names that live only until the next
// call; pointing them here instead gives a name one address for the graph's
// life, so a binding can keep what it made of a name by that address rather
// than decode the same bytes on every event.
//
// Made once per graph, with it, and never changed after: every simulation
// over the graph, on any thread, reads the same one.
class GraphNames {
 public:
  // Throws std::length_error when the names exceed 4 GiB (names.cpp).
  explicit GraphNames(const Graph& graph);

  const std::string& text() const { return text_; }

  // The block's copy of `name`, or null when the graph has no such name.
  // Out of line: a simulation's look-ups mostly end in its cache of short
  // names, and this inlined there made every look-up save more registers.
  [[gnu::noinline]] const char* find(std::string_view name) const {
    const IndexTable::Index i =
        index_.find(hash(name), [&](IndexTable::Index j) { return name_at(j) == name; });
    return i == IndexTable::kNone ? nullptr : text_.data() + starts_[i];
  }

  // Whether `s` points into the block (and so lives as long as the graph).
  bool holds(vx_str s) const { return s.ptr != nullptr && at(s.ptr) != kAbsent; }

  // The place numbers (1, 2, ...) of the graph's input ports and edges, by
  // the block addresses of their names; 0 for anything else, including
  // names that are not the block's.
  std::uint32_t place(const char* node, const char* port) const {
    return place({{at(node), at(port), 0, 0}, kInputPort});
  }
  std::uint32_t place(const char* source_node, std::uint32_t source_type, const char* source_port,
                      const char* target_node, std::uint32_t target_type,
                      const char* target_port) const {
    return place({{at(source_node), at(source_port), at(target_node), at(target_port)},
                  source_type << 1 | target_type});
  }

 private:
  std::string_view name_at(IndexTable::Index i) const {
    return {text_.data() + starts_[i], starts_[i + 1] - starts_[i]};
  }

  static std::uint64_t hash(std::string_view name) { return graph_detail::name_hash(name); }

  // An input port (kInputPort) or an edge (its port types, 0-3), by where
  // its names are in the block: offsets, not addresses, since the block may
  // move with the table (a short one lives inside the string).
  using Offset = std::uint32_t;
  struct Place {
    Offset names[4] = {};  // offset + 1 of each name; 0 for none
    std::uint32_t kind = 0;
    bool operator==(const Place&) const = default;
  };
  static constexpr std::uint32_t kInputPort = 4;
  static constexpr Offset kAbsent = ~Offset{0};                    // a name outside the block
  static constexpr IndexTable::Index kNoName = IndexTable::kNone;  // the empty name

  Offset at(const char* name) const {
    if (name == nullptr) return 0;
    // As integers: a name from elsewhere is no part of the block's array.
    const auto p = reinterpret_cast<std::uintptr_t>(name);
    const auto first = reinterpret_cast<std::uintptr_t>(text_.data());
    if (p < first || p - first >= text_.size()) return kAbsent;
    return static_cast<Offset>(p - first + 1);
  }

  static std::uint64_t hash(const Place& p) {
    std::uint64_t h = p.kind;
    for (const Offset n : p.names) h = (h ^ n) * 0x9e3779b97f4a7c15u;
    return h ^ (h >> 32);
  }

  // A place's number is its index in places_, plus one.
  std::uint32_t place(const Place& key) const {
    for (const Offset n : key.names) {
      if (n == kAbsent) return 0;
    }
    const IndexTable::Index i =
        place_index_.find(hash(key), [&](IndexTable::Index j) { return places_[j] == key; });
    return i == IndexTable::kNone ? 0 : i + 1;
  }

  void number_places(const Graph& graph, const std::vector<IndexTable::Index>& input_names);

  std::string text_;
  std::vector<Offset> starts_;  // where each distinct name begins, and the end
  IndexTable index_;            // name -> its position in starts_
  std::vector<Place> places_;
  IndexTable place_index_;
};

// A simulation's view of its graph's names: the graph's block, read through
// caches that only the simulation's one caller at a time fills.
class NameTable {
 public:
  explicit NameTable(const GraphNames& names) : names_(&names), block_(names.text().data()) {}

  const std::string& text() const { return names_->text(); }

  // Locations carry the simulation's shared names and edges, the same few
  // blocks over and over, and an edge's record takes four look-ups and its
  // place a fifth. So the records made for them are kept by the blocks'
  // addresses. An entry holds the blocks it is keyed by: no other value can
  // take their addresses while it is kept, so a match is the same value.
  // Only records whose names are all the block's are kept.
  struct SeenEdge {
    Shared<Edge> edge;
    vx_edge rec{};
    std::uint32_t place = 0;
  };
  struct SeenPort {
    Name node, port;
    vx_str node_name{}, port_name{};
    std::uint32_t place = 0;
  };
  SeenEdge& seen(const Shared<Edge>& edge) const {
    return seen_records().edges[slot(edge.identity(), nullptr)];
  }
  SeenPort& seen(const Name& node, const Name& port) const {
    return seen_records().ports[slot(node.identity(), port.identity())];
  }
  // The same for a name on its own (a salvo's condition and ports, an
  // epoch's node): the record of the block's copy, kept by the name.
  struct SeenName {
    Name name;
    vx_str str{};
  };
  SeenName& seen(const Name& name) const {
    return seen_records().names[slot(name.identity(), nullptr)];
  }

  bool holds(vx_str s) const { return names_->holds(s); }
  std::uint32_t place(const char* node, const char* port) const {
    return names_->place(node, port);
  }
  std::uint32_t place(const char* source_node, std::uint32_t source_type, const char* source_port,
                      const char* target_node, std::uint32_t target_type,
                      const char* target_port) const {
    return names_->place(source_node, source_type, source_port, target_node, target_type,
                         target_port);
  }

  // The block's copy of `name`, or null when the graph has no such name.
  // Most names are a few bytes long and records name the same few over and
  // over: a name of up to eight bytes is looked for by its bytes in a small
  // cache first, which spares hashing and comparing it.
  const char* find(std::string_view name) const {
    const std::size_t n = name.size();
    if (n == 0 || n > 8) return names_->find(name);
    const std::uint64_t key = short_key(name.data(), n);
    Short& known = shorts_[(key * 0x9e3779b97f4a7c15u + n) >> 56];
    if (known.len == n && known.key == key) return block_ + known.offset;
    const char* at = names_->find(name);
    if (at != nullptr) known = {key, n, static_cast<std::size_t>(at - block_)};
    return at;
  }

 private:
  // A name of 1-8 bytes in one word: with its length, the word tells it
  // from every other such name (the loads cover every byte).
  static std::uint64_t short_key(const char* p, std::size_t n) {
    if (n >= 4) return load32(p) | std::uint64_t{load32(p + n - 4)} << 32;
    return byte(p[0]) | byte(p[n / 2]) << 8 | byte(p[n - 1]) << 16;
  }
  static std::uint32_t load32(const char* p) {
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
  }
  static std::uint64_t byte(char c) { return static_cast<unsigned char>(c); }

  struct Short {
    std::uint64_t key = 0;
    std::size_t len = 0;  // 0: empty
    std::size_t offset = 0;
  };

  // Made on first use: a simulation whose locations no one reads pays nothing.
  struct Seen {
    std::array<SeenEdge, 256> edges;
    std::array<SeenPort, 256> ports;
    std::array<SeenName, 256> names;
  };
  Seen& seen_records() const {
    if (!seen_) seen_ = std::make_unique<Seen>();
    return *seen_;
  }
  static std::size_t slot(const void* a, const void* b) {
    const std::uint64_t key =
        reinterpret_cast<std::uintptr_t>(a) ^ (reinterpret_cast<std::uintptr_t>(b) >> 3);
    return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15u) >> 56);
  }

  const GraphNames* names_;
  const char* block_;  // names_->text().data(), which never changes
  // Filled by look-ups, which a simulation's one caller at a time makes.
  mutable std::array<Short, 256> shorts_{};
  mutable std::unique_ptr<Seen> seen_;
};

}  // namespace vornix::capi
