// NetSim: the runtime state of one flow-based network over a graph.
//
// Shares its Graph, which no one can change, with whoever else holds it
// (other sims, the Python Graph); owns every packet and its location,
// the live epochs, the queued requests and the bookkeeping of automatic
// requests. All changes go through do_action (the actions and the run step),
// run_until_blocked and undo_action; every change is reported as a NetEvent.
// Refusals are returned (NetActionError, UndoError); a broken invariant throws
// InternalError. Not thread-safe: one caller at a time.
//
//   NetSim sim(std::move(graph));           // throws InternalError if invalid
//   NetActionResponse r = sim.do_action({NetAction::CreatePacket{}});
//   if (r.ok()) { ... r.success().events ... }
//   EventList more = sim.run_until_blocked();
//
// Layout. Construction interns the graph: nodes get dense indices in the
// order the graph was given them, input ports in node order and then by port
// name, output ports likewise, edges in the order of their target ports (and,
// into one port, the order the graph lists them). A location is then a small
// value (kind, index, epoch id) and every queue sits in a vector slot or in
// its epoch's record; names and string hashing appear only where locations
// cross the boundary (actions in, events out).
//
// Cost model: a run step does work only for edges whose front packet may move
// (the edge gained a packet or its target port regained room) and for nodes
// whose input ports or request token changed since they were last tried;
// is_blocked asks the same worklists. The walks that are otherwise left
// unordered go in index order: edge moves by edge index, nodes by node index,
// output ports by name. Taking a packet from anywhere in a queue, finishing
// or cancelling an epoch and undoing one event cost O(log n) or O(1)
// amortized, whatever else waits.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/index_table.hpp"
#include "base/result.hpp"
#include "base/slot_chunks.hpp"
#include "graph/graph.hpp"
#include "net/actions.hpp"
#include "net/compiled_condition.hpp"
#include "net/errors.hpp"
#include "net/events.hpp"
#include "net/location.hpp"
#include "net/packet_queue.hpp"
#include "net/packet_table.hpp"
#include "net/records.hpp"
#include "net/ulid_index.hpp"

namespace vornix {

class NetSim {
 public:
  // Validates `graph`; on any validation error throws InternalError
  // "Cannot create NetSim with invalid graph:\n  - " + messages joined by "\n  - ".
  explicit NetSim(Graph graph);
  // The same over a graph shared with its other holders.
  explicit NetSim(std::shared_ptr<const Graph> graph);
  NetSim(NetSim&&) noexcept = default;
  NetSim& operator=(NetSim&&) noexcept = default;
  NetSim(const NetSim&) = delete;
  NetSim& operator=(const NetSim&) = delete;
  ~NetSim();

  // ---- Queries (never fail) ----
  const Graph& graph() const { return *graph_; }
  const std::shared_ptr<const Graph>& shared_graph() const { return graph_; }
  std::optional<Packet> get_packet(const Ulid& id) const;
  const Epoch* get_epoch(const Ulid& id) const;
  // 0 / empty when the location has no entry.
  std::uint64_t packet_count_at(const PacketLocation& location) const;
  std::vector<Ulid> get_packets_at_location(const PacketLocation& location) const;
  std::vector<Ulid> get_startable_epochs() const;  // unspecified order

  // ---- Operations ----
  NetActionResponse do_action(const NetAction& action);
  NetActionResponse run_step();
  // Logically const: it may take edges and nodes that cannot act off the
  // worklists, which a step would do too, so that asking again costs O(1).
  bool is_blocked() const;
  // Runs steps until is_blocked(), or until a step that could not change the
  // flow (the next would repeat it forever); a failed step's events are kept
  // too. `interrupted` is asked before every step: when it answers true the
  // run ends there. Appends every event to `events`; returns false when
  // interrupted.
  bool run_until_blocked(EventList& events, const std::function<bool()>& interrupted);
  EventList run_until_blocked();
  // Reverses `events` from last to first; not transactional.
  Status<UndoError> undo_action(const NetAction& action, const EventList& events);

  // ---- Primitives shared by the step, the actions and undo ----
  // Moves a packet to the end of `to`. No checks beyond the invariants
  // (violations throw InternalError).
  void move_packet(const Ulid& packet_id, const PacketLocation& to);
  // Sets the token of a node whose config has an OnNoSalvoTriggered trigger;
  // does nothing for any other name.
  void set_request_token(std::string_view node_name, bool value);

