// Look-ups: names to dense indices, public locations to internal ones and
// back, and the shared names and edges the public locations carry.
#include <algorithm>
#include <span>

#include "base/fault.hpp"
#include "net/name_compare.hpp"
#include "net/state.hpp"

namespace vornix {

using net_detail::name_hash;
using net_detail::same_name;

NetSim::Index NetSim::node_index(std::string_view name) const {
  const std::span<const Node> nodes = graph_->nodes();
  return node_table_.find(name_hash(name), [&](Index i) { return same_name(nodes[i].name, name); });
}

NetSim::Index NetSim::node_candidate(std::uint64_t h) const { return node_table_.candidate(h); }

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
// Only names and edges already made are read here; the first location to
// need one is left to location_making_names. With no call on its own way,
// the usual build saves no registers.
PacketLocation NetSim::location_of(const Loc& loc, const EpochRec* owner) const {
  using L = PacketLocation;
  switch (loc.kind) {
    case Kind::Node: return {L::Node{loc.epoch}};
    case Kind::InputPort: {
      const Name* node = made_at(node_names_, in_ports_[loc.index].node);
      const Name* port = made_at(in_port_names_, loc.index);
      if (node == nullptr || port == nullptr) break;
      return {L::InputPort{*node, *port}};
    }
    case Kind::OutputPort: {
      const Name* port =
          owner == nullptr ? nullptr : made_at(out_port_names_, out_begin(owner->node) + loc.index);
      if (port == nullptr) break;
      return {L::OutputPort{loc.epoch, *port}};
    }
    case Kind::Edge: {
      const Shared<Edge>* edge = made_at(edge_values_, loc.index);
      if (edge == nullptr) break;
      return {L::Edge{*edge}};
    }
    case Kind::OutsideNet: return {L::OutsideNet{}};
  }
  return location_making_names(loc, owner);
}

[[gnu::noinline]] PacketLocation NetSim::location_making_names(const Loc& loc,
                                                               const EpochRec* owner) const {
  switch (loc.kind) {
    case Kind::InputPort:
      shared_node_name(in_ports_[loc.index].node);
      shared_in_port_name(loc.index);
      break;
    case Kind::OutputPort:
      if (owner == nullptr) internal_fault("output port of a missing epoch");
      shared_out_port_name(out_begin(owner->node) + loc.index);
      break;
    case Kind::Edge: shared_edge(loc.index); break;
    case Kind::Node:
    case Kind::OutsideNet: break;
  }
  return location_of(loc, owner);
}

namespace {

template <class T, class Make>
const Shared<T>& make_cached(std::vector<Shared<T>>& cache, std::size_t size, std::size_t i,
                             Make make) {
  if (cache.empty()) cache.resize(size);
  Shared<T>& value = cache[i];
  if (!value.made()) value = make();
  return value;
}

}  // namespace

const Name& NetSim::make_node_name(Index node) const {
  return make_cached(node_names_, nodes_.size(), node,
                     [&] { return Name(nodes_[node].node->name); });
}

const Name& NetSim::make_in_port_name(Index port) const {
  return make_cached(in_port_names_, in_ports_.size(), port,
                     [&] { return Name(*in_ports_[port].name); });
}

const Name& NetSim::make_out_port_name(Index port) const {
  return make_cached(out_port_names_, out_ports_.size(), port,
                     [&] { return Name(*out_ports_[port].name); });
}

const Shared<Edge>& NetSim::make_edge_value(Index edge) const {
  return make_cached(edge_values_, edges_.size(), edge,
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

}  // namespace vornix
