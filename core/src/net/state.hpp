// NetSim: the runtime state of one flow-based network over a private graph.
//
// Owns a copy of its Graph (never changed), every packet and its location,
// the live epochs, the queued requests and the bookkeeping of automatic
// requests. All changes go through do_action (the actions and the run step),
// run_until_blocked and undo_action; every change is reported as a NetEvent.
// Refusals are returned (NetActionError, UndoError); a broken invariant throws
// InternalError. Not thread-safe: one caller at a time.
//
//   NetSim sim(std::move(graph));           // throws InternalError if invalid
//   NetActionResponse r = sim.do_action({NetAction::CreatePacket{}});
//   if (r.ok()) { ... r.success().events ... }
//   std::vector<NetEvent> more = sim.run_until_blocked();
//
// Cost model: a run step, is_blocked and every action cost in proportion to
// the packets and locations they touch. The sim keeps indexes of the
// non-empty edge and input-port locations, of the nodes with OnStartup
// triggers and of the dependency edges by target node, so nothing scans every
// location, node or epoch.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/result.hpp"
#include "graph/graph.hpp"
#include "net/actions.hpp"
#include "net/errors.hpp"
#include "net/events.hpp"
#include "net/location.hpp"
#include "net/records.hpp"

namespace vornix {

// The packets at one location, in arrival order. Appending puts an id last;
// erasing keeps the order of the others. Membership is a hash look-up;
// positions are found by a scan from the front, where nearly every removal
// happens (edges and ports are queues).
class PacketQueue {
 public:
  bool empty() const { return order_.empty(); }
  std::size_t size() const { return order_.size(); }
  bool contains(const Ulid& id) const { return members_.contains(id); }
  // REQUIRES: !contains(id).
  void push_back(const Ulid& id);
  // REQUIRES: !contains(id) and index <= size().
  void insert_at(std::size_t index, const Ulid& id);
  // Removes `id`, keeping the order of the others; false when absent.
  bool erase(const Ulid& id);
  std::optional<std::size_t> index_of(const Ulid& id) const;
  // REQUIRES: !empty().
  const Ulid& front() const { return order_.front(); }
  auto begin() const { return order_.begin(); }
  auto end() const { return order_.end(); }
  std::vector<Ulid> to_vector() const { return {order_.begin(), order_.end()}; }

 private:
  std::deque<Ulid> order_;
  std::unordered_set<Ulid> members_;
};

class NetSim {
 public:
  // Validates `graph`; on any validation error throws InternalError
  // "Cannot create NetSim with invalid graph:\n  - " + messages joined by "\n  - ".
  explicit NetSim(Graph graph);

  // ---- Queries (never fail) ----
  const Graph& graph() const { return graph_; }
  const Packet* get_packet(const Ulid& id) const;
  const Epoch* get_epoch(const Ulid& id) const;
  // 0 / empty when the location has no entry.
  std::uint64_t packet_count_at(const PacketLocation& location) const;
  std::vector<Ulid> get_packets_at_location(const PacketLocation& location) const;
  std::vector<Ulid> get_startable_epochs() const;  // unspecified order

  // ---- Operations ----
  NetActionResponse do_action(const NetAction& action);
  NetActionResponse run_step();
  bool is_blocked() const;
  // Runs steps until is_blocked(); a failed step's events are kept too.
  std::vector<NetEvent> run_until_blocked();
  // Reverses `events` from last to first; not transactional.
  Status<UndoError> undo_action(const NetAction& action, const std::vector<NetEvent>& events);

  // ---- Primitives shared by the step, the actions and undo ----
  // Moves a packet to the end of `to`. No checks beyond the invariants
  // (violations throw InternalError).
  void move_packet(const Ulid& packet_id, const PacketLocation& to);
  // Sets the token of a node whose config has an OnNoSalvoTriggered trigger;
  // does nothing for any other name.
  void set_request_token(std::string_view node_name, bool value);

  // ---- Inspection (tests, tools) ----
  const std::unordered_map<Ulid, Packet>& packets() const { return packets_; }
  const std::unordered_map<Ulid, Epoch>& epochs() const { return epochs_; }
  const std::unordered_set<Ulid>& startable_epochs() const { return startable_epochs_; }
  const StringMap<std::vector<Ulid>>& epochs_by_node() const { return epochs_by_node_; }
  const std::vector<PendingRequest>& pending_requests() const { return pending_requests_; }
  const StringMap<bool>& request_tokens() const { return request_tokens_; }
  bool startup_requests_emitted() const { return startup_requests_emitted_; }
  bool has_location_entry(const PacketLocation& location) const {
    return packets_by_location_.contains(location);
  }
  std::size_t location_entry_count() const { return packets_by_location_.size(); }
  // Throws InternalError naming the first broken invariant (every packet in
  // exactly its location's queue, queues hold only live packets, epoch
  // locations exist, startable set matches states, indexes match queues).
  // Costs O(total state): for tests.
  void check_invariants() const;

