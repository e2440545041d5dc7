// NetEvent, the change log, and the responses of actions.
//
// Every change the engine makes is one event, listed in the order the changes
// were made; undo reverses them from last to first. Events and responses hold
// copies (snapshots), never references into the state; an epoch's copy is
// held out of line (EpochSnapshot), so an event is a few words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/wall_clock.hpp"
#include "net/errors.hpp"
#include "net/location.hpp"
#include "net/records.hpp"
#include "net/ulid.hpp"

namespace vornix {

enum class RequestCreatedSource : std::uint8_t {
  External = 0,
  OnStartup = 1,
  OnNoSalvoTriggered = 2
};

// "External", "OnStartup", "OnNoSalvoTriggered".
std::string_view to_string(RequestCreatedSource s);

// Milliseconds since the UNIX epoch, read when each event is built. (Kept in
// 64 bits: the wall clock stays far inside that range.)
using Timestamp = std::int64_t;

struct NetEvent {
  struct PacketCreated {
    Timestamp timestamp;
    Ulid packet_id;
  };
  struct PacketConsumed {
    Timestamp timestamp;
    Ulid packet_id;
    PacketLocation location;
  };
  struct PacketDestroyed {
    Timestamp timestamp;
    Ulid packet_id;
    PacketLocation location;
  };
  struct EpochCreated {
    Timestamp timestamp;
    Ulid epoch_id;
  };
  struct EpochStarted {
    Timestamp timestamp;
    Ulid epoch_id;
  };
  struct EpochFinished {
    Timestamp timestamp;
    EpochSnapshot epoch;
  };
  struct EpochCancelled {
    Timestamp timestamp;
    EpochSnapshot epoch;
  };
  struct PacketMoved {
    Timestamp timestamp;
    Ulid packet_id;
    PacketLocation from_location;
    PacketLocation to_location;
    std::uint64_t from_index;
  };
  struct InputSalvoTriggered {
    Timestamp timestamp;
    Ulid epoch_id;
    Name salvo_condition;
  };
  struct OutputSalvoTriggered {
    Timestamp timestamp;
    Ulid epoch_id;
    Name salvo_condition;
  };
  struct PacketOrphaned {
    Timestamp timestamp;
    Ulid packet_id;
    Ulid epoch_id;
    std::string node_name;
    std::string port_name;
    std::string salvo_condition;
  };
  struct RequestCreated {
    Timestamp timestamp;
    std::string node_name;
    std::string label;
    RequestCreatedSource source;
  };
  struct RequestCascadeResolved {
    Timestamp timestamp;
    std::vector<std::string> source_nodes;
    std::string label;
  };
  struct RequestEpochCreated {
    Timestamp timestamp;
    Ulid epoch_id;
    std::string node_name;
    std::string label;
  };

  std::variant<PacketCreated, PacketConsumed, PacketDestroyed, EpochCreated, EpochStarted,
               EpochFinished, EpochCancelled, PacketMoved, InputSalvoTriggered,
               OutputSalvoTriggered, PacketOrphaned, RequestCreated, RequestCascadeResolved,
               RequestEpochCreated>
      value;

  // The kind's name, e.g. "PacketMoved".
  std::string_view kind_name() const;
};

// The allocator of event lists. Nearly every action records one or two
// events, so a plain vector would make and free a heap block per action,
// which costs more than the rest of a packet hop. Freed blocks of a few
// events are kept, per thread, for the next list of the same capacity; the
// rest go to the heap as usual. A block may be freed on another thread than
// the one that made it: it is then kept by that thread.
struct EventListAllocator {
  using value_type = NetEvent;
  using is_always_equal = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;
  // Lists hold nothing else, so only the event allocator is ever asked for.
  template <class U>
  struct rebind {
    static_assert(std::is_same_v<U, NetEvent>);
    using other = EventListAllocator;
  };
  EventListAllocator() noexcept = default;
  NetEvent* allocate(std::size_t n);
  void deallocate(NetEvent* p, std::size_t n) noexcept;
  friend bool operator==(const EventListAllocator&, const EventListAllocator&) { return true; }
};

// The events of an action, in the order the changes were made.
using EventList = std::vector<NetEvent, EventListAllocator>;

// Every kind's name, in the order of NetEvent::value's alternatives: the one
// place the names are written.
inline constexpr std::array<std::string_view, 14> kEventKindNames = {
    "PacketCreated",          "PacketConsumed",       "PacketDestroyed", "EpochCreated",
    "EpochStarted",           "EpochFinished",        "EpochCancelled",  "PacketMoved",
    "InputSalvoTriggered",    "OutputSalvoTriggered", "PacketOrphaned",  "RequestCreated",
    "RequestCascadeResolved", "RequestEpochCreated",
};
static_assert(kEventKindNames.size() == std::variant_size_v<decltype(NetEvent::value)>);

inline std::string_view NetEvent::kind_name() const { return kEventKindNames[value.index()]; }

// Hands a value to an initialization by its conversion, so the value is
// built straight into the member it initializes: neither moved nor first
// built empty and then replaced.
template <class Make>
struct BuiltBy {
  Make make;
  operator std::invoke_result_t<Make&>() { return make(); }
};
template <class Make>
BuiltBy(Make) -> BuiltBy<Make>;

// Appends an event of kind E stamped with the current wall clock, built in
// place (no event value is moved), and returns it; fields not given keep
// their defaults. E.g. emit<NetEvent::EpochStarted>(events, id).
template <class E, class... Fields>
E& emit(EventList& events, Fields&&... fields) {
  using Value = decltype(NetEvent::value);
  NetEvent& event = events.emplace_back(BuiltBy{[&] {
    return Value(std::in_place_type<E>, wall_clock_ms(), std::forward<Fields>(fields)...);
  }});
  return *std::get_if<E>(&event.value);
}

struct NetActionResponseData {
  struct StepResult {
    bool made_progress = false;
  };
  struct Packet {
    Ulid packet_id;
  };
  struct CreatedEpoch {
    EpochSnapshot epoch;
  };
  struct StartedEpoch {
    EpochSnapshot epoch;
  };
  struct FinishedEpoch {
    EpochSnapshot epoch;
  };
  struct CancelledEpoch {
    EpochSnapshot epoch;
    std::vector<Ulid> destroyed_packets;
  };
  struct Empty {};
  std::variant<StepResult, Packet, CreatedEpoch, StartedEpoch, FinishedEpoch, CancelledEpoch, Empty>
      value;
};

struct NetActionResponse {
  struct Success {
    NetActionResponseData data;
    EventList events;
  };
  struct Error {
    NetActionError error;
    // Empty for every refused action. A run step that fails while resolving
    // requests keeps the changes it already made; their events are kept here
    // so the change log stays complete and those changes can be undone.
    EventList events;
  };
  std::variant<Success, Error> value;

  bool ok() const { return value.index() == 0; }
  const Success& success() const { return std::get<Success>(value); }
  const Error& failure() const { return std::get<Error>(value); }
};

}  // namespace vornix
