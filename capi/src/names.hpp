// The block of a simulation's graph names, behind vx_sim_names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "graph/graph.hpp"

namespace vornix::capi {

// Every name of a graph (nodes, ports, conditions, request labels), once
// each, in one block. The engine's records carry copies of names that live
// only until the next call; pointing them here instead gives a name one
// address for the simulation's life, so a binding can keep what it made of
// a name by that address rather than decode the same bytes on every event.
class NameTable {
 public:
  explicit NameTable(const Graph& graph) {
    std::vector<std::string_view> names;
    std::unordered_set<std::string_view> seen;
    auto add = [&](std::string_view name) {
      if (!name.empty() && seen.insert(name).second) names.push_back(name);
    };
    for (const Node& node : graph.nodes()) {
      add(node.name);
      for (const auto& port : node.in_ports) add(port.first);
      for (const auto& port : node.out_ports) add(port.first);
      for (const auto& condition : node.in_salvo_conditions) add(condition.first);
      for (const auto& condition : node.out_salvo_conditions) add(condition.first);
      if (node.dependency_request_config) add(node.dependency_request_config->label);
    }
    std::size_t size = 0;
    for (std::string_view name : names) size += name.size();
    text_.reserve(size);
    for (std::string_view name : names) text_ += name;
    // Open addressing over a power of two, at most half full: a lookup runs
    // for every name of every record, where a node-based map costs a
    // division and a pointer chase each time.
    std::size_t slots = 4;
    while (slots < 2 * names.size()) slots *= 2;
    slots_.assign(slots, Slot{});
    mask_ = slots - 1;
    std::size_t offset = 0;
    for (std::string_view name : names) {
      std::size_t i = hash(name) & mask_;
      while (slots_[i].len != 0) i = (i + 1) & mask_;
      slots_[i] = {offset, name.size()};
      offset += name.size();
    }
  }

  const std::string& text() const { return text_; }

  // The block's copy of `name`, or null when the graph has no such name.
  const char* find(std::string_view name) const {
    for (std::size_t i = hash(name) & mask_;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.len == 0) return nullptr;
      const char* at = text_.data() + slot.offset;
      if (slot.len == name.size() && same(at, name.data(), name.size())) return at;
    }
  }

 private:
  struct Slot {
    std::size_t offset = 0;
    std::size_t len = 0;  // 0: empty (names are never empty)
  };
  // Names are a few bytes long: a loop here beats a call to memcmp.
  static bool same(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  static std::size_t hash(std::string_view name) {
    std::uint64_t h = 0xcbf29ce484222325u ^ name.size();  // FNV-1a: names are short
    for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }

  std::string text_;
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

}  // namespace vornix::capi
