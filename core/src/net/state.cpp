#include "net/state.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <span>

#include "base/fault.hpp"
#include "graph/validate.hpp"

namespace vornix {

namespace {

std::string invalid_graph_message(const std::vector<GraphValidationError>& errors) {
  std::string message = "Cannot create NetSim with invalid graph:";
  for (const GraphValidationError& e : errors) message += "\n  - " + e.message();
  return message;
}

using graph_detail::name_hash;

// Whether n bytes, sizeof(W) <= n <= 2 * sizeof(W), are equal: one word
// from each end of both texts, the two words overlapping when n is short.
template <class W>
[[gnu::always_inline]] inline bool same_ends(const char* p, const char* q, std::size_t n) {
  W p0, p1, q0, q1;
  std::memcpy(&p0, p, sizeof(W));
  std::memcpy(&q0, q, sizeof(W));
  std::memcpy(&p1, p + n - sizeof(W), sizeof(W));
  std::memcpy(&q1, q + n - sizeof(W), sizeof(W));
  return ((p0 ^ q0) | (p1 ^ q1)) == 0;
}

// Equality of two names without a library call for the short ones, which
// most names are: up to 16 bytes take two overlapping loads a side.
[[gnu::always_inline]] inline bool same_name(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (n >= 8) return n > 16 ? std::memcmp(p, q, n) == 0 : same_ends<std::uint64_t>(p, q, n);
  if (n >= 4) return same_ends<std::uint32_t>(p, q, n);
  for (std::size_t k = 0; k < n; ++k) {
    if (p[k] != q[k]) return false;
  }
  return true;
}

// The high half of a hash, kept in a table cell so that a probe compares
// names only when the hashes agree.
std::uint32_t tag_of(std::uint64_t h) { return static_cast<std::uint32_t>(h >> 32); }

template <class Info>
void sort_by_name(std::vector<Info>& ports, std::size_t first) {
  if (ports.size() - first < 2) return;
  std::sort(ports.begin() + static_cast<std::ptrdiff_t>(first), ports.end(),
            [](const Info& a, const Info& b) { return *a.name < *b.name; });
}

}  // namespace

void NetSim::IndexTable::reserve(std::size_t n) {
  const std::size_t size = std::bit_ceil(std::max<std::size_t>(8, n + n / 2 + 1));
  cells.assign(size, Cell{});
  mask = size - 1;
}

NetSim::NetSim(Graph graph) : NetSim(std::make_shared<const Graph>(std::move(graph))) {}

NetSim::NetSim(std::shared_ptr<const Graph> graph) : graph_(std::move(graph)) {
  if (graph_ == nullptr) internal_fault("NetSim over no graph");
  // The validator holds the structural rules; the graph remembers its
  // verdict, so a graph validated once (or shared by several sims) is not
  // checked again. Interning then only reads what validation vouched for.
  if (!graph_->is_valid()) internal_fault(invalid_graph_message(graph_->validate()));
  if (!intern()) internal_fault("graph interning refused a graph that validates");
}

NetSim::~NetSim() = default;

bool NetSim::intern() {
  const std::span<const Node> order = graph_->nodes();
  const std::size_t n = order.size();
  nodes_.resize(n);
  in_begin_.resize(n + 1);
  out_begin_.resize(n + 1);
  in_ports_.reserve(n);
  out_ports_.reserve(n);
  node_table_.reserve(n);
  std::vector<Index> configured;  // nodes with a request configuration
  // In blocks: the table cells of a block are fetched while its nodes'
  // ports are read, rather than one cache miss at a time.
  std::uint64_t hashes[kBlock];
  for (std::size_t block = 0; block < n; block += kBlock) {
    const std::size_t end = std::min(n, block + kBlock);
    for (std::size_t i = block; i < end; ++i) {
      const std::uint64_t h = name_hash(order[i].name);
      hashes[i - block] = h;
      __builtin_prefetch(&node_table_.cells[h & node_table_.mask], 1);
    }
    for (std::size_t i = block; i < end; ++i) {
      const Node* node = &order[i];
      const Index index = static_cast<Index>(i);
      NodeInfo& info = nodes_[i];
      info.node = node;
      const std::uint64_t h = hashes[i - block];
      std::size_t cell = h & node_table_.mask;
      while (node_table_.cells[cell].index != kNone) cell = (cell + 1) & node_table_.mask;
      node_table_.cells[cell] = {index, tag_of(h)};

      const std::size_t in_first = in_ports_.size();
      in_begin_[i] = static_cast<Index>(in_first);
      for (const auto& [name, port] : node->in_ports) {
        InPortInfo& p = in_ports_.emplace_back();
        p.name = &name;
        p.capacity = port.slots_spec.capacity().value_or(kUnbounded);
        p.node = index;
      }
      sort_by_name(in_ports_, in_first);
      const std::size_t out_first = out_ports_.size();
      out_begin_[i] = static_cast<Index>(out_first);
      for (const auto& [name, port] : node->out_ports) {
        out_ports_.push_back(
            OutPortInfo{&name, port.slots_spec.capacity().value_or(kUnbounded), kNone});
      }
      sort_by_name(out_ports_, out_first);

      if (const auto& config = node->dependency_request_config) {
        info.startup = config->has_trigger(DependencyRequestTrigger::OnStartup);
        info.no_salvo = config->has_trigger(DependencyRequestTrigger::OnNoSalvoTriggered);
        if (info.startup) startup_nodes_.push_back(index);
        if (info.no_salvo) info.token = 2;
        configured.push_back(index);
      }
    }
  }
  in_begin_[n] = static_cast<Index>(in_ports_.size());
  out_begin_[n] = static_cast<Index>(out_ports_.size());

  // Validation vouched that every edge joins an existing output port to an
  // existing input port and that no output port has two; the look-ups below
  // still refuse anything else rather than index past a table.
  struct Placed {
    Index port = 0;  // target input port, then source output port slot
    Index out = 0;
    const Edge* edge = nullptr;
  };
  const std::span<const Edge> all = graph_->edges();
  std::vector<Placed> placed;
  placed.reserve(all.size());
  // The edges go in blocks through three rounds, each reading what the
  // round before prefetched: the table cells of both end nodes, then the
  // nodes' names and port ranges, then the ports.
  struct Ends {
    const Edge* edge;
    std::uint64_t source_hash, target_hash;
    Index source, target;
  };
  Ends ends[kBlock];
  for (std::size_t block = 0; block < all.size(); block += kBlock) {
    const std::size_t count = std::min(kBlock, all.size() - block);
    // The next block's edges are fetched while this one is resolved.
    for (std::size_t j = block + kBlock; j < std::min(all.size(), block + 2 * kBlock); ++j) {
      const char* edge = reinterpret_cast<const char*>(&all[j]);
      __builtin_prefetch(edge);
      __builtin_prefetch(edge + 64);
      __builtin_prefetch(edge + sizeof(Edge) - 1);
    }
    for (std::size_t j = 0; j < count; ++j) {
      const Edge& e = all[block + j];
      if (e.source.port_type != PortType::Output || e.target.port_type != PortType::Input) {
        return false;
      }
      Ends& x = ends[j];
      x.edge = &e;
      x.source_hash = name_hash(e.source.node_name);
      x.target_hash = name_hash(e.target.node_name);
      __builtin_prefetch(&node_table_.cells[x.source_hash & node_table_.mask]);
      __builtin_prefetch(&node_table_.cells[x.target_hash & node_table_.mask]);
    }
    for (std::size_t j = 0; j < count; ++j) {
      Ends& x = ends[j];
      x.source = node_candidate(x.source_hash);
      x.target = node_candidate(x.target_hash);
      if (x.source == kNone || x.target == kNone) return false;
      __builtin_prefetch(&order[x.source].name);
      __builtin_prefetch(&order[x.target].name);
      __builtin_prefetch(&out_begin_[x.source]);
      __builtin_prefetch(&in_begin_[x.target]);
    }
    for (std::size_t j = 0; j < count; ++j) {
      const Ends& x = ends[j];
      const Edge& e = *x.edge;
      // A tag shared by two names sends the look-up down the whole probe.
      const Index source = same_name(order[x.source].name, e.source.node_name)
                               ? x.source
                               : node_index(e.source.node_name);
      const Index target = same_name(order[x.target].name, e.target.node_name)
                               ? x.target
                               : node_index(e.target.node_name);
      const Index position = out_port_position(source, e.source.port_name);
      const Index port = in_port_index(target, e.target.port_name);
      if (position == kNone || port == kNone) return false;
      const Index out = out_begin_[source] + position;
      if (out_ports_[out].edge != kNone) return false;
      out_ports_[out].edge = 0;  // claimed; the edge's index is set below
      placed.push_back({port, out, &e});
    }
  }

  // Edges grouped by target port (a counting sort); `starts` ends up holding
  // the end of each group.
  std::vector<Index> starts(in_ports_.size() + 1, 0);
  for (const Placed& p : placed) ++starts[p.port + 1];
  for (std::size_t p = 0; p < in_ports_.size(); ++p) {
    starts[p + 1] += starts[p];
    in_ports_[p].edges_begin = starts[p];
  }
  std::vector<Placed> grouped(placed.size());
  for (const Placed& p : placed) grouped[starts[p.port]++] = p;
  placed = {};

  // Fan-in: within one port the edges go in the order the graph lists them.
  // Each has its own source port, so the source slot carries the rank.
  std::vector<Index> rank;
  for (std::size_t p = 0; p < in_ports_.size(); ++p) {
    const Index first = in_ports_[p].edges_begin;
    const Index last = starts[p];
    if (last - first < 2) continue;
    if (rank.empty()) rank.assign(out_ports_.size(), kNone);
    const InPortInfo& info = in_ports_[p];
    const EdgeList listed =
        graph_->get_edges_by_head(PortRef{order[info.node].name, PortType::Input, *info.name});
    for (std::size_t j = 0; j < listed.size(); ++j) {
      const Index source = node_index(listed[j].source.node_name);
      const Index out = out_begin_[source] + out_port_position(source, listed[j].source.port_name);
      if (rank[out] == kNone) rank[out] = static_cast<Index>(j);
    }
    std::sort(grouped.begin() + first, grouped.begin() + last,
              [&](const Placed& a, const Placed& b) { return rank[a.out] < rank[b.out]; });
  }
  edges_.resize(grouped.size());
  for (std::size_t i = 0; i < grouped.size(); ++i) {
    EdgeInfo& info = edges_[i];
    info.edge = grouped[i].edge;
    info.target = grouped[i].port;
    out_ports_[grouped[i].out].edge = static_cast<Index>(i);
  }
  grouped = {};

  for (const Edge& e : graph_->dependency_edges()) {
    const Index edge = edge_index(e);
    if (edge == kNone) return false;  // not in the edge set
    dependency_targets_[in_ports_[edges_[edge].target].node].push_back(e.target);
  }
  for (const Index node : configured) {
    if (!dependency_targets_.contains(node)) return false;
  }
  // The set's own order is a hash order; the cascade's start ports go in
  // port order instead.
  for (auto& [node, targets] : dependency_targets_) {
    std::stable_sort(targets.begin(), targets.end(),
                     [](const PortRef& a, const PortRef& b) { return a.port_name < b.port_name; });
  }
  return true;
}

// ---------------------------------------------------------------- look-ups

NetSim::Index NetSim::node_index(std::string_view name) const {
  if (nodes_.empty()) return kNone;
  const std::uint64_t h = name_hash(name);
  const std::uint32_t tag = tag_of(h);
  const std::span<const Node> nodes = graph_->nodes();
  for (std::size_t cell = h & node_table_.mask;; cell = (cell + 1) & node_table_.mask) {
    const IndexTable::Cell c = node_table_.cells[cell];
    if (c.index == kNone) return kNone;
    if (c.tag == tag && same_name(nodes[c.index].name, name)) return c.index;
  }
}

NetSim::Index NetSim::node_candidate(std::uint64_t h) const {
  const std::uint32_t tag = tag_of(h);
  for (std::size_t cell = h & node_table_.mask;; cell = (cell + 1) & node_table_.mask) {
    const IndexTable::Cell c = node_table_.cells[cell];
    if (c.index == kNone || c.tag == tag) return c.index;
  }
}

// A valid graph has at most one edge per output port, so the source port
// finds the only candidate.
NetSim::Index NetSim::edge_index(const Edge& edge) const {
  if (edge.source.port_type != PortType::Output) return kNone;
  const Index source = node_index(edge.source.node_name);
  const Index position = out_port_position(source, edge.source.port_name);
  if (position == kNone) return kNone;
  const Index e = out_ports_[out_begin_[source] + position].edge;
  if (e == kNone || !(*edges_[e].edge == edge)) return kNone;
  return e;
}

namespace {

// The port named `name` among a node's ports, sorted by name. Most nodes have
// a few ports: those are compared for equality one by one (a length check
// settles most), the rest searched by halves.
template <class It>
It find_port(It first, It last, std::string_view name) {
  constexpr std::ptrdiff_t kScan = 8;
  if (last - first <= kScan) {
    for (; first != last; ++first) {
      if (same_name(*first->name, name)) return first;
    }
    return last;
  }
  const It it = std::lower_bound(first, last, name,
                                 [](const auto& p, std::string_view n) { return *p.name < n; });
  return it != last && same_name(*it->name, name) ? it : last;
}

}  // namespace

NetSim::Index NetSim::in_port_index(Index node, std::string_view port) const {
  if (!known_node(node)) return kNone;
  const auto last = in_ports_.begin() + in_begin_[node + 1];
  const auto it = find_port(in_ports_.begin() + in_begin_[node], last, port);
  return it == last ? kNone : static_cast<Index>(it - in_ports_.begin());
}

NetSim::Index NetSim::out_port_position(Index node, std::string_view port) const {
  if (!known_node(node)) return kNone;
  const auto first = out_ports_.begin() + out_begin_[node];
  const auto last = out_ports_.begin() + out_begin_[node + 1];
  const auto it = find_port(first, last, port);
  return it == last ? kNone : static_cast<Index>(it - first);
}

const std::string& NetSim::node_name_of(Index node) const {
  return known_node(node) ? nodes_[node].node->name : foreign_names_[node - nodes_.size()];
}

NetSim::Index NetSim::node_index_or_foreign(const std::string& name) {
  const Index known = node_index(name);
  if (known != kNone) return known;
  auto [it, inserted] =
      foreign_index_.try_emplace(name, static_cast<Index>(nodes_.size() + foreign_names_.size()));
  if (inserted) foreign_names_.push_back(name);
  return it->second;
}

std::optional<NetSim::Loc> NetSim::find_loc(const PacketLocation& location) const {
  using L = PacketLocation;
  return std::visit(Overloaded{
                        [&](const L::Node& l) -> std::optional<Loc> {
                          if (!has_epoch(l.epoch_id)) return std::nullopt;
                          return Loc{Kind::Node, 0, l.epoch_id};
                        },
                        [&](const L::InputPort& l) -> std::optional<Loc> {
                          const Index port = in_port_index(node_index(l.node_name), l.port_name);
                          if (port == kNone) return std::nullopt;
                          return Loc{Kind::InputPort, port, {}};
                        },
                        [&](const L::OutputPort& l) -> std::optional<Loc> {
                          const EpochRec* rec = find_epoch(l.epoch_id);
                          if (rec == nullptr) return std::nullopt;
                          const Index pos = out_port_position(rec->node, l.port_name);
                          if (pos == kNone) return std::nullopt;
                          return Loc{Kind::OutputPort, pos, l.epoch_id};
                        },
                        [&](const L::Edge& l) -> std::optional<Loc> {
                          const Index e = edge_index(l.edge);
                          if (e == kNone) return std::nullopt;
                          return Loc{Kind::Edge, e, {}};
                        },
                        [](const L::OutsideNet&) -> std::optional<Loc> { return Loc{}; },
                    },
                    location.value);
}

// Built as the alternative it is, with no empty value to replace first.
PacketLocation NetSim::location_of(const Loc& loc) const {
  using L = PacketLocation;
  switch (loc.kind) {
    case Kind::Node: return {L::Node{loc.epoch}};
    case Kind::InputPort: {
      const InPortInfo& p = in_ports_[loc.index];
      return {L::InputPort{shared_node_name(p.node), shared_in_port_name(loc.index)}};
    }
    case Kind::OutputPort: {
      const EpochRec* rec = find_epoch(loc.epoch);
      if (rec == nullptr) internal_fault("output port of a missing epoch");
      return {L::OutputPort{loc.epoch, shared_out_port_name(out_begin(rec->node) + loc.index)}};
    }
    case Kind::Edge: return {L::Edge{shared_edge(loc.index)}};
    case Kind::OutsideNet: break;
  }
  return {L::OutsideNet{}};
}

namespace {

template <class T, class Make>
const Shared<T>& cached(std::vector<Shared<T>>& cache, std::size_t size, std::size_t i, Make make) {
  if (cache.empty()) cache.resize(size);
  Shared<T>& value = cache[i];
  if (!value.made()) value = make();
  return value;
}

}  // namespace

const Name& NetSim::shared_node_name(Index node) const {
  return cached(node_names_, nodes_.size(), node, [&] { return Name(nodes_[node].node->name); });
}

const Name& NetSim::shared_in_port_name(Index port) const {
  return cached(in_port_names_, in_ports_.size(), port,
                [&] { return Name(*in_ports_[port].name); });
}

const Name& NetSim::shared_out_port_name(Index port) const {
  return cached(out_port_names_, out_ports_.size(), port,
                [&] { return Name(*out_ports_[port].name); });
}

const Shared<Edge>& NetSim::shared_edge(Index edge) const {
  return cached(edge_values_, edges_.size(), edge,
                [&] { return Shared<Edge>(*edges_[edge].edge); });
}

void NetSim::write_location(const Loc& loc, PacketLocation& out) const {
  using L = PacketLocation;
  switch (loc.kind) {
    case Kind::Node: out.value.emplace<L::Node>(loc.epoch); return;
    case Kind::InputPort: {
      const InPortInfo& p = in_ports_[loc.index];
      out.value.emplace<L::InputPort>(shared_node_name(p.node), shared_in_port_name(loc.index));
      return;
    }
    case Kind::OutputPort: {
      const EpochRec* rec = find_epoch(loc.epoch);
      if (rec == nullptr) internal_fault("output port of a missing epoch");
      out.value.emplace<L::OutputPort>(loc.epoch,
                                       shared_out_port_name(out_begin(rec->node) + loc.index));
      return;
    }
    case Kind::Edge: out.value.emplace<L::Edge>(shared_edge(loc.index)); return;
    case Kind::OutsideNet: break;
  }
  out.value.emplace<L::OutsideNet>();
}

// ---------------------------------------------------------------- queries

std::optional<Packet> NetSim::get_packet(const Ulid& id) const {
  auto it = packets_.find(id);
  if (it == packets_.end()) return std::nullopt;
  return Packet{id, location_of(it->second.loc)};
}

const Epoch* NetSim::get_epoch(const Ulid& id) const {
  const EpochRec* rec = find_epoch(id);
  return rec == nullptr ? nullptr : &rec->epoch;
}

std::uint64_t NetSim::packet_count_at(const PacketLocation& location) const {
  const std::optional<Loc> loc = find_loc(location);
  return loc ? count_at(*loc) : 0;
}

std::vector<Ulid> NetSim::get_packets_at_location(const PacketLocation& location) const {
  const std::optional<Loc> loc = find_loc(location);
  const PacketQueue* q = loc ? queue_of(*loc) : nullptr;
  return q ? q->to_vector() : std::vector<Ulid>{};
}

std::vector<Ulid> NetSim::get_startable_epochs() const {
  std::vector<Ulid> out;
  out.reserve(startable_.size());
  for (Index slot : startable_) out.push_back(slot_at(slot).epoch.id);
  return out;
}

std::unordered_set<Ulid> NetSim::startable_epochs() const {
  std::unordered_set<Ulid> out;
  for (Index slot : startable_) out.insert(slot_at(slot).epoch.id);
  return out;
}

std::vector<Packet> NetSim::packets() const {
  std::vector<Packet> out;
  out.reserve(packets_.size());
  for (const auto& [id, rec] : packets_) out.push_back(Packet{id, location_of(rec.loc)});
  return out;
}

std::unordered_map<Ulid, Epoch> NetSim::epochs() const {
  std::unordered_map<Ulid, Epoch> out;
  for (Index slot = 0; slot < epoch_chunks_.size() << kChunkBits; ++slot) {
    if (slot_at(slot).live()) out.emplace(slot_at(slot).epoch.id, slot_at(slot).epoch);
  }
  return out;
}

StringMap<std::vector<Ulid>> NetSim::epochs_by_node() const {
  StringMap<std::vector<Ulid>> out;
  for (const auto& [node, list] : epoch_lists_) {
    if (!list.keyed) continue;
    std::vector<Ulid>& ids = out[node_name_of(node)];
    for (const EpochList::Entry& e : list.entries) {
      if (e.live) ids.push_back(e.id);
    }
  }
  return out;
}

StringMap<bool> NetSim::request_tokens() const {
  StringMap<bool> out = stray_tokens_;
  for (const NodeInfo& n : nodes_) {
    if (n.token != 0) out.insert_or_assign(n.node->name, n.token == 2);
  }
  return out;
}

std::size_t NetSim::location_entry_count() const {
  std::size_t n = edges_.size() + in_ports_.size() + 1;
  for (Index slot = 0; slot < epoch_chunks_.size() << kChunkBits; ++slot) {
    if (slot_at(slot).live()) n += 1 + slot_at(slot).out.size();
  }
  return n;
}

// ---------------------------------------------------------------- queues

const PacketQueue* NetSim::queue_of(const Loc& loc) const {
  switch (loc.kind) {
    case Kind::InputPort: return in_ports_[loc.index].queue.get();
    case Kind::Edge: return edges_[loc.index].queue.get();
    case Kind::OutsideNet: return &outside_;
    case Kind::Node: {
      const EpochRec* rec = find_epoch(loc.epoch);
      return rec == nullptr ? nullptr : &rec->inside;
    }
    case Kind::OutputPort: {
      const EpochRec* rec = find_epoch(loc.epoch);
      if (rec == nullptr || loc.index >= rec->out.size()) return nullptr;
      return &rec->out[loc.index];
    }
  }
  return nullptr;
}

PacketQueue* NetSim::queue_of(const Loc& loc) {
  return const_cast<PacketQueue*>(std::as_const(*this).queue_of(loc));
}

PacketQueue& NetSim::queue_for_push(const Loc& loc) {
  std::unique_ptr<PacketQueue>* lazy = nullptr;
  if (loc.kind == Kind::InputPort) lazy = &in_ports_[loc.index].queue;
  if (loc.kind == Kind::Edge) lazy = &edges_[loc.index].queue;
  if (lazy != nullptr) {
    if (!*lazy) *lazy = std::make_unique<PacketQueue>();
    return **lazy;
  }
  PacketQueue* q = queue_of(loc);
  if (q == nullptr) internal_fault("Packet location has no entry in self._packets_by_location");
  return *q;
}

void NetSim::after_arrival(const Loc& loc) {
  if (loc.kind == Kind::InputPort) queue_node(in_ports_[loc.index].node);
  if (loc.kind == Kind::Edge) queue_edge(loc.index);
}

NetSim::EpochRec* NetSim::out_owner(const Loc& loc) {
  EpochRec* rec = find_epoch(loc.epoch);
  return rec != nullptr && loc.index < rec->out.size() ? rec : nullptr;
}

void NetSim::push_packet(const Ulid& id, PacketRec& rec, const Loc& loc) {
  if (loc.kind == Kind::OutputPort) {
    EpochRec* owner = out_owner(loc);
    if (owner == nullptr)
      internal_fault("Packet location has no entry in self._packets_by_location");
    rec.slot = owner->out[loc.index].push_back(id);
    ++owner->out_held;
    rec.loc = loc;
    return;
  }
  PacketQueue& q = queue_for_push(loc);
  rec.slot = q.push_back(id);
  rec.loc = loc;
  after_arrival(loc);
}

void NetSim::insert_packet(const Ulid& id, PacketRec& rec, const Loc& loc, std::size_t index) {
  EpochRec* owner = loc.kind == Kind::OutputPort ? out_owner(loc) : nullptr;
  PacketQueue& q = owner != nullptr ? owner->out[loc.index] : queue_for_push(loc);
  bool renumbered = false;
  rec.slot = q.insert_at(index, id, renumbered);
  rec.loc = loc;
  if (owner != nullptr) ++owner->out_held;
  if (renumbered) renumber(q);
  after_arrival(loc);
}

void NetSim::pop_packet(const PacketRec& rec) {
  PacketQueue* q = rec.loc.kind == Kind::OutputPort ? nullptr : queue_of(rec.loc);
  if (rec.loc.kind == Kind::OutputPort) {
    if (EpochRec* owner = out_owner(rec.loc)) q = &owner->out[rec.loc.index];
  }
  if (q == nullptr) internal_fault("Packet location has no entry in self._packets_by_location.");
  pop_from(rec, *q);
}

void NetSim::pop_from(const PacketRec& rec, PacketQueue& queue) {
  if (rec.loc.kind == Kind::OutputPort) --out_owner(rec.loc)->out_held;
  const std::size_t before = queue.size();
  queue.erase(rec.slot);
  after_removal(rec.loc, queue, before);
}

void NetSim::renumber(PacketQueue& queue) {
  for (PacketQueue::Slot s = queue.empty() ? queue.end_slot() : queue.front_slot();
       s < queue.end_slot(); s = queue.next(s)) {
    packets_.at(queue.id_at(s)).slot = s;
  }
}

void NetSim::after_removal(const Loc& loc, PacketQueue& queue, std::size_t before) {
  if (queue.wants_compaction()) {
    queue.compact();
    renumber(queue);
  }
  if (loc.kind != Kind::InputPort) return;
  const InPortInfo& port = in_ports_[loc.index];
  queue_node(port.node);
  // The edges into a port that just regained room may move again.
  if (port.capacity != kUnbounded && before >= port.capacity && queue.size() < port.capacity) {
    const Index end = loc.index + 1 < in_ports_.size() ? in_ports_[loc.index + 1].edges_begin
                                                       : static_cast<Index>(edges_.size());
    for (Index e = port.edges_begin; e < end; ++e) {
      if (edges_[e].queue && !edges_[e].queue->empty()) queue_edge(e);
    }
  }
}

void NetSim::relocate(const Ulid& id, PacketRec& rec, const Loc& to) {
  pop_packet(rec);
  push_packet(id, rec, to);
}

void NetSim::move_recorded(const Ulid& id, PacketRec& rec, const Loc& to, EventList& events) {
  PacketQueue* from_queue = queue_of(rec.loc);
  if (from_queue == nullptr || !from_queue->live(rec.slot)) {
    internal_fault("Packet should exist at from_location");
  }
  // Built straight into the event: nothing is built twice or moved. Both
  // locations read only what the move leaves as it is.
  const auto from_index = static_cast<std::uint64_t>(from_queue->index_of(rec.slot));
  emit<NetEvent::PacketMoved>(events, id, BuiltBy{[&] { return location_of(rec.loc); }},
                              BuiltBy{[&] { return location_of(to); }}, from_index);
  pop_from(rec, *from_queue);
  push_packet(id, rec, to);
}

void NetSim::queue_edge(Index edge) {
  if (edges_[edge].queued) return;
  edges_[edge].queued = true;
  edge_work_.push_back(edge);
}

void NetSim::queue_node(Index node) {
  if (!known_node(node) || nodes_[node].queued == Work::Listed) return;
  // A parked node keeps its entry in ask_work_; its state says it is listed.
  nodes_[node].queued = Work::Listed;
  node_work_.push_back(node);
}

void NetSim::move_packet(const Ulid& packet_id, const PacketLocation& to) {
  auto packet = packets_.find(packet_id);
  if (packet == packets_.end()) internal_fault("Packet not found: " + packet_id.to_string());
  const std::optional<Loc> target = find_loc(to);
  if (!target) internal_fault("Packet location has no entry in self._packets_by_location");
  relocate(packet_id, packet->second, *target);
}

// ---------------------------------------------------------------- epochs and tokens

NetSim::EpochRec& NetSim::new_slot(const Ulid& id) {
  if (free_slots_.empty()) {
    const auto first = static_cast<Index>(epoch_chunks_.size() << kChunkBits);
    epoch_chunks_.push_back(std::make_unique<EpochRec[]>(std::size_t{1} << kChunkBits));
    // Lowest slots last, so they are handed out first.
    for (Index s = first + (1u << kChunkBits); s-- > first;) free_slots_.push_back(s);
  }
  const Index slot = free_slots_.back();
  free_slots_.pop_back();
  epoch_index_.insert(id, slot);
  EpochRec& rec = slot_at(slot);
  rec.epoch.id = id;  // the index reads the id from here
  rec.slot = slot;
  rec.out_held = 0;
  rec.startable_pos = kNone;
  return rec;
}

void NetSim::set_startable(EpochRec& rec, bool startable) {
  if (startable == (rec.startable_pos != kNone)) return;
  if (startable) {
    rec.startable_pos = static_cast<Index>(startable_.size());
    startable_.push_back(rec.slot);
    return;
  }
  // Unordered: the last one takes the freed place.
  const Index moved = startable_.back();
  startable_[rec.startable_pos] = moved;
  slot_at(moved).startable_pos = rec.startable_pos;
  startable_.pop_back();
  rec.startable_pos = kNone;
}

NetSim::EpochRec& NetSim::add_epoch(Epoch epoch, Index node) {
  EpochRec& rec = new_slot(epoch.id);
  epoch.state = EpochState::Startable;
  rec.epoch = std::move(epoch);
  rec.node = node;
  rec.out.resize(out_count(node));
  list_epoch(rec);
  set_startable(rec, true);
  return rec;
}

NetSim::EpochRec& NetSim::open_epoch(const Ulid& id, Index node) {
  EpochRec& rec = new_slot(id);
  // Assigned field by field: the slot's strings and lists keep their storage.
  Epoch& epoch = rec.epoch;
  epoch.node_name = node_name_of(node);
  epoch.in_salvo.salvo_condition.clear();
  epoch.in_salvo.packets.clear();
  epoch.out_salvos.clear();
  epoch.state = EpochState::Startable;
  epoch.orphaned_packets.clear();
  rec.node = node;
  rec.out.resize(out_count(node));
  list_epoch(rec);
  set_startable(rec, true);
  return rec;
}

void NetSim::restore_epoch(const Epoch& epoch) {
  const Index node = node_index_or_foreign(epoch.node_name);
  EpochRec& rec = new_slot(epoch.id);
  rec.epoch = epoch;
  rec.node = node;
  rec.out.resize(out_count(node));
  list_epoch(rec);
  set_startable(rec, epoch.state == EpochState::Startable);
}

void NetSim::drop_epoch(EpochRec& rec) {
  unlist_epoch(rec);
  set_startable(rec, false);
  const Index slot = epoch_index_.erase(rec.epoch.id, slot_id());
  if (slot == kNone) internal_fault("epoch missing from the index");
  // The queues are empty here and keep their storage for the slot's next
  // epoch; the epoch stays for the caller to take and is overwritten on
  // reuse. A null list marks the slot free.
  rec.list = nullptr;
  free_slots_.push_back(slot);
}

void NetSim::list_epoch(EpochRec& rec) {
  EpochList& list = epoch_lists_[rec.node];
  rec.list = &list;
  rec.list_pos = static_cast<std::uint32_t>(list.entries.size());
  list.entries.push_back(EpochList::Entry{rec.epoch.id, true});
  ++list.live;
  list.keyed = true;
}

void NetSim::unlist_epoch(const EpochRec& rec) {
  if (rec.list == nullptr) internal_fault("epoch missing from its node's list");
  EpochList& list = *rec.list;
  list.entries[rec.list_pos].live = false;
  --list.live;
  while (!list.entries.empty() && !list.entries.back().live) list.entries.pop_back();
  const std::size_t dead = list.entries.size() - list.live;
  if (dead > 32 && dead > list.live) {
    std::erase_if(list.entries, [](const EpochList::Entry& e) { return !e.live; });
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
      find_epoch(list.entries[i].id)->list_pos = static_cast<std::uint32_t>(i);
    }
  }
}

