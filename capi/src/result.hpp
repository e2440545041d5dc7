// The result buffer behind vx_result, and the translation between engine
// values and the plain records of vornix.h (records.cpp).
//
// A result keeps the engine values its records point into (events, the
// response, validation errors, texts) next to the record arrays, and clears
// both at the start of every call: vectors keep their capacity, so a loop
// that reuses one result stops allocating once it has seen its largest answer.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "graph/validate.hpp"
#include "net/state.hpp"
#include "vornix.h"

namespace vornix::capi {

// Malformed input from the caller: becomes VX_BAD_INPUT with this text.
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string_view view_of(vx_str s);  // throws BadInput for a null pointer with a length
vx_str str_of(std::string_view s);
Ulid ulid_of(vx_id id);
vx_id id_of(const Ulid& u);

}  // namespace vornix::capi

struct vx_result {
  vx_view view{};

  // Engine values the records point into.
  std::optional<vornix::NetActionResponse> response;
  vornix::EventList events;              // run_until_blocked's, reused between runs
  std::optional<vornix::Epoch> epoch;    // get_epoch's copy
  std::optional<vornix::Packet> packet;  // get_packet's copy
  std::vector<vornix::GraphValidationError> validation;
  std::deque<std::string> texts;  // a deque: growing it moves no string
  std::size_t texts_used = 0;

  // Records, linked into each other by clear-time indices (see link()).
  std::vector<vx_event> event_records;
  std::vector<vx_epoch> epoch_records;
  std::vector<vx_salvo> salvo_records;
  std::vector<vx_salvo_packet> salvo_packets;
  std::vector<vx_orphan> orphans;
  std::vector<vx_str> strs;
  std::vector<vx_id> ids;
  std::vector<vx_validation_error> validation_records;
  vx_location location{};
  vx_error error_record{};
  vx_undo_error undo_error{};

  // Positions recorded while filling, turned into pointers by link() once
  // no array can grow any more.
  static constexpr std::size_t kNone = ~std::size_t{0};
  struct EpochLink {
    std::size_t in_packets;
    std::size_t out_salvos;
    std::size_t orphans;
  };
  struct EventLink {
    std::size_t epoch;
    std::size_t strs;
  };
  std::vector<EpochLink> epoch_links;
  std::vector<std::size_t> salvo_links;  // first packet of each salvo
  std::vector<EventLink> event_links;
  std::size_t response_epoch = kNone;

  void clear();
  // A text kept until the next call; its characters never move.
  vx_str keep(std::string text);
  void link();

  // ---- Engine values into records (records.cpp) ----
  std::size_t add_epoch(const vornix::Epoch& epoch);
  void add_events(const vornix::EventList& list);
  void set_response(const vornix::NetActionResponseData& data);
  void set_error(const vornix::NetActionError& error);
  void set_undo_error(const vornix::UndoError& error);
  void set_validation(std::vector<vornix::GraphValidationError> errors);
  vx_location location_record(const vornix::PacketLocation& where) const;
};

namespace vornix::capi {

// ---- Records into engine values (records.cpp); each throws BadInput ----
PortRef port_ref_of(const vx_port_ref& p);
Edge edge_of(const vx_edge& e);
PacketLocation location_of(const vx_location& location);
NetAction action_of(const vx_action& action);
EventList events_of(const vx_event* events, std::size_t count);

}  // namespace vornix::capi