  // ---- Test support: inspection and invariant checks (inspection.cpp, invariants.cpp) ----
  // Each builds its answer from the whole state, so none belongs on a hot
  // path. They let tests compare the sim with a reference model field by
  // field, which is why the model's observable bookkeeping (which nodes have
  // an epoch-list key, tokens undo set for names outside the graph) is kept
  // in the state even though no action reads it.
  std::vector<Packet> packets() const;  // unspecified order
  std::unordered_map<Ulid, Epoch> epochs() const;
  std::unordered_set<Ulid> startable_epochs() const;
  StringMap<std::vector<Ulid>> epochs_by_node() const;
  const std::vector<PendingRequest>& pending_requests() const { return pending_requests_; }
  StringMap<bool> request_tokens() const;
  bool startup_requests_emitted() const { return startup_requests_emitted_; }
  bool has_location_entry(const PacketLocation& location) const {
    return find_loc(location).has_value();
  }
  std::size_t location_entry_count() const;
  // The entries that the packet queues of locations and the epoch lists
  // have room for, summed: it follows what the sim holds now, not the most
  // it ever held. (Free epoch slots are a pool the size of the most epochs
  // ever live at once; each keeps a short queue for its next epoch.)
  std::size_t room() const;
  // Throws InternalError naming the first broken invariant: every packet in
  // exactly its location's queue at its recorded slot, queues internally
  // consistent, epoch records and lists in step, the startable set matching
  // the states, and the worklists holding every edge and node that a step
  // could act on. Costs O(total state): for tests.
  void check_invariants() const;

 private:
  using Index = std::uint32_t;
  static constexpr Index kNone = 0xFFFFFFFFu;
  static constexpr std::uint64_t kUnbounded = ~std::uint64_t{0};
  static_assert(CompiledCondition::kNoPort == kNone && CompiledCondition::kNoBound == kUnbounded);

  // A location inside this sim. `index` is the input port or edge index for
  // those kinds and the output port's position within its node's ports for
  // OutputPort; `epoch` is set for Node and OutputPort.
  enum class Kind : std::uint8_t { Node, InputPort, OutputPort, Edge, OutsideNet };
  struct Loc {
    Kind kind = Kind::OutsideNet;
    Index index = 0;
    Ulid epoch;
    bool operator==(const Loc&) const = default;
  };
  struct PacketRec {
    Loc loc;
    PacketQueue::Slot slot = 0;
    std::uint32_t handle = 0;  // its slot in packets_, which its queue keeps beside its id
  };
  // Where a node stands on the worklists. Parked: it cannot fire, but it
  // waits with a no-salvo request to make, which only a step issues and
  // is_blocked does not look at (see ask_work_).
  enum class Work : std::uint8_t { Off, Listed, Parked };
  struct NodeInfo {
    const Node* node = nullptr;
    bool startup = false;    // its config lists OnStartup
    bool no_salvo = false;   // its config lists OnNoSalvoTriggered
    std::uint8_t token = 0;  // request token: 0 no entry, 1 false, 2 true
    mutable Work queued = Work::Off;
    mutable bool on_ask_list = false;  // has an entry in ask_work_
  };
  struct InPortInfo {
    const std::string* name = nullptr;
    std::uint64_t capacity = kUnbounded;
    Index node = 0;
    Index edges_begin = 0;               // the first edge ending here; edges are grouped by target
    std::unique_ptr<PacketQueue> queue;  // made on first arrival
  };
  struct EdgeInfo {
    const Edge* edge = nullptr;
    Index target = 0;             // input port index
    mutable bool queued = false;  // in edge_work_
    std::unique_ptr<PacketQueue> queue;
  };
  struct OutPortInfo {
    const std::string* name = nullptr;
    std::uint64_t capacity = kUnbounded;
    Index edge = kNone;  // the edge leaving the port, if any
  };
  struct EpochList;
  // One live epoch in a dense slot, aligned to a cache line. What a start,
  // a finish or a cancel reads comes first and together: the id, the epoch
  // (held apart, to be shared with snapshots), the bookkeeping and the
  // inside queue's count. The output queues, which the count out_held
  // answers for when they are empty, come last. A freed slot keeps its
  // queues' storage, and its epoch's unless a snapshot still holds it, for
  // the next epoch.
  struct alignas(64) EpochRec {
    Ulid id;                      // the epoch's, beside it for the index
    LiveEpoch epoch;              // shared with the snapshots taken since it last changed
    Index node = 0;               // node index, or a foreign-name index
    Index slot = 0;               // its own slot
    std::uint32_t list_pos = 0;   // position in its node's epoch list
    Index startable_pos = kNone;  // position in startable_, kNone unless startable
    std::uint32_t out_held = 0;   // packets loaded into its output ports
    EpochList* list = nullptr;    // its node's list (map nodes do not move); null when free
    PacketQueue inside;
    std::vector<PacketQueue> out;  // one per output port of the node
    bool live() const { return list != nullptr; }
  };
  // A node's live epochs in creation order; removal marks the entry dead.
  struct EpochList {
    struct Entry {
      Ulid id;
      bool live;
    };
    std::vector<Entry> entries;
    std::size_t live = 0;
    // Kept only so that epochs_by_node (test support) can list a node whose
    // epochs all finished, as the reference model does: one byte, no reads.
    bool keyed = false;  // the node's key exists
  };