void NetSim::set_token(Index node, bool value) {
  nodes_[node].token = value ? 2 : 1;
  // A node stuck with waiting packets may ask again.
  if (value) queue_node(node);
}

void NetSim::set_request_token(std::string_view node_name, bool value) {
  const Index node = node_index(node_name);
  if (node == kNone || !nodes_[node].no_salvo) return;
  set_token(node, value);
}

// ---------------------------------------------------------------- invariants

void NetSim::check_invariants() const {
  const auto fail = [](const std::string& what) { internal_fault("invariant broken: " + what); };
  for (const auto& [id, rec] : packets_) {
    const PacketQueue* q = queue_of(rec.loc);
    if (q == nullptr || !q->live(rec.slot) || !(q->id_at(rec.slot) == id)) {
      fail("packet " + id.to_string() + " missing from its location");
    }
  }
  std::size_t held = 0;
  const auto check_queue = [&](const PacketQueue* q, const Loc& loc) {
    if (q == nullptr) return;
    if (!q->consistent()) fail("queue order, counts and tree disagree");
    held += q->size();
    for (PacketQueue::Slot s = q->empty() ? q->end_slot() : q->front_slot(); s < q->end_slot();
         s = q->next(s)) {
      auto it = packets_.find(q->id_at(s));
      if (it == packets_.end() || !(it->second.loc == loc) || it->second.slot != s) {
        fail("a queue holds a stray id " + q->id_at(s).to_string());
      }
    }
  };
  check_queue(&outside_, Loc{});
  for (Index i = 0; i < in_ports_.size(); ++i) {
    check_queue(in_ports_[i].queue.get(), Loc{Kind::InputPort, i, {}});
  }
  for (Index i = 0; i < edges_.size(); ++i)
    check_queue(edges_[i].queue.get(), Loc{Kind::Edge, i, {}});
  std::size_t startable = 0;
  std::size_t live_slots = 0;
  std::unordered_map<Index, std::size_t> listed;
  for (Index slot = 0; slot < epoch_chunks_.size() << kChunkBits; ++slot) {
    const EpochRec& rec = slot_at(slot);
    if (!rec.live()) continue;
    ++live_slots;
    const Ulid& id = rec.epoch.id;
    if (epoch_slot(id) != slot) fail("epoch stored under another id");
    if (rec.slot != slot) fail("epoch record names another slot");
    check_queue(&rec.inside, Loc{Kind::Node, 0, id});
    if (rec.out.size() != out_count(rec.node)) fail("epoch output ports out of step");
    std::size_t out_held = 0;
    for (Index p = 0; p < rec.out.size(); ++p) {
      check_queue(&rec.out[p], Loc{Kind::OutputPort, p, id});
      out_held += rec.out[p].size();
    }
    if (out_held != rec.out_held) fail("epoch output count out of step");
    if (node_name_of(rec.node) != rec.epoch.node_name) fail("epoch under the wrong node");
    const bool indexed = rec.startable_pos != kNone && rec.startable_pos < startable_.size() &&
                         startable_[rec.startable_pos] == slot;
    if (rec.epoch.state == EpochState::Startable) {
      ++startable;
      if (!indexed) fail("startable epoch not indexed");
    } else if (rec.startable_pos != kNone) {
      fail("epoch indexed as startable");
    }
    auto list = epoch_lists_.find(rec.node);
    if (list == epoch_lists_.end() || rec.list != &list->second ||
        rec.list_pos >= list->second.entries.size() || !list->second.entries[rec.list_pos].live ||
        !(list->second.entries[rec.list_pos].id == id) || !list->second.keyed) {
      fail("epoch missing from its node's list");
    }
    ++listed[rec.node];
  }
  if (held != packets_.size()) fail("a packet is held by two locations");
  if (startable != startable_.size()) fail("startable set out of step");
  if (live_slots != epoch_index_.size()) fail("epoch index out of step");
  for (const auto& [node, list] : epoch_lists_) {
    std::size_t live = 0;
    for (const EpochList::Entry& e : list.entries) live += e.live;
    if (live != list.live || live != listed[node]) fail("epoch list counts out of step");
  }

  std::vector<bool> edge_listed(edges_.size()), node_listed(nodes_.size());
  std::vector<bool> ask_listed(nodes_.size());
  for (Index e : edge_work_) {
    if (edge_listed[e] || !edges_[e].queued) fail("edge worklist out of step");
    edge_listed[e] = true;
  }
  for (Index n : node_work_) {
    if (node_listed[n] || nodes_[n].queued != Work::Listed) fail("node worklist out of step");
    node_listed[n] = true;
  }
  for (Index n : ask_work_) {
    if (ask_listed[n] || !nodes_[n].on_ask_list) fail("ask worklist out of step");
    ask_listed[n] = true;
  }
  for (Index e = 0; e < edges_.size(); ++e) {
    if (edges_[e].queued != edge_listed[e]) fail("edge worklist flag out of step");
    if (!edge_listed[e] && edge_can_move(edges_[e])) fail("a movable edge is not on the worklist");
  }
  for (Index n = 0; n < nodes_.size(); ++n) {
    const NodeInfo& info = nodes_[n];
    if ((info.queued == Work::Listed) != node_listed[n]) fail("node worklist flag out of step");
    if (info.on_ask_list != ask_listed[n]) fail("ask worklist flag out of step");
    if (info.queued == Work::Parked && !info.on_ask_list)
      fail("a parked node is not on the ask list");
    if (node_listed[n] || !has_waiting_packets(n)) continue;
    if (first_holding_input_condition(n) != nullptr)
      fail("a node that can fire is not on the worklist");
    if (info.no_salvo && info.token == 2 && info.queued != Work::Parked) {
      fail("a node that can ask is on no worklist");
    }
  }
}

}  // namespace vornix
