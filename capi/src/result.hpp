// The result buffer behind vx_result, and the translation between engine
// values and the plain records of vornix.h (records.cpp).
//
// A result keeps the engine values its records may point into next to the
// record arrays, and clears both at the start of every call: vectors keep
// their capacity, so a loop that reuses one result stops allocating once it
// has seen its largest answer.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "graph/validate.hpp"
#include "names.hpp"
#include "net/state.hpp"
#include "vornix.h"

namespace vornix::capi {

// Malformed input from the caller: becomes VX_BAD_INPUT with this text.
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string_view view_of(vx_str s);  // throws BadInput for a null pointer with a length
inline vx_str str_of(std::string_view s) { return {s.data(), s.size()}; }
inline Ulid ulid_of(vx_id id) { return Ulid::from_parts(id.hi, id.lo); }
inline vx_id id_of(const Ulid& u) { return {u.hi, u.lo}; }

// Sets a record's bytes to zero. A compiler turns `record = {}` (or a
// vector's value-initialized element) of a record this size into `rep
// stos`, whose start-up costs twice the plain stores here: a call writes a
// record per event, and zeroing them that way took about 8% of a host
// loop's hop through this interface. The empty asm keeps the loop from
// being turned back into that memset.
template <class T>
void zero_record(T& record) {
  static_assert(std::is_trivially_copyable_v<T>);
#if defined(__SSE2__)
  auto* bytes = reinterpret_cast<unsigned char*>(&record);
  const __m128i zero = _mm_setzero_si128();
  std::size_t i = 0;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 32
#endif
  for (; i + 16 <= sizeof(T); i += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i), zero);
    __asm__("" : : "r"(bytes));
  }
  for (; i < sizeof(T); ++i) bytes[i] = 0;
#else
  record = T{};
#endif
}

// A vector allocator whose elements, added with no value, are left as they
// come (for records that zero_record then clears).
template <class T>
struct UninitAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitAllocator<U>;
  };
  UninitAllocator() noexcept = default;
  template <class U>
  UninitAllocator(const UninitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* at) noexcept {
    ::new (static_cast<void*>(at)) U;
  }
  template <class U, class... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

template <class T>
using RecordVector = std::vector<T, UninitAllocator<T>>;

// Storage for records that other records point to (an epoch's salvos, a
// salvo's packets): a run of records taken from it never moves, however many
// are taken after it, so a record can point to another's run as soon as the
// run is written. Cleared, it keeps its blocks for the next call; records
// are left as they come, for the caller to write whole.
template <class T>
class RecordArena {
 public:
  // Room for `n` records in a row.
  T* take(std::size_t n) {
    if (static_cast<std::size_t>(end_ - next_) < n) next_block(n);
    T* run = next_;
    next_ += n;
    return run;
  }
  void clear() {
    current_ = 0;
    next_ = first_;
    end_ = first_end_;
  }

 private:
  static constexpr std::size_t kFirstBlock = 16;
  struct Block {
    std::unique_ptr<T[]> records;
    std::size_t size = 0;
  };

  // Moves to the next block with room for `n` (a run is never split), making
  // one twice the size of the last when none is left.
  void next_block(std::size_t n) {
    if (!blocks_.empty()) ++current_;
    while (current_ < blocks_.size() && blocks_[current_].size < n) ++current_;
    if (current_ == blocks_.size()) {
      std::size_t size = blocks_.empty() ? kFirstBlock : 2 * blocks_.back().size;
      if (size < n) size = n;
      blocks_.push_back(Block{std::make_unique_for_overwrite<T[]>(size), size});
      first_ = blocks_[0].records.get();
      first_end_ = first_ + blocks_[0].size;
    }
    next_ = blocks_[current_].records.get();
    end_ = next_ + blocks_[current_].size;
  }

  std::vector<Block> blocks_;
  std::size_t current_ = 0;  // the block runs are taken from, once there is one
  // Where the next run starts in it, and its end: a take reads no block.
  // Before the first block, an empty run points to `none_`, so that a run
  // is never null.
  static inline T none_{};
  T* next_ = &none_;
  T* end_ = &none_;
  T* first_ = &none_;  // the same for the first block, where a call starts
  T* first_end_ = &none_;
};

}  // namespace vornix::capi

struct vx_result {
  vx_view view{};

  // Engine values the records may point into (events, the response,
  // validation errors, texts).
  std::optional<vornix::NetActionResponse> response;
  vornix::EventList events;  // run_until_blocked's, reused between runs
  std::vector<vornix::GraphValidationError> validation;
  std::deque<std::string> texts;  // a deque: growing it moves no string
  std::size_t texts_used = 0;

  // Where the names of a simulation's records go: into its name block when
  // the graph has the name, else to the engine's own copy, or (for a query,
  // whose engine values belong to the simulation) to a text kept here.
  const vornix::capi::NameTable* names = nullptr;
  bool copy_names = false;