  // ---- Interning (intern.cpp) ----
  // Interns the validated graph; false when the graph contradicts what
  // validation vouched for (a fault: the tables are incomplete).
  bool intern();
  struct PlacedEdge;
  std::vector<Index> intern_nodes();
  bool place_edges(std::vector<PlacedEdge>& placed);
  void order_edges(std::vector<PlacedEdge> placed);
  bool intern_dependencies(const std::vector<Index>& configured);

  // ---- Look-ups and location conversion (lookups.cpp) ----
  Index node_index(std::string_view name) const;
  // The first node in the probe of hash `h` whose tag matches, kNone when
  // the probe ends first; the caller compares the name.
  Index node_candidate(std::uint64_t h) const;
  static constexpr std::size_t kBlock = 32;  // look-ups prefetched together
  Index edge_index(const Edge& edge) const;
  Index in_port_index(Index node, std::string_view port) const;  // kNone when undeclared
  Index out_port_position(Index node, std::string_view port) const;
  bool known_node(Index node) const { return node < nodes_.size(); }
  const std::string& node_name_of(Index node) const;
  // The node index of a name, making a foreign index for a name outside the graph.
  Index node_index_or_foreign(const std::string& name);
  Index out_begin(Index node) const { return known_node(node) ? out_begin_[node] : 0; }
  Index out_count(Index node) const {
    return known_node(node) ? out_begin_[node + 1] - out_begin_[node] : 0;
  }
  // The location's entry, or nothing when it has none.
  std::optional<Loc> find_loc(const PacketLocation& location) const;
  PacketLocation location_of(const Loc& loc) const { return location_of(loc, epoch_of(loc)); }
  // The same, given the epoch of `loc` (see epoch_of).
  PacketLocation location_of(const Loc& loc, const EpochRec* owner) const;
  // Writes the public form of `loc` into `out` in place.
  void write_location(const Loc& loc, PacketLocation& out) const;
  // The shared names and edges public locations carry, made on first use.
  // Every move names two places, so the look-up of one already made is
  // inline; making one is not.
  template <class T>
  static const Shared<T>* made_at(const std::vector<Shared<T>>& cache, Index i) {
    return i < cache.size() && cache[i].made() ? &cache[i] : nullptr;
  }
  const Name& shared_node_name(Index node) const {
    const Name* made = made_at(node_names_, node);
    return made != nullptr ? *made : make_node_name(node);
  }
  const Name& shared_in_port_name(Index port) const {
    const Name* made = made_at(in_port_names_, port);
    return made != nullptr ? *made : make_in_port_name(port);
  }
  const Name& shared_out_port_name(Index port) const {  // index into out_ports_
    const Name* made = made_at(out_port_names_, port);
    return made != nullptr ? *made : make_out_port_name(port);
  }
  const Shared<Edge>& shared_edge(Index edge) const {
    const Shared<Edge>* made = made_at(edge_values_, edge);
    return made != nullptr ? *made : make_edge_value(edge);
  }
  // location_of when a name or edge it needs is yet to be made: makes them,
  // then builds the location.
  PacketLocation location_making_names(const Loc& loc, const EpochRec* owner) const;
  const Name& make_node_name(Index node) const;
  const Name& make_in_port_name(Index port) const;
  const Name& make_out_port_name(Index port) const;
  const Shared<Edge>& make_edge_value(Index edge) const;

  // ---- Queues; these keep the worklists in step (queues.cpp) ----
  // queue_for_push, push_into, pop_from, after_removal and after_arrival are
  // for queues.cpp alone, which defines them inline: a packet's move then
  // compiles to one function, with no call per step of it.

