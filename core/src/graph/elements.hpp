// Graph elements: the plain value types that describe a network's topology.
//
// Nodes own their ports and salvo conditions; a Graph (graph.hpp) owns nodes
// and edges. Nothing refers to another element by pointer: cross references
// are by name (PortRef, condition names, port names inside terms). Every type
// here is a value that copies deeply. Not thread-safe beyond the usual rules
// for values.
//
//   Node n{.name = "B"};
//   n.in_ports.emplace("in", Port{PortSlotSpec::finite(1)});
//   n.in_salvo_conditions.insert_or_assign("go", SalvoCondition{
//       MaxSalvos::finite(1), {{"in", PacketCount::all()}},
//       SalvoConditionTerm::port("in", PortState::non_empty())});
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace vornix {

// Transparent string hashing so maps keyed by std::string accept string_view.
struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept {
    return std::hash<std::string_view>{}(s);
  }
};
template <class V>
using StringMap = std::unordered_map<std::string, V, StringHash, std::equal_to<>>;

// A map from names to values for the small maps inside graph elements (a
// node's ports, a salvo condition's ports): the entries sit in one vector in
// the order first inserted, so a map of a few names costs one allocation
// rather than a node per entry and a bucket array. Past a handful of entries
// an open-addressing index of positions keeps look-ups constant-time, so a
// node with many ports builds and answers in linear time. Equality ignores
// order, as a hash map's does.
template <class V>
class NameMap {
 public:
  using value_type = std::pair<std::string, V>;
  using iterator = typename std::vector<value_type>::iterator;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  NameMap() = default;
  NameMap(std::initializer_list<value_type> entries) {
    for (const value_type& e : entries) insert_or_assign(e.first, e.second);
  }
  NameMap(const NameMap& other) : entries_(other.entries_) {
    if (other.index_ != nullptr) index_ = std::make_unique<Index>(*other.index_);
  }
  NameMap& operator=(const NameMap& other) {
    if (this != &other) *this = NameMap(other);
    return *this;
  }
  NameMap(NameMap&&) noexcept = default;
  NameMap& operator=(NameMap&&) noexcept = default;

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void reserve(std::size_t n) { entries_.reserve(n); }

  iterator find(std::string_view key) { return entries_.begin() + offset(key); }
  const_iterator find(std::string_view key) const { return entries_.begin() + offset(key); }
  bool contains(std::string_view key) const { return position(key) != entries_.size(); }
  std::size_t count(std::string_view key) const { return contains(key) ? 1 : 0; }

  // Adds the entry unless the key is present; either way the iterator
  // points at the key's entry.
  template <class... Args>
  std::pair<iterator, bool> try_emplace(std::string key, Args&&... args) {
    const std::size_t at = position(key);
    if (at != entries_.size()) return {entries_.begin() + offset(key), false};
    entries_.emplace_back(std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                          std::forward_as_tuple(std::forward<Args>(args)...));
    note_added();
    return {std::prev(entries_.end()), true};
  }
  std::pair<iterator, bool> emplace(std::string key, V value) {
    return try_emplace(std::move(key), std::move(value));
  }
  std::pair<iterator, bool> insert_or_assign(std::string key, V value) {
    auto result = try_emplace(std::move(key), value);
    if (!result.second) result.first->second = std::move(value);
    return result;
  }

  bool operator==(const NameMap& other) const {
    if (size() != other.size()) return false;
    for (const value_type& e : entries_) {
      const auto it = other.find(e.first);
      if (it == other.end() || !(it->second == e.second)) return false;
    }
    return true;
  }

 private:
  // Up to this many entries a scan is cheaper than hashing.
  static constexpr std::size_t kScan = 8;
  // Cells hold position + 1 (0 is empty); at most half of them are used.
  using Index = std::vector<std::uint32_t>;

  static std::size_t hash_of(std::string_view key) { return StringHash{}(key); }

