// Translation between engine values and the records of vornix.h, both ways.
//
// Kept in one file and mechanical on purpose: when the engine changes how it
// represents events, locations or epochs, this is the file that follows.

#include <algorithm>
#include <type_traits>
#include <utility>

#include "result.hpp"

namespace vornix::capi {

std::string_view view_of(vx_str s) {
  if (s.ptr == nullptr) {
    if (s.len != 0) throw BadInput("a name has a null pointer and a nonzero length");
    return {};
  }
  return {s.ptr, s.len};
}

namespace {

vx_port_ref port_ref_record(const PortRef& p) {
  return {str_of(p.node_name), static_cast<std::uint32_t>(p.port_type), str_of(p.port_name)};
}

vx_edge edge_record(const Edge& e) {
  return {port_ref_record(e.source), port_ref_record(e.target)};
}

vx_bound bound_record(const MaxSalvos& m) {
  return std::visit(Overloaded{[](const MaxSalvos::Infinite&) {
                                 return vx_bound{1, 0};
                               },
                               [](const MaxSalvos::Finite& f) {
                                 return vx_bound{0, f.n};
                               }},
                    m.value);
}

std::string string_of(vx_str s) { return std::string(view_of(s)); }

}  // namespace

PortRef port_ref_of(const vx_port_ref& p) {
  if (p.port_type > VX_PORT_OUTPUT) throw BadInput("unknown port type");
  return {string_of(p.node_name), static_cast<PortType>(p.port_type), string_of(p.port_name)};
}

Edge edge_of(const vx_edge& e) { return {port_ref_of(e.source), port_ref_of(e.target)}; }

PacketLocation location_of(const vx_location& l) {
  switch (l.kind) {
    case VX_LOC_NODE: return PacketLocation::node(ulid_of(l.epoch_id));
    case VX_LOC_INPUT_PORT:
      return PacketLocation::input_port(string_of(l.node_name), string_of(l.port_name));
    case VX_LOC_OUTPUT_PORT:
      return PacketLocation::output_port(ulid_of(l.epoch_id), string_of(l.port_name));
    case VX_LOC_EDGE: return PacketLocation::edge(edge_of(l.edge));
    case VX_LOC_OUTSIDE_NET: return PacketLocation::outside_net();
    default: throw BadInput("unknown location kind");
  }
}

namespace {

Salvo salvo_of(const vx_salvo& s) {
  if (s.packets == nullptr && s.packet_count != 0) throw BadInput("a salvo has no packet array");
  Salvo out{string_of(s.salvo_condition), {}};
  out.packets.reserve(s.packet_count);
  for (std::size_t i = 0; i < s.packet_count; ++i) {
    out.packets.emplace_back(string_of(s.packets[i].port_name), ulid_of(s.packets[i].packet_id));
  }
  return out;
}

Epoch epoch_of(const vx_epoch* e) {
  if (e == nullptr) throw BadInput("an epoch event has no epoch");
  if (e->state > VX_EPOCH_FINISHED) throw BadInput("unknown epoch state");
  if ((e->out_salvos == nullptr && e->out_salvo_count != 0) ||
      (e->orphaned_packets == nullptr && e->orphan_count != 0)) {
    throw BadInput("an epoch has a null array");
  }
  Epoch out;
  out.id = ulid_of(e->id);
  out.node_name = string_of(e->node_name);
  out.in_salvo = salvo_of(e->in_salvo);
  out.state = static_cast<EpochState>(e->state);
  for (std::size_t i = 0; i < e->out_salvo_count; ++i) {
    out.out_salvos.push_back(salvo_of(e->out_salvos[i]));
  }
  for (std::size_t i = 0; i < e->orphan_count; ++i) {
    const vx_orphan& o = e->orphaned_packets[i];
    out.orphaned_packets.push_back(
        {ulid_of(o.packet_id), string_of(o.from_port), string_of(o.salvo_condition)});
  }
  return out;
}

NetEvent event_of(const vx_event& e) {
  const Timestamp t = e.timestamp;
  const Ulid id = ulid_of(e.id);
  using E = NetEvent;
  switch (e.kind) {
    case VX_EV_PACKET_CREATED: return {E::PacketCreated{t, id}};
    case VX_EV_PACKET_CONSUMED: return {E::PacketConsumed{t, id, location_of(e.location)}};
    case VX_EV_PACKET_DESTROYED: return {E::PacketDestroyed{t, id, location_of(e.location)}};
    case VX_EV_EPOCH_CREATED: return {E::EpochCreated{t, id}};
    case VX_EV_EPOCH_STARTED: return {E::EpochStarted{t, id}};
    case VX_EV_EPOCH_FINISHED: return {E::EpochFinished{t, epoch_of(e.epoch)}};
    case VX_EV_EPOCH_CANCELLED: return {E::EpochCancelled{t, epoch_of(e.epoch)}};
    case VX_EV_PACKET_MOVED:
      return {
          E::PacketMoved{t, id, location_of(e.location), location_of(e.to_location), e.from_index}};
    case VX_EV_INPUT_SALVO_TRIGGERED:
      return {E::InputSalvoTriggered{t, id, string_of(e.salvo_condition)}};
    case VX_EV_OUTPUT_SALVO_TRIGGERED:
      return {E::OutputSalvoTriggered{t, id, string_of(e.salvo_condition)}};
    case VX_EV_PACKET_ORPHANED:
      return {E::PacketOrphaned{t, id, ulid_of(e.epoch_id), string_of(e.node_name),
                                string_of(e.port_name), string_of(e.salvo_condition)}};
    case VX_EV_REQUEST_CREATED:
      if (e.source > VX_SOURCE_ON_NO_SALVO_TRIGGERED) throw BadInput("unknown request source");
      return {E::RequestCreated{t, string_of(e.node_name), string_of(e.label),
                                static_cast<RequestCreatedSource>(e.source)}};
    case VX_EV_REQUEST_CASCADE_RESOLVED: {
      if (e.source_nodes == nullptr && e.source_node_count != 0) {
        throw BadInput("a cascade event has no source node array");
      }
      E::RequestCascadeResolved r{t, {}, string_of(e.label)};
      for (std::size_t i = 0; i < e.source_node_count; ++i) {
        r.source_nodes.push_back(string_of(e.source_nodes[i]));
      }
      return {std::move(r)};
    }
    case VX_EV_REQUEST_EPOCH_CREATED:
      return {E::RequestEpochCreated{t, id, string_of(e.node_name), string_of(e.label)}};
    default: throw BadInput("unknown event kind");
  }
}

}  // namespace

EventList events_of(const vx_event* events, std::size_t count) {
  if (events == nullptr && count != 0) throw BadInput("no event array");
  EventList out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) out.push_back(event_of(events[i]));
  return out;
}

