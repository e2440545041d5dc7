// Graph elements: the plain value types that describe a network's topology.
//
// Nodes own their ports and salvo conditions; a Graph (graph.hpp) owns nodes
// and edges. Nothing refers to another element by pointer: cross references
// are by name (PortRef, condition names, port names inside terms). Every type
// here is a value: a copy never sees a change made through another (the maps
// of a node made shareable hold one block until one of them changes, see
// EntryTable). Not thread-safe beyond the usual rules for values.
//
//   Node n{.name = "B"};
//   n.in_ports.emplace("in", Port{PortSlotSpec::finite(1)});
//   n.in_salvo_conditions.insert_or_assign("go", SalvoCondition{
//       MaxSalvos::finite(1), {{"in", PacketCount::all()}},
//       SalvoConditionTerm::port("in", PortState::non_empty())});
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
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

namespace elements_detail {

// Up to this many entries a scan is cheaper than hashing a name.
inline constexpr std::size_t kScan = 8;

// The entries of a small map behind a single pointer: one heap block holds
// the count, the capacity, the entries in insertion order and, when
// `Indexed` and the capacity passes kScan, an open-addressing index of
// positions (cells hold position + 1, 0 is empty; at most half are used).
// Graph elements hold many maps of one or two entries, so the holder pays a
// pointer's width and each map one allocation; an empty map allocates
// nothing. E is a pair keyed by a std::string.
//
// Copies are deep and sized to fit, except from a table made shareable
// (share()): its block then carries a count of holders in front of the
// header, and copies hold the same block. A holder about to change a shared
// block takes a copy of its own first, so sharing cannot be seen; only
// pointers into the entries taken before a copy would follow the block, and
// nothing keeps those across a copy. A graph builder shares the maps of a
// node it repeats under many names, which would otherwise cost each copy a
// handful of allocations. The count saturates: a block held by kMaxHolders
// is copied deeply again, into a block of its own.
template <class E, bool Indexed>
class EntryTable {
 public:
  EntryTable() = default;
  EntryTable(const EntryTable& other) {
    if (other.block_ != nullptr && counted(other.block_)) {
      std::atomic<std::uint32_t>& holders = holders_of(other.block_);
      std::uint32_t n = holders.load(std::memory_order_relaxed);
      while (n < kMaxHolders) {
        if (holders.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) {
          block_ = other.block_;
          return;
        }
      }
    }
    copy_from(other.block_);
  }
  EntryTable(EntryTable&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  EntryTable& operator=(EntryTable other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~EntryTable() { release(block_); }

  std::size_t size() const { return block_ == nullptr ? 0 : header(block_)->size; }
  std::size_t capacity() const { return block_ == nullptr ? 0 : capacity_of(block_); }
  E* data() {
    own();
    return block_ == nullptr ? nullptr : entries(block_);
  }
  const E* data() const { return block_ == nullptr ? nullptr : entries(block_); }

  void reserve(std::size_t n) {
    own();
    if (n > capacity()) reallocate(n);
  }

  // Lets later copies hold this table's block rather than copy it.
  void share() {
    if (block_ == nullptr || counted(block_)) return;
    const std::size_t n = size();
    std::byte* shared = allocate(n, true);
    adopt(shared, n);
  }
  // Whether the two hold one block (and so, equal entries in one order).
  bool same_block(const EntryTable& other) const noexcept {
    return block_ != nullptr && block_ == other.block_;
  }

  // The key's place among the entries, or size() when absent.
  std::size_t position(std::string_view key) const {
    const std::size_t n = size();
    if (n == 0) return 0;
    const E* at = entries(block_);
    const std::size_t cells = cell_count(capacity_of(block_));
    if (cells == 0) {
      for (std::size_t i = 0; i < n; ++i) {
        if (at[i].first == key) return i;
      }
      return n;
    }
    const std::uint32_t* index = cells_of(block_);
    for (std::size_t c = hash_of(key) & (cells - 1);; c = (c + 1) & (cells - 1)) {
      if (index[c] == 0) return n;
      if (at[index[c] - 1].first == key) return index[c] - 1;
    }
  }

  // Appends an entry built from `args`, which may refer to an entry already
  // here: it is built before the others move.
  template <class... Args>
  E& emplace_back(Args&&... args) {
    own();
    const std::size_t n = size();
    if (n == capacity()) {
      std::byte* grown = allocate(n == 0 ? 1 : 2 * n);
      try {
        ::new (static_cast<void*>(entries(grown) + n)) E(std::forward<Args>(args)...);
      } catch (...) {
        ::operator delete(grown);
        throw;
      }
      adopt(grown, n);
    } else {
      ::new (static_cast<void*>(entries(block_) + n)) E(std::forward<Args>(args)...);
    }
    ++header(block_)->size;
    if (cell_count(capacity_of(block_)) != 0) place(block_, n);
    return entries(block_)[n];
  }

 private:
  // `capacity` keeps, in its top bit, whether the block is counted: then an
  // atomic count of its holders sits in the word before the header.
  struct Header {
    std::uint32_t size;
    std::uint32_t capacity;
  };
  static constexpr std::uint32_t kCounted = 0x80000000u;
  static constexpr std::uint32_t kMaxHolders = 0xFFFFFFu;
  static constexpr std::size_t kCountBytes = 8;
  static_assert(kCountBytes % alignof(E) == 0 && sizeof(std::atomic<std::uint32_t>) <= kCountBytes);
  static_assert(alignof(E) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__ && sizeof(Header) % alignof(E) == 0);
  static_assert(sizeof(E) % alignof(std::uint32_t) == 0);
  static_assert(std::is_nothrow_move_constructible_v<E>);

  static bool counted(const std::byte* block) { return (header(block)->capacity & kCounted) != 0; }
  static std::size_t capacity_of(const std::byte* block) {
    return header(block)->capacity & ~kCounted;
  }
  static std::atomic<std::uint32_t>& holders_of(const std::byte* block) {
    return *std::launder(
        reinterpret_cast<std::atomic<std::uint32_t>*>(const_cast<std::byte*>(block) - kCountBytes));
  }
  // Before a change: a block held by others is left to them, for a copy.
  void own() {
    if (block_ != nullptr && counted(block_) &&
        holders_of(block_).load(std::memory_order_acquire) != 1) {
      EntryTable mine;
      mine.copy_from(block_);
      std::swap(block_, mine.block_);
    }
  }
  void copy_from(const std::byte* from) {
    const std::size_t n = from == nullptr ? 0 : header(from)->size;
    if (n == 0) return;
    block_ = allocate(n);
    Header* h = header(block_);
    try {
      for (; h->size < n; ++h->size) {
        ::new (static_cast<void*>(entries(block_) + h->size)) E(entries(from)[h->size]);
      }
    } catch (...) {
      release(std::exchange(block_, nullptr));
      throw;
    }
    if (cell_count(n) != 0) {
      for (std::size_t i = 0; i < n; ++i) place(block_, i);
    }
  }

  static std::size_t hash_of(std::string_view key) { return StringHash{}(key); }
  static std::size_t cell_count(std::size_t capacity) {
    if constexpr (Indexed) return capacity > kScan ? std::bit_ceil(2 * capacity) : 0;
    return 0;
  }
  static Header* header(std::byte* block) { return std::launder(reinterpret_cast<Header*>(block)); }
  static const Header* header(const std::byte* block) {
    return std::launder(reinterpret_cast<const Header*>(block));
  }
  static E* entries(std::byte* block) { return reinterpret_cast<E*>(block + sizeof(Header)); }
  static const E* entries(const std::byte* block) {
    return reinterpret_cast<const E*>(block + sizeof(Header));
  }
  static std::uint32_t* cells_of(std::byte* block) {
    return reinterpret_cast<std::uint32_t*>(block + sizeof(Header) +
                                            capacity_of(block) * sizeof(E));
  }
  static const std::uint32_t* cells_of(const std::byte* block) {
    return reinterpret_cast<const std::uint32_t*>(block + sizeof(Header) +
                                                  capacity_of(block) * sizeof(E));
  }

  // A block for `capacity` entries holding none yet, its index cleared;
  // a counted one has one holder.
  static std::byte* allocate(std::size_t capacity, bool count = false) {
    if (capacity > std::numeric_limits<std::uint32_t>::max() / 2) {
      throw std::length_error("map too large");
    }
    const std::size_t cells = cell_count(capacity);
    const std::size_t front = count ? kCountBytes : 0;
    auto* raw = static_cast<std::byte*>(::operator new(
        front + sizeof(Header) + capacity * sizeof(E) + cells * sizeof(std::uint32_t)));
    std::byte* block = raw + front;
    if (count) ::new (static_cast<void*>(raw)) std::atomic<std::uint32_t>(1);
    ::new (static_cast<void*>(block))
        Header{0, static_cast<std::uint32_t>(capacity) | (count ? kCounted : 0)};
    if (cells != 0) std::memset(cells_of(block), 0, cells * sizeof(std::uint32_t));
    return block;
  }
  // Moves the `n` entries here into `grown` and makes it the block.
  void adopt(std::byte* grown, std::size_t n) noexcept {
    if (block_ != nullptr) {
      std::uninitialized_move_n(entries(block_), n, entries(grown));
      release(block_);
    }
    header(grown)->size = static_cast<std::uint32_t>(n);
    block_ = grown;
    if (cell_count(capacity_of(grown)) != 0) {
      for (std::size_t i = 0; i < n; ++i) place(grown, i);
    }
  }
  void reallocate(std::size_t capacity) { adopt(allocate(capacity), size()); }
  static void place(std::byte* block, std::size_t i) {
    std::uint32_t* index = cells_of(block);
    const std::size_t mask = cell_count(capacity_of(block)) - 1;
    std::size_t c = hash_of(entries(block)[i].first) & mask;
    while (index[c] != 0) c = (c + 1) & mask;
    index[c] = static_cast<std::uint32_t>(i + 1);
  }
  static void release(std::byte* block) noexcept {
    if (block == nullptr) return;
    const bool count = counted(block);
    if (count && holders_of(block).fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    std::destroy_n(entries(block), header(block)->size);
    ::operator delete(count ? block - kCountBytes : block);
  }

  std::byte* block_ = nullptr;
};

}  // namespace elements_detail

// A map from names to values for the small maps inside graph elements (a
// node's ports, a salvo condition's ports): the entries sit in the order
// first inserted, behind one pointer, so a map of a few names costs one
// allocation rather than a node per entry and a bucket array. Past a
// handful of entries an index of positions keeps look-ups constant-time, so
// a node with many ports builds and answers in linear time. Equality
// ignores order, as a hash map's does.
template <class V>
class NameMap {
 public:
  using value_type = std::pair<std::string, V>;
  using iterator = value_type*;
  using const_iterator = const value_type*;

  NameMap() = default;
  NameMap(std::initializer_list<value_type> entries) {
    for (const value_type& e : entries) insert_or_assign(e.first, e.second);
  }

  iterator begin() { return entries_.data(); }
  iterator end() { return entries_.data() + entries_.size(); }
  const_iterator begin() const { return entries_.data(); }
  const_iterator end() const { return entries_.data() + entries_.size(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.size() == 0; }
  void reserve(std::size_t n) { entries_.reserve(n); }
  // Lets copies share the entries until one of them changes (see EntryTable).
  void share() { entries_.share(); }
  bool same_block(const NameMap& other) const { return entries_.same_block(other.entries_); }

  iterator find(std::string_view key) { return begin() + entries_.position(key); }
  const_iterator find(std::string_view key) const { return begin() + entries_.position(key); }
  bool contains(std::string_view key) const { return entries_.position(key) != size(); }
  std::size_t count(std::string_view key) const { return contains(key) ? 1 : 0; }

  // Adds the entry unless the key is present; either way the iterator
  // points at the key's entry.
  template <class... Args>
  std::pair<iterator, bool> try_emplace(std::string key, Args&&... args) {
    const std::size_t at = entries_.position(key);
    if (at != size()) return {begin() + at, false};
    value_type& added =
        entries_.emplace_back(std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                              std::forward_as_tuple(std::forward<Args>(args)...));
    return {&added, true};
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
    for (const value_type& e : *this) {
      const auto it = other.find(e.first);
      if (it == other.end() || !(it->second == e.second)) return false;
    }
    return true;
  }

 private:
  elements_detail::EntryTable<value_type, true> entries_;
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

// A name in one word, for names held in large numbers (the port each
// condition term reads): up to seven bytes sit inline, a longer name in a
// heap block of its own. Copies are deep; it reads as a std::string_view,
// whose characters stay put while the name lives.
class PackedName {
 public:
  PackedName() noexcept { bytes_[0] = kInline; }
  explicit PackedName(std::string_view s) {
    if (s.size() < sizeof bytes_) {
      bytes_[0] = static_cast<unsigned char>(s.size() << 1 | kInline);
      if (!s.empty()) std::memcpy(bytes_ + 1, s.data(), s.size());
    } else {
      const std::size_t n = s.size();
      char* block = static_cast<char*>(::operator new(sizeof n + n));
      std::memcpy(block, &n, sizeof n);
      std::memcpy(block + sizeof n, s.data(), n);
      std::memcpy(bytes_, &block, sizeof block);
    }
  }
  PackedName(const PackedName& other) {
    if (other.is_inline()) {
      std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    } else {
      *this = PackedName(other.view());
    }
  }
  PackedName(PackedName&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    std::memset(other.bytes_, 0, sizeof bytes_);
    other.bytes_[0] = kInline;
  }
  PackedName& operator=(PackedName other) noexcept {
    std::swap(bytes_, other.bytes_);
    return *this;
  }
  ~PackedName() {
    if (!is_inline()) ::operator delete(const_cast<char*>(block()));
  }

  std::string_view view() const noexcept {
    if (is_inline()) {
      return {reinterpret_cast<const char*>(bytes_ + 1), static_cast<std::size_t>(bytes_[0] >> 1)};
    }
    const char* at = block();
    std::size_t n;
    std::memcpy(&n, at, sizeof n);
    return {at + sizeof n, n};
  }
  operator std::string_view() const noexcept { return view(); }
  friend bool operator==(const PackedName& a, const PackedName& b) noexcept {
    return a.view() == b.view();
  }

 private:
  // The first byte's low bit tells the forms apart: it is set for an inline
  // name (whose length sits above it) and clear in a block's address, which
  // the allocator aligns.
  static_assert(std::endian::native == std::endian::little);
  static constexpr unsigned char kInline = 1;
  bool is_inline() const noexcept { return (bytes_[0] & kInline) != 0; }
  const char* block() const noexcept {
    const char* at;
    std::memcpy(&at, bytes_, sizeof at);
    return at;
  }

  alignas(void*) unsigned char bytes_[8] = {};
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
    PackedName port_name;
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
  static SalvoConditionTerm port(std::string_view port_name, PortState state) {
    return {Port{PackedName(port_name), state}};
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
// node has a handful of conditions. Behind one pointer, like NameMap.
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
  void reserve(std::size_t n) { entries_.reserve(n); }
  // Lets copies share the entries until one of them changes (see EntryTable).
  void share() { entries_.share(); }
  bool same_block(const OrderedMap& other) const { return entries_.same_block(other.entries_); }
  const V* find(std::string_view key) const {
    const std::size_t at = entries_.position(key);
    return at == size() ? nullptr : &entries_.data()[at].second;
  }
  V* find(std::string_view key) {
    const std::size_t at = entries_.position(key);
    return at == size() ? nullptr : &entries_.data()[at].second;
  }
  const Entry* find_entry(std::string_view key) const {
    const std::size_t at = entries_.position(key);
    return at == size() ? nullptr : entries_.data() + at;
  }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.size() == 0; }
  const Entry* begin() const { return entries_.data(); }
  const Entry* end() const { return entries_.data() + entries_.size(); }
  bool operator==(const OrderedMap& other) const {
    return std::equal(begin(), end(), other.begin(), other.end());
  }

 private:
  elements_detail::EntryTable<Entry, false> entries_;
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

  // Lets copies of this node share its port and condition maps until one of
  // them changes: for a node repeated under many names.
  void share_parts() {
    in_ports.share();
    out_ports.share();
    in_salvo_conditions.share();
    out_salvo_conditions.share();
  }
};

// Equal as a reader sees them: the same entries in the same order, which
// the maps' own == (a look-up per name) does not ask. Maps that share a
// block answer without a walk.
template <class V>
bool same_in_order(const NameMap<V>& a, const NameMap<V>& b) {
  return a.same_block(b) || std::equal(a.begin(), a.end(), b.begin(), b.end());
}
inline bool same_in_order(const OrderedMap<SalvoCondition>& a,
                          const OrderedMap<SalvoCondition>& b) {
  return a.same_block(b) ||
         std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
           const SalvoCondition& c = x.second;
           const SalvoCondition& d = y.second;
           return x.first == y.first && c.max_salvos == d.max_salvos && c.term == d.term &&
                  same_in_order(c.ports, d.ports);
         });
}

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