  // The record of the epoch that a Node or OutputPort location belongs to;
  // nullptr for the other kinds and when the epoch has none. A move finds
  // each end's epoch once and hands it to the steps below that need it.
  const EpochRec* epoch_of(const Loc& loc) const {
    return loc.kind == Kind::Node || loc.kind == Kind::OutputPort ? find_epoch(loc.epoch) : nullptr;
  }
  EpochRec* epoch_of(const Loc& loc) {
    return const_cast<EpochRec*>(std::as_const(*this).epoch_of(loc));
  }
  // The queue at `loc`, whose epoch (if it is an epoch's place) is `owner`;
  // nullptr when it has no entry or was never used. Inline too: every move
  // and count starts here.
  const PacketQueue* queue_of(const Loc& loc, const EpochRec* owner) const {
    switch (loc.kind) {
      case Kind::InputPort: return in_ports_[loc.index].queue.get();
      case Kind::Edge: return edges_[loc.index].queue.get();
      case Kind::OutsideNet: return &outside_;
      case Kind::Node: return owner == nullptr ? nullptr : &owner->inside;
      case Kind::OutputPort:
        if (owner == nullptr || loc.index >= owner->out.size()) return nullptr;
        return &owner->out[loc.index];
    }
    return nullptr;
  }
  const PacketQueue* queue_of(const Loc& loc) const { return queue_of(loc, epoch_of(loc)); }
  PacketQueue* queue_of(const Loc& loc, EpochRec* owner) {
    return const_cast<PacketQueue*>(std::as_const(*this).queue_of(loc, owner));
  }
  PacketQueue* queue_of(const Loc& loc) { return queue_of(loc, epoch_of(loc)); }
  PacketQueue& queue_for_push(const Loc& loc, EpochRec* owner);
  std::size_t count_at(const Loc& loc) const {
    const PacketQueue* q = queue_of(loc);
    return q ? q->size() : 0;
  }
  // Appends `id` at `loc` and records the slot in `rec`.
  void push_packet(const Ulid& id, PacketRec& rec, const Loc& loc);
  // The same, given the epoch of `loc` (see epoch_of).
  void push_into(const Ulid& id, PacketRec& rec, const Loc& loc, EpochRec* owner);
  // Takes the packet out of its queue (rec.loc stays as it was).
  void pop_packet(const PacketRec& rec);
  // The same, given the queue of rec.loc and its epoch (see epoch_of).
  void pop_from(const PacketRec& rec, PacketQueue& queue, EpochRec* owner);
  // Puts `id` at position `index` of `loc`.
  void insert_packet(const Ulid& id, PacketRec& rec, const Loc& loc, std::size_t index);
  void renumber(PacketQueue& queue);
  void after_removal(const Loc& loc, PacketQueue& queue, std::size_t before);
  void after_arrival(const Loc& loc);
  // Moves a packet to the end of `to`.
  void relocate(const Ulid& id, PacketRec& rec, const Loc& to);
  // Moves a packet and records PacketMoved with the position it left.
  void move_recorded(const Ulid& id, PacketRec& rec, const Loc& to, EventList& events);
  void queue_edge(Index edge);
  void queue_node(Index node);

  // ---- Epoch records (dense slots in fixed chunks, so references stay valid) ----
  // (epoch_table.cpp, which states the table's invariant)
  EpochRec& slot_at(Index slot) { return epoch_slots_[slot]; }
  const EpochRec& slot_at(Index slot) const { return epoch_slots_[slot]; }
  // The index keeps no keys: a slot's own record holds its id.
  auto slot_id() const {
    return [this](Index slot) -> const Ulid& { return slot_at(slot).id; };
  }
  // An action asks for the same epoch several times in a row (its checks,
  // then each queue and location it touches), so the last answer is kept; a
  // live slot holding the id is the epoch's, whatever happened in between.
  Index epoch_slot(const Ulid& id) const {
    if (last_epoch_slot_ != kNone) {
      const EpochRec& last = slot_at(last_epoch_slot_);
      if (last.live() && last.id == id) return last_epoch_slot_;
    }
    const Index slot = epoch_index_.find(id, slot_id());
    if (slot != kNone) last_epoch_slot_ = slot;
    return slot;
  }
  EpochRec* find_epoch(const Ulid& id) {
    const Index slot = epoch_slot(id);
    return slot == kNone ? nullptr : &slot_at(slot);
  }
  const EpochRec* find_epoch(const Ulid& id) const {
    const Index slot = epoch_slot(id);
    return slot == kNone ? nullptr : &slot_at(slot);
  }
  bool has_epoch(const Ulid& id) const { return epoch_slot(id) != kNone; }
  // A free slot, made live and indexed under `id`.
  EpochRec& new_slot(const Ulid& id);
  void set_startable(EpochRec& rec, bool startable) {
    startable ? add_startable(rec) : remove_startable(rec);
  }
  void add_startable(EpochRec& rec);
  void remove_startable(EpochRec& rec);
  // Stores a new startable epoch with empty locations and lists it last.
  EpochRec& add_epoch(Epoch epoch, Index node);
  // The same for an epoch of `node` with empty salvos, built in its slot;
  // the caller fills in its input salvo.
  EpochRec& open_epoch(const Ulid& id, Index node);
  // Restores a removed epoch as recorded (undo of finish or cancel).
  void restore_epoch(const Epoch& epoch);
  // Removes the record (its locations must be empty), unlists it and takes
  // it out of the startable set. rec.epoch keeps the epoch as it was stored
  // until the slot is reused, for the caller to take a snapshot of.
  void drop_epoch(EpochRec& rec);
  void list_epoch(EpochRec& rec);
  void unlist_epoch(const EpochRec& rec);
  void set_token(Index node, bool value);  // request_tokens.cpp