  // Records. Those that others point to are taken from arenas, where they
  // never move; no record points into the event array, which may grow as it
  // likes.
  vornix::capi::RecordVector<vx_event> event_records;  // each zeroed as it is added
  vornix::capi::RecordArena<vx_epoch> epoch_records;
  vornix::capi::RecordArena<vx_salvo> salvo_records;
  vornix::capi::RecordArena<vx_salvo_packet> salvo_packets;
  vornix::capi::RecordArena<vx_orphan> orphans;
  vornix::capi::RecordArena<vx_str> strs;
  std::vector<vx_id> ids;
  std::vector<vx_validation_error> validation_records;
  // A graph's records, cleared by the calls that write them (clear() runs
  // for every action, and the view's pointers to these go with it).
  std::vector<vx_edge> edge_records;
  // A node read back: its arrays point into these, its names into the graph.
  vx_node node_record{};
  std::vector<vx_port> port_records;
  std::vector<vx_salvo_condition> condition_records;
  std::vector<vx_port_count> count_records;
  std::vector<vx_term> term_records;
  std::vector<std::uint32_t> trigger_records;
  vx_location location{};
  vx_error error_record{};
  vx_undo_error undo_error{};

  void clear();
  // A text kept until the next call; its characters never move.
  vx_str keep(std::string_view text);
  // Sets the view's arrays once the call has written its records.
  void publish();

  // ---- Engine values into records (records.cpp) ----
  vx_str name(std::string_view s);
  // The same for a shared name, remembered by the name's identity: a
  // simulation's records carry the same few names over and over. Always
  // inline: a found name is a few instructions, fewer than a call's.
  [[gnu::always_inline]] vx_str shared_name(const vornix::Name& n) {
    if (names != nullptr) {
      const vornix::capi::NameTable::SeenName& seen = names->seen(n);
      if (seen.name.identity() == n.identity() && n.made()) return seen.str;
    }
    return remember_name(n);
  }
  vx_str remember_name(const vornix::Name& n);
  const vx_epoch* add_epoch(const vornix::Epoch& epoch);
  const vx_epoch* finished_epoch(const vornix::Epoch& epoch);  // an EpochFinished event's
  void add_events(const vornix::EventList& list);
  void set_response(const vornix::NetActionResponseData& data);
  void set_error(const vornix::NetActionError& error);
  void set_undo_error(const vornix::UndoError& error);
  void set_validation(std::vector<vornix::GraphValidationError> errors);
  // A location's record. The simulation's own ports and edges, met before,
  // are found inline by the shared values they are made of. Always inline:
  // a move's event makes two, and add_events' one body holds every kind.
  [[gnu::always_inline]] void location_record(const vornix::PacketLocation& where,
                                              vx_location& out) {
    using L = vornix::PacketLocation;
    out.kind = static_cast<std::uint32_t>(where.value.index());
    if (const auto* node = std::get_if<L::Node>(&where.value)) {
      out.epoch_id = vornix::capi::id_of(node->epoch_id);
    } else if (const auto* in = std::get_if<L::InputPort>(&where.value)) {
      if (names != nullptr && in->node_name.made() && in->port_name.made()) {
        const vornix::capi::NameTable::SeenPort& seen = names->seen(in->node_name, in->port_name);
        if (seen.node.identity() == in->node_name.identity() &&
            seen.port.identity() == in->port_name.identity()) {
          out.node_name = seen.node_name;
          out.port_name = seen.port_name;
          out.place = seen.place;
          return;
        }
      }
      input_port_record(*in, out);
    } else if (const auto* port = std::get_if<L::OutputPort>(&where.value)) {
      out.epoch_id = vornix::capi::id_of(port->epoch_id);
      out.port_name = shared_name(port->port_name);
    } else if (const auto* edge = std::get_if<L::Edge>(&where.value)) {
      if (names != nullptr && edge->edge.made()) {
        const vornix::capi::NameTable::SeenEdge& seen = names->seen(edge->edge);
        if (seen.edge.identity() == edge->edge.identity()) {
          out.edge = seen.rec;
          out.place = seen.place;
          return;
        }
      }
      edge_record(*edge, out);
    }
  }
  // The same for a port or an edge not met before (or not the graph's).
  void input_port_record(const vornix::PacketLocation::InputPort& p, vx_location& out);
  void edge_record(const vornix::PacketLocation::Edge& e, vx_location& out);
  void set_node(const vornix::Node& node, const vornix::Node* previous);
  // A read-back's edges: edge_records, cleared by the caller, then filled
  // edge by edge, then shown in the view once the array has stopped moving.
  void add_edge(const vornix::Edge& edge);
  void show_edges();
};

namespace vornix::capi {

// ---- Records into engine values (records.cpp); each throws BadInput ----
PortRef port_ref_of(const vx_port_ref& p);
Edge edge_of(const vx_edge& e);
PacketLocation location_of(const vx_location& location);
NetAction action_of(const vx_action& action);
EventList events_of(const vx_event* events, std::size_t count);

}  // namespace vornix::capi