NetAction action_of(const vx_action& a) {
  using A = NetAction;
  const Ulid packet = ulid_of(a.packet_id);
  const Ulid epoch = ulid_of(a.epoch_id);
  // A host's usual named actions are built in place, name and all: a name
  // made first and then moved into the action is copied twice.
  const auto named = [&]<class T>(std::in_place_type_t<T> kind, const Ulid& id, vx_str name) {
    return A{decltype(A::value)(kind, id, BuiltBy{[&] { return string_of(name); }})};
  };
  switch (a.kind) {
    case VX_ACT_RUN_STEP: return {A::RunStep{}};
    case VX_ACT_CREATE_PACKET:
      return {A::CreatePacket{a.has_epoch != 0 ? std::optional<Ulid>(epoch) : std::nullopt}};
    case VX_ACT_CONSUME_PACKET: return {A::ConsumePacket{packet}};
    case VX_ACT_DESTROY_PACKET: return {A::DestroyPacket{packet}};
    case VX_ACT_START_EPOCH: return {A::StartEpoch{epoch}};
    case VX_ACT_FINISH_EPOCH: return {A::FinishEpoch{epoch}};
    case VX_ACT_CANCEL_EPOCH: return {A::CancelEpoch{epoch}};
    case VX_ACT_CREATE_EPOCH: return {A::CreateEpoch{string_of(a.node_name), salvo_of(a.salvo)}};
    case VX_ACT_LOAD_PACKET_INTO_OUTPUT_PORT:
      return named(std::in_place_type<A::LoadPacketIntoOutputPort>, packet, a.port_name);
    case VX_ACT_SEND_OUTPUT_SALVO:
      return named(std::in_place_type<A::SendOutputSalvo>, epoch, a.salvo_condition);
    case VX_ACT_TRANSPORT_PACKET_TO_LOCATION:
      return {A::TransportPacketToLocation{packet, location_of(a.destination)}};
    case VX_ACT_CREATE_REQUEST:
      return {A::CreateRequest{string_of(a.node_name), string_of(a.label)}};
    default: throw BadInput("unknown action kind");
  }
}

}  // namespace vornix::capi