  // ---- Salvo conditions over port indices (conditions.cpp) ----
  // A node's salvo conditions compiled, made once per node on first use.
  struct NodeConditions {
    // In the order of the node's conditions on each side; output ports by
    // their position among the node's.
    std::vector<CompiledCondition> in;
    std::vector<CompiledCondition> out;
    // The conditions' own names, shared: salvos and events carry them.
    std::vector<Name> in_names;
    std::vector<Name> out_names;
  };
  const NodeConditions& node_conditions(Index node) const {
    if (node < node_conditions_.size() && node_conditions_[node]) return *node_conditions_[node];
    return compile_conditions(node);
  }
  const NodeConditions& compile_conditions(Index node) const;
  // The position of a condition's entry in its node's map.
  static std::size_t position_of(const OrderedMap<SalvoCondition>& map,
                                 const OrderedMap<SalvoCondition>::Entry& entry) {
    return static_cast<std::size_t>(&entry - map.begin());
  }
  // Whether the term of an input condition holds on its node's ports now.
  bool input_term_holds(const CompiledCondition& c) const;
  // The same for an output condition, on the output ports of epoch `rec`.
  bool output_term_holds(const EpochRec& rec, const CompiledCondition& c) const;
  // ---- Run step internals (step.cpp, blocked.cpp) ----
  // The position (insertion order) of the first input salvo condition of
  // `node` whose term holds now; nothing when none does.
  std::optional<std::size_t> first_holding_input_condition(Index node) const;
  bool has_waiting_packets(Index node) const;
  bool edge_can_move(const EdgeInfo& edge) const;
  // One run step, its events appended to `events`: whether it made
  // progress, or the error of a step that failed after its earlier phases
  // changed the state (their events stay in `events`).
  Result<bool, NetActionError> step_into(EventList& events);
  bool move_along_edges(EventList& events);
  bool try_trigger_input_salvo(Index node, EventList& events);
  void issue_startup_requests(EventList& events);
  void issue_no_salvo_requests(const std::vector<Index>& waiting, const std::vector<bool>& fired,
                               EventList& events);
  Result<bool, NetActionError> resolve_requests(EventList& events);

  // ---- Action internals (net_actions.cpp, transport.cpp) ----
  NetActionResponse create_packet(const NetAction::CreatePacket& action);
  NetActionResponse remove_packet(const Ulid& packet_id, bool consumed);
  NetActionResponse create_epoch(const NetAction::CreateEpoch& action);
  NetActionResponse start_epoch(const Ulid& epoch_id);
  NetActionResponse finish_epoch(const Ulid& epoch_id);
  NetActionResponse cancel_epoch(const Ulid& epoch_id);
  NetActionResponse load_packet_into_output_port(const NetAction::LoadPacketIntoOutputPort& action);
  NetActionResponse send_output_salvo(const NetAction::SendOutputSalvo& action);
  NetActionResponse transport_packet(const NetAction::TransportPacketToLocation& action);
  // The refusal for a transport into `destination`, if any; else its location.
  Result<Loc, NetActionResponse> check_transport_destination(
      const Ulid& packet_id, const PacketLocation& destination) const;
  NetActionResponse create_request(const NetAction::CreateRequest& action);