  std::ptrdiff_t offset(std::string_view key) const {
    return static_cast<std::ptrdiff_t>(position(key));
  }
  // The key's place in entries_, or size() when absent.
  std::size_t position(std::string_view key) const {
    if (index_ == nullptr) {
      for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].first == key) return i;
      }
      return entries_.size();
    }
    const Index& cells = *index_;
    const std::size_t mask = cells.size() - 1;
    for (std::size_t c = hash_of(key) & mask;; c = (c + 1) & mask) {
      if (cells[c] == 0) return entries_.size();
      if (entries_[cells[c] - 1].first == key) return cells[c] - 1;
    }
  }

  void note_added() {
    const std::size_t n = entries_.size();
    if (n <= kScan) return;
    if (index_ == nullptr || 2 * n > index_->size()) {
      rebuild(std::bit_ceil(4 * n));
    } else {
      place(*index_, n - 1);
    }
  }
  void rebuild(std::size_t cells) {
    auto index = std::make_unique<Index>(cells, 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) place(*index, i);
    index_ = std::move(index);
  }
  void place(Index& cells, std::size_t i) const {
    const std::size_t mask = cells.size() - 1;
    std::size_t c = hash_of(entries_[i].first) & mask;
    while (cells[c] != 0) c = (c + 1) & mask;
    cells[c] = static_cast<std::uint32_t>(i + 1);
  }

  std::vector<value_type> entries_;
  std::unique_ptr<Index> index_;  // null while a scan will do
};

enum class PortType : std::uint8_t { Input = 0, Output = 1 };

// "in" / "out": the side as written inside a PortRef's text form.
std::string_view short_form(PortType t);
// "Input" / "Output".
std::string_view diagnostic(PortType t);

struct PortRef {
  std::string node_name;
  PortType port_type = PortType::Input;
  std::string port_name;
  bool operator==(const PortRef&) const = default;
};

struct Edge {
  PortRef source;
  PortRef target;
  bool operator==(const Edge&) const = default;
};

// Text forms used in every message: "A.out.x" and "A.out.x -> B.in.y".
std::string to_text(const PortRef& p);
std::string to_text(const Edge& e);
// Structured forms used inside location debug forms:
// PortRef { node_name: "A", port_type: Output, port_name: "x" }
// Edge { source: PortRef { .. }, target: PortRef { .. } }
std::string debug_form(const PortRef& p);
std::string debug_form(const Edge& e);

// Deterministic hashes (SipHash-1-3, zero key) of the byte streams: a port
// type is its number as 8 little-endian bytes, a string its UTF-8 bytes and
// 0xFF, a PortRef node name + type + port name, an Edge source + target. The
// same in every process; the Python classes expose them as hash().
std::uint64_t stable_hash(PortType t);
std::uint64_t stable_hash(const PortRef& p);
std::uint64_t stable_hash(const Edge& e);

// SipHash-1-3 with an all-zero 128-bit key over `bytes`.
std::uint64_t siphash13(std::string_view bytes);

struct PortSlotSpec {
  struct Infinite {
    bool operator==(const Infinite&) const = default;
  };
  struct Finite {
    std::uint64_t n = 0;
    bool operator==(const Finite&) const = default;
  };
  std::variant<Infinite, Finite> value;

  static PortSlotSpec infinite() { return {Infinite{}}; }
  static PortSlotSpec finite(std::uint64_t n) { return {Finite{n}}; }
  // The capacity of a Finite spec; nothing for Infinite.
  std::optional<std::uint64_t> capacity() const;
  bool operator==(const PortSlotSpec&) const = default;
};

struct Port {
  PortSlotSpec slots_spec = PortSlotSpec::infinite();
  bool operator==(const Port&) const = default;
};

struct PortState {
  struct Empty {
    bool operator==(const Empty&) const = default;
  };
  struct Full {
    bool operator==(const Full&) const = default;
  };
  struct NonEmpty {
    bool operator==(const NonEmpty&) const = default;
  };
  struct NonFull {
    bool operator==(const NonFull&) const = default;
  };
  struct Equals {
    std::uint64_t n = 0;
    bool operator==(const Equals&) const = default;
  };
  struct LessThan {
    std::uint64_t n = 0;
    bool operator==(const LessThan&) const = default;
  };
  struct GreaterThan {
    std::uint64_t n = 0;
    bool operator==(const GreaterThan&) const = default;
  };
  struct EqualsOrLessThan {
    std::uint64_t n = 0;
    bool operator==(const EqualsOrLessThan&) const = default;
  };
  struct EqualsOrGreaterThan {
    std::uint64_t n = 0;
    bool operator==(const EqualsOrGreaterThan&) const = default;
  };
  std::variant<Empty, Full, NonEmpty, NonFull, Equals, LessThan, GreaterThan, EqualsOrLessThan,
               EqualsOrGreaterThan>
      value;