using namespace vornix;
using vornix::capi::id_of;
using vornix::capi::str_of;

vx_str vx_result::name(std::string_view s) {
  if (s.empty()) return {};
  if (names != nullptr) {
    if (const char* at = names->find(s)) return {at, s.size()};
  }
  return copy_names ? keep(s) : str_of(s);
}

vx_str vx_result::remember_name(const Name& n) {
  if (names == nullptr || !n.made()) return name(std::string_view(n));
  capi::NameTable::SeenName& seen = names->seen(n);
  if (seen.name.identity() == n.identity()) return seen.str;
  const vx_str s = name(std::string_view(n));
  if (names->holds(s)) seen = {n, s};
  return s;
}

void vx_result::input_port_record(const PacketLocation::InputPort& p, vx_location& out) {
  out.node_name = name(p.node_name);
  out.port_name = name(p.port_name);
  if (names == nullptr) return;
  out.place = names->place(out.node_name.ptr, out.port_name.ptr);
  if (p.node_name.made() && p.port_name.made() && names->holds(out.node_name) &&
      names->holds(out.port_name)) {
    names->seen(p.node_name, p.port_name) = {p.node_name, p.port_name, out.node_name, out.port_name,
                                             out.place};
  }
}

void vx_result::edge_record(const PacketLocation::Edge& e, vx_location& out) {
  auto port_ref = [&](const PortRef& p, vx_port_ref& to) {
    to = {name(p.node_name), static_cast<std::uint32_t>(p.port_type), name(p.port_name)};
  };
  vx_port_ref& s = out.edge.source;
  vx_port_ref& t = out.edge.target;
  port_ref(e.edge->source, s);
  port_ref(e.edge->target, t);
  if (names == nullptr) return;
  out.place = names->place(s.node_name.ptr, s.port_type, s.port_name.ptr, t.node_name.ptr,
                           t.port_type, t.port_name.ptr);
  if (e.edge.made() && names->holds(s.node_name) && names->holds(s.port_name) &&
      names->holds(t.node_name) && names->holds(t.port_name)) {
    names->seen(e.edge) = {e.edge, out.edge, out.place};
  }
}

namespace {

// Writes a salvo's packets and returns its record.
vx_salvo salvo_record(vx_result& r, const Salvo& salvo) {
  vx_salvo_packet* run = r.salvo_packets.take(salvo.packets.size());
  vx_salvo_packet* at = run;
  for (const auto& [port, id] : salvo.packets) *at++ = {r.shared_name(port), id_of(id)};
  return {r.shared_name(salvo.salvo_condition), run, salvo.packets.size()};
}

}  // namespace