  // ---- Undo internals (undo.cpp) ----
  Status<UndoError> recreate_packet(const Ulid& packet_id, const PacketLocation& location);
  Status<UndoError> undo_event(const NetAction& action, const NetEvent& event);
  Status<UndoError> undo_epoch_created(const Ulid& epoch_id);
  Status<UndoError> undo_epoch_removed(const Epoch& epoch);
  Status<UndoError> undo_packet_moved(const NetEvent::PacketMoved& event);
  Status<UndoError> undo_packet_orphaned(const NetEvent::PacketOrphaned& event);
  // The entry of a location named by an event; NotFound when it has none.
  Result<Loc, UndoError> entry_for_undo(const PacketLocation& location) const;

  std::shared_ptr<const Graph> graph_;  // never null
  // Interned graph.
  std::vector<NodeInfo> nodes_;
  std::vector<Index> in_begin_;   // per node, into in_ports_ (size nodes + 1)
  std::vector<Index> out_begin_;  // per node, into out_ports_ (size nodes + 1)
  std::vector<InPortInfo> in_ports_;
  std::vector<OutPortInfo> out_ports_;
  std::vector<EdgeInfo> edges_;
  IndexTable node_table_;             // node name -> node index
  std::vector<Index> startup_nodes_;  // in node order
  std::unordered_map<Index, std::vector<PortRef>> dependency_targets_;
  // Names of nodes outside the graph that restored epochs name.
  std::vector<std::string> foreign_names_;
  StringMap<Index> foreign_index_;

  // Shared copies of the names and edges that locations have carried so far,
  // by index; each list is sized on first use, so a sim that reports no
  // location pays nothing for them.
  mutable std::vector<Name> node_names_;
  mutable std::vector<Name> in_port_names_;
  mutable std::vector<Name> out_port_names_;
  mutable std::vector<Shared<Edge>> edge_values_;
  // The condition name of every epoch a request makes.
  Name request_condition_ = std::string(kRequestSalvoCondition);

  // By node, sized and filled on first use (see node_conditions).
  mutable std::vector<std::unique_ptr<NodeConditions>> node_conditions_;

  // Runtime state.
  PacketTable<PacketRec> packets_;
  PacketQueue outside_;
  SlotChunks<EpochRec, 6> epoch_slots_;
  UlidIndex epoch_index_;                  // epoch id -> slot
  mutable Index last_epoch_slot_ = kNone;  // the slot epoch_slot found last
  std::vector<Index> startable_;           // slots of the startable epochs, unordered
  std::unordered_map<Index, EpochList> epoch_lists_;
  std::vector<PendingRequest> pending_requests_;
  // Tokens undo set for names without the trigger's node. Kept only for
  // request_tokens (test support); no action reads them, and they grow only
  // when undo is handed events naming nodes outside the graph.
  StringMap<bool> stray_tokens_;
  bool startup_requests_emitted_ = false;

  // Worklists. Invariant: every edge whose front packet can move is on
  // edge_work_, and every node with waiting packets whose input salvo
  // condition holds is on node_work_; a node that cannot fire but may make a
  // no-salvo request is on node_work_ or parked on ask_work_. Whatever is off
  // them cannot act until something it depends on changes (a packet arrives
  // or leaves, its token is set), and that change lists it again. A step, and
  // is_blocked, take off what they find unable to act, so neither looks at an
  // idle edge or node twice. ask_work_ may hold stale entries (nodes since
  // listed again or taken off); a node's `queued` state is the truth.
  mutable std::vector<Index> edge_work_;
  mutable std::vector<Index> node_work_;
  mutable std::vector<Index> ask_work_;

  // Scratch lists reused by every call, so the hot actions allocate no
  // working storage of their own.
  struct PlannedMove {
    Ulid packet_id;
    std::uint32_t handle;  // the packet's record (PacketRec::handle)
    Index position;        // of the port among the node's output ports
    Index edge;            // kNone: orphaned
  };
  std::vector<PlannedMove> plan_scratch_;                       // an output salvo's moves
  std::vector<Index> edge_scratch_;                             // a step's edge worklist
  std::vector<Index> moving_scratch_;                           // the edges whose packet moves
  std::vector<Index> node_scratch_;                             // a step's node worklist
  std::vector<bool> fired_scratch_;                             // which of those fired
  std::vector<std::pair<Index, std::uint32_t>> taken_scratch_;  // an input salvo's packets
};

}  // namespace vornix