  static PortState empty() { return {Empty{}}; }
  static PortState full() { return {Full{}}; }
  static PortState non_empty() { return {NonEmpty{}}; }
  static PortState non_full() { return {NonFull{}}; }
  static PortState equals(std::uint64_t n) { return {Equals{n}}; }
  static PortState less_than(std::uint64_t n) { return {LessThan{n}}; }
  static PortState greater_than(std::uint64_t n) { return {GreaterThan{n}}; }
  static PortState equals_or_less_than(std::uint64_t n) { return {EqualsOrLessThan{n}}; }
  static PortState equals_or_greater_than(std::uint64_t n) { return {EqualsOrGreaterThan{n}}; }
  bool operator==(const PortState&) const = default;
};

// "Empty", "Full", "NonEmpty", "NonFull", "Equals(3)", "LessThan(3)", ...
std::string diagnostic(const PortState& s);

struct PacketCount {
  struct All {
    bool operator==(const All&) const = default;
  };
  struct Count {
    std::uint64_t n = 0;
    bool operator==(const Count&) const = default;
  };
  std::variant<All, Count> value;

  static PacketCount all() { return {All{}}; }
  static PacketCount count(std::uint64_t n) { return {Count{n}}; }
  bool operator==(const PacketCount&) const = default;
};

struct MaxSalvos {
  struct Infinite {
    bool operator==(const Infinite&) const = default;
  };
  struct Finite {
    std::uint64_t n = 0;
    bool operator==(const Finite&) const = default;
  };
  std::variant<Infinite, Finite> value;

  static MaxSalvos infinite() { return {Infinite{}}; }
  static MaxSalvos finite(std::uint64_t n) { return {Finite{n}}; }
  bool operator==(const MaxSalvos&) const = default;
};

// "Infinite" or "Finite(n)".
std::string diagnostic(const MaxSalvos& m);

// A heap-allocated value with value semantics: copies are deep.
template <class T>
class Box {
 public:
  explicit Box(T value) : p_(std::make_unique<T>(std::move(value))) {}
  Box(const Box& o) : p_(std::make_unique<T>(*o.p_)) {}
  Box(Box&&) noexcept = default;
  Box& operator=(const Box& o) {
    if (this != &o) p_ = std::make_unique<T>(*o.p_);
    return *this;
  }
  Box& operator=(Box&&) noexcept = default;
  ~Box() = default;
  const T& operator*() const { return *p_; }
  const T* operator->() const { return p_.get(); }
  T& operator*() { return *p_; }
  T* operator->() { return p_.get(); }
  bool operator==(const Box& o) const { return *p_ == *o.p_; }

 private:
  std::unique_ptr<T> p_;
};

// A boolean expression over the packet counts of one side of a node. Each term
// owns its sub-terms. REQUIRES: nesting depth stays within what the stack can
// recurse over (the Python binding bounds it); copy, compare, destroy and
// evaluation all recurse.
struct SalvoConditionTerm {
  struct True {
    bool operator==(const True&) const = default;
  };
  struct False {
    bool operator==(const False&) const = default;
  };
  struct Port {
    std::string port_name;
    PortState state;
    bool operator==(const Port&) const = default;
  };
  struct And {
    std::vector<SalvoConditionTerm> terms;
    bool operator==(const And&) const;
  };
  struct Or {
    std::vector<SalvoConditionTerm> terms;
    bool operator==(const Or&) const;
  };
  struct Not {
    Box<SalvoConditionTerm> inner;
    bool operator==(const Not&) const;
  };
  std::variant<True, False, Port, And, Or, Not> value;

  static SalvoConditionTerm true_() { return {True{}}; }
  static SalvoConditionTerm false_() { return {False{}}; }
  static SalvoConditionTerm port(std::string port_name, PortState state) {
    return {Port{std::move(port_name), state}};
  }
  static SalvoConditionTerm and_(std::vector<SalvoConditionTerm> terms) {
    return {And{std::move(terms)}};
  }
  static SalvoConditionTerm or_(std::vector<SalvoConditionTerm> terms) {
    return {Or{std::move(terms)}};
  }
  static SalvoConditionTerm not_(SalvoConditionTerm inner) {
    return {Not{Box<SalvoConditionTerm>(std::move(inner))}};
  }
  bool operator==(const SalvoConditionTerm&) const = default;
};