const vx_epoch* vx_result::add_epoch(const Epoch& e) {
  vx_epoch& rec = *epoch_records.take(1);
  capi::zero_record(rec);
  rec.id = id_of(e.id);
  rec.node_name = shared_name(e.node_name);
  rec.state = static_cast<std::uint32_t>(e.state);
  rec.in_salvo = salvo_record(*this, e.in_salvo);
  vx_salvo* outs = salvo_records.take(e.out_salvos.size());
  rec.out_salvos = outs;
  rec.out_salvo_count = e.out_salvos.size();
  for (const Salvo& s : e.out_salvos) *outs++ = salvo_record(*this, s);
  vx_orphan* orphan = orphans.take(e.orphaned_packets.size());
  rec.orphaned_packets = orphan;
  rec.orphan_count = e.orphaned_packets.size();
  for (const OrphanedPacketInfo& o : e.orphaned_packets) {
    *orphan++ = {id_of(o.packet_id), name(o.from_port), name(o.salvo_condition)};
  }
  return &rec;
}

const vx_epoch* vx_result::finished_epoch(const Epoch& e) {
  // A finish's event and its response carry the same epoch but for its
  // state (the event's is still running): the event's record is the
  // response's with that state, pointing to the same salvos and orphans.
  const vx_epoch* finished = view.epoch;
  if (view.response != VX_RESP_FINISHED_EPOCH || finished == nullptr ||
      !(capi::ulid_of(finished->id) == e.id)) {
    return add_epoch(e);
  }
  vx_epoch& rec = *epoch_records.take(1);
  rec = *finished;
  rec.state = static_cast<std::uint32_t>(e.state);
  return &rec;
}

namespace {

// std::visit by comparing the index with each kind's in turn: the compiler
// makes one switch of them, with every kind's code inline, where std::visit
// calls each kind through a table of functions.
template <class F, class... T>
void visit_inline(F&& f, const std::variant<T...>& v) {
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (void)((v.index() == I && (f(*std::get_if<I>(&v)), true)) || ...);
  }
  (std::index_sequence_for<T...>{});
}

}  // namespace

void vx_result::add_events(const EventList& list) {
  // Each kind's fields; the timestamp, which every kind has, is written by
  // the same visit.
  const Overloaded fields{
      [](vx_event& rec, const NetEvent::PacketCreated& e) { rec.id = id_of(e.packet_id); },
      [this](vx_event& rec, const NetEvent::PacketConsumed& e) {
        rec.id = id_of(e.packet_id);
        location_record(e.location, rec.location);
      },
      [this](vx_event& rec, const NetEvent::PacketDestroyed& e) {
        rec.id = id_of(e.packet_id);
        location_record(e.location, rec.location);
      },
      [](vx_event& rec, const NetEvent::EpochCreated& e) { rec.id = id_of(e.epoch_id); },
      [](vx_event& rec, const NetEvent::EpochStarted& e) { rec.id = id_of(e.epoch_id); },
      [this](vx_event& rec, const NetEvent::EpochFinished& e) {
        rec.id = id_of(e.epoch->id);
        rec.epoch = finished_epoch(e.epoch);
      },
      [this](vx_event& rec, const NetEvent::EpochCancelled& e) {
        rec.id = id_of(e.epoch->id);
        rec.epoch = add_epoch(e.epoch);
      },
      [this](vx_event& rec, const NetEvent::PacketMoved& e) {
        rec.id = id_of(e.packet_id);
        location_record(e.from_location, rec.location);
        location_record(e.to_location, rec.to_location);
        rec.from_index = e.from_index;
      },
      [this](vx_event& rec, const NetEvent::InputSalvoTriggered& e) {
        rec.id = id_of(e.epoch_id);
        rec.salvo_condition = shared_name(e.salvo_condition);
      },
      [this](vx_event& rec, const NetEvent::OutputSalvoTriggered& e) {
        rec.id = id_of(e.epoch_id);
        rec.salvo_condition = shared_name(e.salvo_condition);
      },
      [this](vx_event& rec, const NetEvent::PacketOrphaned& e) {
        rec.id = id_of(e.packet_id);
        rec.epoch_id = id_of(e.epoch_id);
        rec.node_name = name(e.node_name);
        rec.port_name = name(e.port_name);
        rec.salvo_condition = name(e.salvo_condition);
      },
      [this](vx_event& rec, const NetEvent::RequestCreated& e) {
        rec.node_name = name(e.node_name);
        rec.label = name(e.label);
        rec.source = static_cast<std::uint32_t>(e.source);
      },
      [this](vx_event& rec, const NetEvent::RequestCascadeResolved& e) {
        vx_str* source = strs.take(e.source_nodes.size());
        rec.source_nodes = source;
        for (const std::string& s : e.source_nodes) *source++ = name(s);
        rec.source_node_count = e.source_nodes.size();
        rec.label = name(e.label);
      },
      [this](vx_event& rec, const NetEvent::RequestEpochCreated& e) {
        rec.id = id_of(e.epoch_id);
        rec.node_name = name(e.node_name);
        rec.label = name(e.label);
      },
  };
  for (const NetEvent& event : list) {
    vx_event& rec = event_records.emplace_back();
    capi::zero_record(rec);  // a kind's unused fields stay zero
    rec.kind = static_cast<std::uint32_t>(event.value.index());
    visit_inline(
        [&](const auto& e) {
          rec.timestamp = e.timestamp;
          fields(rec, e);
        },
        event.value);
  }
}