 private:
  // ---- Location entries; these keep the non-empty indexes in step ----
  const PacketQueue* queue_at(const PacketLocation& location) const;
  // Creates an empty entry if the location has none.
  PacketQueue& ensure_queue(const PacketLocation& location);
  // Creates an empty entry, replacing (and emptying) an existing one.
  void reset_queue(const PacketLocation& location);
  // Removes the entry with whatever it holds (packets are not touched).
  void remove_queue(const PacketLocation& location);
  void queue_push_back(const PacketLocation& location, const Ulid& id);
  // Inserts at min(index, size).
  void queue_insert_at(const PacketLocation& location, std::size_t index, const Ulid& id);
  // False when the location has no entry or does not hold the id.
  bool queue_erase(const PacketLocation& location, const Ulid& id);
  void note_queue_state(const PacketLocation& location, bool non_empty);
  // Empty Node(id) entry, then one OutputPort(id, p) per output port of the node.
  void create_epoch_locations(const Ulid& epoch_id, const Node& node);
  void remove_epoch_locations(const Ulid& epoch_id, const Node* node);
  // Stores a new startable epoch and indexes it (startable set, per node list).
  void insert_startable_epoch(Epoch epoch);

  // ---- Run step internals (step.cpp, blocked.cpp) ----
  // Packets now waiting at each declared input port of `node` (0 when none).
  StringMap<std::uint64_t> input_packet_counts(const Node& node) const;
  // The first input salvo condition of `node` (insertion order) whose term
  // holds now; nullptr when none does.
  const OrderedMap<SalvoCondition>::Entry* first_holding_input_condition(const Node& node) const;
  // Whether `port` (the target of an edge) can take one more packet now.
  bool input_port_has_room(const PortRef& target, const Port& port) const;
  // Distinct names of the nodes with packets waiting at an input port.
  std::vector<std::string> nodes_with_waiting_packets() const;
  // Each helper below performs one phase of run_step and appends the events
  // of its changes, in change order; the bool is whether it made progress.
  bool move_along_edges(std::vector<NetEvent>& events);
  bool try_trigger_input_salvo(const Node& node, std::vector<NetEvent>& events);
  void issue_startup_requests(std::vector<NetEvent>& events);
  void issue_no_salvo_requests(const std::vector<std::string>& waiting,
                               const std::vector<bool>& fired, std::vector<NetEvent>& events);
  Result<bool, NetActionError> resolve_requests(std::vector<NetEvent>& events);

  // ---- Action internals (actions.cpp, transport.cpp) ----
  // Each runs every check of its action before its first change.
  NetActionResponse create_packet(const NetAction::CreatePacket& action);
  NetActionResponse remove_packet(const Ulid& packet_id, bool consumed);
  NetActionResponse create_epoch(const NetAction::CreateEpoch& action);
  NetActionResponse start_epoch(const Ulid& epoch_id);
  NetActionResponse finish_epoch(const Ulid& epoch_id);
  NetActionResponse cancel_epoch(const Ulid& epoch_id);
  NetActionResponse load_packet_into_output_port(const NetAction::LoadPacketIntoOutputPort& action);
  NetActionResponse send_output_salvo(const NetAction::SendOutputSalvo& action);
  NetActionResponse transport_packet(const NetAction::TransportPacketToLocation& action);
  // The refusal for a transport into `destination`, if any.
  std::optional<NetActionResponse> check_transport_destination(
      const Ulid& packet_id, const PacketLocation& destination) const;
  NetActionResponse create_request(const NetAction::CreateRequest& action);
  // Takes a removed epoch's id out of its node's list (the key stays).
  void unlist_epoch(const std::string& node_name, const Ulid& epoch_id);

  // ---- Undo internals (undo.cpp) ----
  // Puts a removed packet back at the end of `location`.
  Status<UndoError> recreate_packet(const Ulid& packet_id, const PacketLocation& location);
  Status<UndoError> undo_event(const NetAction& action, const NetEvent& event);
  Status<UndoError> undo_epoch_created(const Ulid& epoch_id);
  Status<UndoError> undo_epoch_removed(const Epoch& epoch);
  Status<UndoError> undo_packet_moved(const NetEvent::PacketMoved& event);
  Status<UndoError> undo_packet_orphaned(const NetEvent::PacketOrphaned& event);
  // NotFound when `location` belongs to an epoch that does not exist.
  Status<UndoError> require_live_owner(const PacketLocation& location) const;

  Graph graph_;
  std::unordered_map<Ulid, Packet> packets_;
  std::unordered_map<PacketLocation, PacketQueue> packets_by_location_;
  std::unordered_map<Ulid, Epoch> epochs_;
  std::unordered_set<Ulid> startable_epochs_;
  StringMap<std::vector<Ulid>> epochs_by_node_;
  std::vector<PendingRequest> pending_requests_;
  StringMap<bool> request_tokens_;
  bool startup_requests_emitted_ = false;

  // Derived indexes.
  std::unordered_set<PacketLocation> nonempty_edges_;        // Edge locations holding packets
  std::unordered_set<PacketLocation> nonempty_input_ports_;  // InputPort locations holding packets
  std::vector<std::string> startup_nodes_;  // nodes whose config lists OnStartup
  StringMap<std::vector<PortRef>> dependency_targets_by_node_;  // dependency edge targets
};

}  // namespace vornix