struct SalvoCondition {
  MaxSalvos max_salvos = MaxSalvos::infinite();
  NameMap<PacketCount> ports;  // in the order first given
  SalvoConditionTerm term = SalvoConditionTerm::true_();
  bool operator==(const SalvoCondition&) const = default;
};

// A map that keeps its entries in insertion order: a node's salvo conditions
// are tried and listed in the order they were given. Look-ups are linear; a
// node has a handful of conditions.
template <class V>
class OrderedMap {
 public:
  using Entry = std::pair<std::string, V>;

  // Inserts at the end, or replaces the value of an existing key in place.
  void insert_or_assign(std::string key, V value) {
    if (V* v = find(key)) {
      *v = std::move(value);
    } else {
      entries_.emplace_back(std::move(key), std::move(value));
    }
  }
  // Inserts at the end without looking for the key, for callers whose keys
  // are already unique (a Python dict): building stays linear in its size.
  // REQUIRES: `key` is not present.
  void append_unique(std::string key, V value) {
    entries_.emplace_back(std::move(key), std::move(value));
  }
  const V* find(std::string_view key) const {
    for (const Entry& e : entries_) {
      if (e.first == key) return &e.second;
    }
    return nullptr;
  }
  V* find(std::string_view key) {
    for (Entry& e : entries_) {
      if (e.first == key) return &e.second;
    }
    return nullptr;
  }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  bool operator==(const OrderedMap&) const = default;

 private:
  std::vector<Entry> entries_;
};

enum class DependencyRequestTrigger : std::uint8_t { OnStartup = 0, OnNoSalvoTriggered = 1 };

struct DependencyRequestConfig {
  std::vector<DependencyRequestTrigger> triggers;  // in the order given, repeats kept
  std::string label;
  bool has_trigger(DependencyRequestTrigger t) const;
  bool operator==(const DependencyRequestConfig&) const = default;
};

// An optional value kept on the heap: a pointer's width in its holder for a
// value most holders never have (most nodes send no dependency requests).
// Reads like std::optional and copies deeply.
template <class T>
class HeapOptional {
 public:
  HeapOptional() = default;
  HeapOptional(std::nullopt_t) {}
  HeapOptional(T value) : p_(std::make_unique<T>(std::move(value))) {}
  HeapOptional(std::optional<T> value) {
    if (value) p_ = std::make_unique<T>(std::move(*value));
  }
  HeapOptional(const HeapOptional& o) : p_(o.p_ ? std::make_unique<T>(*o.p_) : nullptr) {}
  HeapOptional(HeapOptional&&) noexcept = default;
  HeapOptional& operator=(const HeapOptional& o) {
    if (this != &o) *this = HeapOptional(o);
    return *this;
  }
  HeapOptional& operator=(HeapOptional&&) noexcept = default;
  ~HeapOptional() = default;

  bool has_value() const { return p_ != nullptr; }
  explicit operator bool() const { return p_ != nullptr; }
  const T& operator*() const { return *p_; }
  const T* operator->() const { return p_.get(); }
  T& operator*() { return *p_; }
  T* operator->() { return p_.get(); }
  void reset() { p_.reset(); }
  bool operator==(const HeapOptional& o) const {
    return p_ == nullptr ? o.p_ == nullptr : o.p_ != nullptr && *p_ == *o.p_;
  }

 private:
  std::unique_ptr<T> p_;
};

struct Node {
  std::string name;
  NameMap<vornix::Port> in_ports;   // in the order first given
  NameMap<vornix::Port> out_ports;  // in the order first given
  OrderedMap<SalvoCondition> in_salvo_conditions;
  OrderedMap<SalvoCondition> out_salvo_conditions;
  HeapOptional<DependencyRequestConfig> dependency_request_config;
  bool operator==(const Node&) const = default;
};

}  // namespace vornix

template <>
struct std::hash<vornix::PortType> {
  std::size_t operator()(vornix::PortType t) const noexcept { return vornix::stable_hash(t); }
};
template <>
struct std::hash<vornix::PortRef> {
  std::size_t operator()(const vornix::PortRef& p) const noexcept { return vornix::stable_hash(p); }
};
template <>
struct std::hash<vornix::Edge> {
  std::size_t operator()(const vornix::Edge& e) const noexcept { return vornix::stable_hash(e); }
};
template <>
struct std::hash<vornix::DependencyRequestTrigger> {
  std::size_t operator()(vornix::DependencyRequestTrigger t) const noexcept {
    return static_cast<std::size_t>(t);
  }
};