void vx_result::set_response(const NetActionResponseData& data) {
  using D = NetActionResponseData;
  view.response = static_cast<std::uint32_t>(data.value.index()) + 1;
  std::visit(Overloaded{
                 [&](const D::StepResult& d) { view.made_progress = d.made_progress ? 1 : 0; },
                 [&](const D::Packet& d) { view.id = id_of(d.packet_id); },
                 [&](const D::CreatedEpoch& d) { view.epoch = add_epoch(d.epoch); },
                 [&](const D::StartedEpoch& d) { view.epoch = add_epoch(d.epoch); },
                 [&](const D::FinishedEpoch& d) { view.epoch = add_epoch(d.epoch); },
                 [&](const D::CancelledEpoch& d) {
                   view.epoch = add_epoch(d.epoch);
                   for (const Ulid& id : d.destroyed_packets) ids.push_back(id_of(id));
                 },
                 [](const D::Empty&) {},
             },
             data.value);
}

void vx_result::set_error(const NetActionError& error) {
  using N = NetActionError;
  error_record = vx_error{};
  vx_error& r = error_record;
  r.code = static_cast<std::uint32_t>(error.value.index()) + 1;
  std::visit(
      [&](const auto& e) {
        using T = std::decay_t<decltype(e)>;
        if constexpr (requires { e.packet_id; }) r.packet_id = id_of(e.packet_id);
        if constexpr (requires { e.epoch_id; }) r.epoch_id = id_of(e.epoch_id);
        if constexpr (requires { e.port_name; }) r.port_name = str_of(e.port_name);
        if constexpr (requires { e.node_name; }) r.node_name = str_of(e.node_name);
        if constexpr (requires { e.condition_name; }) r.condition_name = str_of(e.condition_name);
        if constexpr (std::is_same_v<T, N::EdgeNotFound>) r.edge = capi::edge_record(e.edge);
      },
      error.value);
  r.text = keep(error.to_string());
  view.error = &error_record;
}

void vx_result::set_undo_error(const UndoError& error) {
  // The error is the caller's temporary: keep copies of both texts.
  undo_error = {static_cast<std::uint32_t>(error.kind), keep(error.message),
                keep(error.to_string())};
  view.undo_error = &undo_error;
}

namespace {

vx_bound slots_record(const PortSlotSpec& s) {
  const std::optional<std::uint64_t> n = s.capacity();
  return n ? vx_bound{0, *n} : vx_bound{1, 0};
}

vx_port_count count_record(const std::pair<std::string, PacketCount>& entry) {
  const auto* counted = std::get_if<PacketCount::Count>(&entry.second.value);
  return {str_of(entry.first), counted == nullptr ? 1 : 0, counted == nullptr ? 0 : counted->n};
}

// A port state's VX_STATE_ code is its alternative's position; the counting
// states carry their number.
void state_record(const PortState& state, vx_term& out) {
  out.state = static_cast<std::uint32_t>(state.value.index());
  std::visit(
      [&](const auto& s) {
        if constexpr (requires { s.n; }) out.n = s.n;
      },
      state.value);
}

// Writes `term` and its sub-terms in prefix order. Terms nest no deeper than
// the builder lets in, which keeps this recursion off the end of the stack.
void add_terms(const SalvoConditionTerm& term, std::vector<vx_term>& out) {
  using T = SalvoConditionTerm;
  vx_term& r = out.emplace_back();
  r = vx_term{};
  r.kind = static_cast<std::uint32_t>(term.value.index());
  std::visit(Overloaded{[](const T::True&) {}, [](const T::False&) {},
                        [&](const T::Port& p) {
                          r.port_name = str_of(p.port_name.view());
                          state_record(p.state, r);
                        },
                        [&](const T::And& a) {
                          r.child_count = static_cast<std::uint32_t>(a.terms.size());
                          for (const T& t : a.terms) add_terms(t, out);
                        },
                        [&](const T::Or& o) {
                          r.child_count = static_cast<std::uint32_t>(o.terms.size());
                          for (const T& t : o.terms) add_terms(t, out);
                        },
                        [&](const T::Not& n) { add_terms(*n.inner, out); }},
             term.value);
}

}  // namespace

// The node's arrays are filled first and pointed at afterwards, since a
// vector may move while it grows.
void vx_result::set_node(const Node& node, const Node* previous) {
  port_records.clear();
  condition_records.clear();
  count_records.clear();
  term_records.clear();
  trigger_records.clear();
  struct Side {
    std::size_t ports, conditions;
  };
  const auto add_side = [&](const NameMap<Port>& ports,
                            const OrderedMap<SalvoCondition>& conditions) {
    const Side at{port_records.size(), condition_records.size()};
    for (const auto& [name, port] : ports) {
      port_records.push_back({str_of(name), slots_record(port.slots_spec)});
    }
    for (const auto& [name, condition] : conditions) {
      vx_salvo_condition& c = condition_records.emplace_back();
      c = vx_salvo_condition{};
      c.name = str_of(name);
      c.max_salvos = capi::bound_record(condition.max_salvos);
      // Offsets for now, into the count and term arrays.
      c.port_count = count_records.size();
      for (const auto& entry : condition.ports) count_records.push_back(count_record(entry));
      c.port_count = count_records.size() - c.port_count;
      c.term_count = term_records.size();
      add_terms(condition.term, term_records);
      c.term_count = term_records.size() - c.term_count;
    }
    return at;
  };
  const Side in = add_side(node.in_ports, node.in_salvo_conditions);
  const Side out = add_side(node.out_ports, node.out_salvo_conditions);
  std::size_t counts = 0, terms = 0;
  for (vx_salvo_condition& c : condition_records) {
    c.ports = count_records.data() + counts;
    c.terms = term_records.data() + terms;
    counts += c.port_count;
    terms += c.term_count;
  }
  vx_node& n = node_record;
  n = vx_node{};
  n.name = str_of(node.name);
  n.in_ports = port_records.data() + in.ports;
  n.in_port_count = out.ports - in.ports;
  n.out_ports = port_records.data() + out.ports;
  n.out_port_count = port_records.size() - out.ports;
  n.in_conditions = condition_records.data() + in.conditions;
  n.in_condition_count = out.conditions - in.conditions;
  n.out_conditions = condition_records.data() + out.conditions;
  n.out_condition_count = condition_records.size() - out.conditions;
  if (const auto& config = node.dependency_request_config) {
    for (const DependencyRequestTrigger t : config->triggers) {
      trigger_records.push_back(static_cast<std::uint32_t>(t));
    }
    n.has_request_config = 1;
    n.triggers = trigger_records.data();
    n.trigger_count = trigger_records.size();
    n.label = str_of(config->label);
  }
  if (previous != nullptr) {
    const auto bit = [](bool same, std::uint32_t b) { return same ? b : 0u; };
    n.same_as_previous =
        bit(same_in_order(node.in_ports, previous->in_ports), VX_SAME_IN_PORTS) |
        bit(same_in_order(node.out_ports, previous->out_ports), VX_SAME_OUT_PORTS) |
        bit(same_in_order(node.in_salvo_conditions, previous->in_salvo_conditions),
            VX_SAME_IN_CONDITIONS) |
        bit(same_in_order(node.out_salvo_conditions, previous->out_salvo_conditions),
            VX_SAME_OUT_CONDITIONS);
  }
  view.node = &node_record;
}

void vx_result::add_edge(const Edge& edge) { edge_records.push_back(capi::edge_record(edge)); }

void vx_result::show_edges() {
  view.edges = edge_records.data();
  view.edge_count = edge_records.size();
}

void vx_result::set_validation(std::vector<GraphValidationError> errors) {
  using V = GraphValidationError;
  validation = std::move(errors);
  for (const GraphValidationError& error : validation) {
    vx_validation_error& r = validation_records.emplace_back();
    r = vx_validation_error{};
    r.code = static_cast<std::uint32_t>(error.value.index());
    std::visit(
        Overloaded{
            [&](const V::MultipleEdgesFromOutputPort& e) {
              r.port = capi::port_ref_record(e.output_port);
              r.edge_count = e.edge_count;
            },
            [&](const V::EdgeReferencesNonexistentNode& e) {
              r.edge = capi::edge_record(e.edge);
              r.missing_node = str_of(e.missing_node);
            },
            [&](const V::EdgeReferencesNonexistentPort& e) {
              r.edge = capi::edge_record(e.edge);
              r.port = capi::port_ref_record(e.missing_port);
            },
            [&](const V::EdgeSourceNotOutputPort& e) { r.edge = capi::edge_record(e.edge); },
            [&](const V::EdgeTargetNotInputPort& e) { r.edge = capi::edge_record(e.edge); },
            [&](const V::SalvoConditionReferencesNonexistentPort& e) {
              r.node_name = str_of(e.node_name);
              r.condition_name = str_of(e.condition_name);
              r.missing_port = str_of(e.missing_port);
              r.is_input_condition = e.is_input_condition ? 1 : 0;
            },
            [&](const V::SalvoConditionTermReferencesNonexistentPort& e) {
              r.node_name = str_of(e.node_name);
              r.condition_name = str_of(e.condition_name);
              r.missing_port = str_of(e.missing_port);
              r.is_input_condition = e.is_input_condition ? 1 : 0;
            },
            [&](const V::InputSalvoConditionInvalidMaxSalvos& e) {
              r.node_name = str_of(e.node_name);
              r.condition_name = str_of(e.condition_name);
              r.max_salvos = capi::bound_record(e.max_salvos);
            },
            [&](const V::DependencyEdgeNotInGraph& e) { r.edge = capi::edge_record(e.edge); },
            [&](const V::DependencyRequestConfigWithoutDependencyEdges& e) {
              r.node_name = str_of(e.node_name);
            },
        },
        error.value);
    r.kind = str_of(error.kind());
    r.message = keep(error.message());
  }
}
