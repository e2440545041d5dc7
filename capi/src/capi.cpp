// The functions of vornix.h over the engine.
//
// Every entry point runs its body through guarded(): no exception leaves
// this file. The engine's faults and allocation failures become VX_FAULT,
// malformed records VX_BAD_INPUT, each with its text in the result.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "base/fault.hpp"
#include "base/wall_clock.hpp"
#include "graph/graph.hpp"
#include "result.hpp"

using namespace vornix;
using vornix::capi::BadInput;
using vornix::capi::id_of;
using vornix::capi::str_of;
using vornix::capi::ulid_of;
using vornix::capi::view_of;

struct vx_builder {
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  std::vector<Edge> dependency_edges;
};

struct vx_graph {
  std::shared_ptr<const Graph> graph;
  std::atomic<std::size_t> refs{1};

  // The name block, made with the graph (vx_builder_finish) and shared by
  // every simulation over it. Made here instead when that failed: the
  // first simulation then reports why.
  const capi::GraphNames& names() {
    std::call_once(names_made, [&] { names_ = std::make_unique<const capi::GraphNames>(*graph); });
    return *names_;
  }

 private:
  std::once_flag names_made;
  std::unique_ptr<const capi::GraphNames> names_;
};

struct vx_sim {
  vx_graph* graph;  // one reference held
  NetSim sim;
  capi::NameTable names;
};

void vx_result::clear() {
  vornix::capi::zero_record(view);
  response.reset();
  events.clear();
  validation.clear();
  texts_used = 0;
  names = nullptr;
  copy_names = false;
  event_records.clear();
  epoch_records.clear();
  salvo_records.clear();
  salvo_packets.clear();
  orphans.clear();
  strs.clear();
  ids.clear();
  validation_records.clear();
}

vx_str vx_result::keep(std::string_view text) {
  if (texts_used == texts.size()) texts.emplace_back();
  std::string& slot = texts[texts_used++];
  slot.assign(text);  // into the slot's own storage, which a loop reuses
  return str_of(slot);
}

void vx_result::publish() {
  view.events = event_records.data();
  view.event_count = event_records.size();
  view.validation_errors = validation_records.data();
  view.validation_error_count = validation_records.size();
  view.ids = ids.data();
  view.id_count = ids.size();
}

namespace {

// Clears `result` and leaves `text` as its message; keeping the text may
// need memory, and a failure there must not escape either.
void fail_with(vx_result& result, std::string_view text) noexcept {
  result.clear();
  try {
    result.view.message = result.keep(text);
  } catch (...) {
    result.view.message = str_of("out of memory");
  }
}

// Runs `body` (which returns a status) and publishes the records it wrote,
// turning every exception into a status and a message. The body clears the
// result itself once it has read its inputs: those may point into the same
// result (events handed back for undo, a name from a refusal).
template <class F>
vx_status guarded(vx_result* result, F&& body) noexcept {
  if (result == nullptr) return VX_BAD_INPUT;
  vx_status status = VX_FAULT;
  try {
    status = body(*result);
    result->publish();
  } catch (const BadInput& e) {
    status = VX_BAD_INPUT;
    fail_with(*result, e.what());
  } catch (const InternalError& e) {
    status = VX_FAULT;
    fail_with(*result, e.message());
  } catch (const std::exception& e) {
    status = VX_FAULT;
    fail_with(*result, e.what());
  } catch (...) {
    status = VX_FAULT;
    fail_with(*result, "unknown fault");
  }
  result->view.status = status;
  return status;
}

[[noreturn, gnu::cold, gnu::noinline]] void refuse_input(const char* what) { throw BadInput(what); }

// Inline, with the throw out of line: every call checks its arguments, and
// a call here for each check cost more than the checks.
inline void require(bool condition, const char* what) {
  if (!condition) [[unlikely]]
    refuse_input(what);
}

Node& node_at(vx_builder* b, std::uint32_t node) {
  require(b != nullptr, "no builder");
  require(node < b->nodes.size(), "no node at that index");
  return b->nodes[node];
}

PortSlotSpec slots_of(vx_bound b) {
  return b.infinite != 0 ? PortSlotSpec::infinite() : PortSlotSpec::finite(b.n);
}

PortState state_of(const vx_term& t) {
  switch (t.state) {
    case VX_STATE_EMPTY: return PortState::empty();
    case VX_STATE_FULL: return PortState::full();
    case VX_STATE_NON_EMPTY: return PortState::non_empty();
    case VX_STATE_NON_FULL: return PortState::non_full();
    case VX_STATE_EQUALS: return PortState::equals(t.n);
    case VX_STATE_LESS_THAN: return PortState::less_than(t.n);
    case VX_STATE_GREATER_THAN: return PortState::greater_than(t.n);
    case VX_STATE_EQUALS_OR_LESS_THAN: return PortState::equals_or_less_than(t.n);
    case VX_STATE_EQUALS_OR_GREATER_THAN: return PortState::equals_or_greater_than(t.n);
    default: throw BadInput("unknown port state");
  }
}

// Reads one term starting at terms[at], advancing `at` past it. The depth
// bound keeps this recursion, and the engine's over the term, off the end
// of the stack.
SalvoConditionTerm term_of(const vx_term* terms, std::size_t count, std::size_t& at,
                           std::size_t depth) {
  require(depth <= VX_MAX_TERM_DEPTH, "term nests too deep");
  require(at < count, "term records end inside a term");
  const vx_term& t = terms[at++];
  switch (t.kind) {
    case VX_TERM_TRUE: return SalvoConditionTerm::true_();
    case VX_TERM_FALSE: return SalvoConditionTerm::false_();
    case VX_TERM_PORT:
      return SalvoConditionTerm::port(std::string(view_of(t.port_name)), state_of(t));
    case VX_TERM_AND:
    case VX_TERM_OR: {
      // Each child takes at least one record: a larger count is malformed,
      // and checking it first keeps the reserve below bounded by the input.
      require(t.child_count <= count - at, "term records end inside a term");
      std::vector<SalvoConditionTerm> children;
      children.reserve(t.child_count);
      for (std::uint32_t i = 0; i < t.child_count; ++i) {
        children.push_back(term_of(terms, count, at, depth + 1));
      }
      return t.kind == VX_TERM_AND ? SalvoConditionTerm::and_(std::move(children))
                                   : SalvoConditionTerm::or_(std::move(children));
    }
    case VX_TERM_NOT: return SalvoConditionTerm::not_(term_of(terms, count, at, depth + 1));
    default: throw BadInput("unknown term kind");
  }
}

// A pointer-taking variant given a null record: the same refusal its
// by-value twin's checks give.
vx_status no_record(vx_result* result) noexcept {
  return guarded(result, [](vx_result&) -> vx_status { throw BadInput("a record is null"); });
}

const NetSim& sim_of(const vx_sim* sim) {
  require(sim != nullptr, "no simulation");
  return sim->sim;
}

NetSim& sim_of(vx_sim* sim) {
  require(sim != nullptr, "no simulation");
  return sim->sim;
}

}  // namespace

extern "C" {

// ---- Identifiers ----

int32_t vx_ulid_parse(vx_str text, vx_id* out) {
  if (text.ptr == nullptr || out == nullptr) return 1;
  const Result<Ulid, UlidParseError> parsed = Ulid::parse({text.ptr, text.len});
  if (!parsed) return parsed.error() == UlidParseError::InvalidLength ? 1 : 2;
  *out = id_of(*parsed);
  return 0;
}

int32_t vx_ulid_parse_p(const char* text, size_t len, vx_id* out) {
  return vx_ulid_parse({text, len}, out);
}

void vx_ulid_format(vx_id id, char* out) {
  if (out != nullptr) ulid_of(id).write_text(out);
}

vx_id vx_ulid_generate(void) { return id_of(Ulid::generate()); }

// ---- Result ----

vx_result* vx_result_new(void) { return new (std::nothrow) vx_result(); }
void vx_result_free(vx_result* result) { delete result; }
const vx_view* vx_result_view(const vx_result* result) {
  return result != nullptr ? &result->view : nullptr;
}

// ---- Builder and graph ----

vx_builder* vx_builder_new(void) { return new (std::nothrow) vx_builder(); }
void vx_builder_free(vx_builder* builder) { delete builder; }

vx_status vx_builder_add_node(vx_builder* b, vx_str name, uint32_t* index, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(b != nullptr && index != nullptr, "no builder or no index");
    require(b->nodes.size() < 0xFFFFFFFFu, "too many nodes");
    Node n;
    n.name = std::string(view_of(name));
    r.clear();
    b->nodes.push_back(std::move(n));
    *index = static_cast<std::uint32_t>(b->nodes.size() - 1);
    return VX_OK;
  });
}

vx_status vx_builder_add_port(vx_builder* b, uint32_t node, uint32_t port_type, vx_str name,
                              vx_bound slots, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    Node& n = node_at(b, node);
    require(port_type <= VX_PORT_OUTPUT, "unknown port type");
    auto& ports = port_type == VX_PORT_INPUT ? n.in_ports : n.out_ports;
    std::string port_name(view_of(name));
    r.clear();
    ports.insert_or_assign(std::move(port_name), Port{slots_of(slots)});
    return VX_OK;
  });
}

vx_status vx_builder_add_salvo_condition(vx_builder* b, uint32_t node, uint32_t port_type,
                                         vx_str name, vx_bound max_salvos,
                                         const vx_port_count* ports, size_t port_count,
                                         const vx_term* terms, size_t term_count,
                                         vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    Node& n = node_at(b, node);
    require(port_type <= VX_PORT_OUTPUT, "unknown port type");
    require(ports != nullptr || port_count == 0, "no port count array");
    require(terms != nullptr, "no term array");
    SalvoCondition c;
    c.max_salvos =
        max_salvos.infinite != 0 ? MaxSalvos::infinite() : MaxSalvos::finite(max_salvos.n);
    for (std::size_t i = 0; i < port_count; ++i) {
      c.ports.insert_or_assign(
          std::string(view_of(ports[i].port_name)),
          ports[i].all != 0 ? PacketCount::all() : PacketCount::count(ports[i].n));
    }
    std::size_t at = 0;
    c.term = term_of(terms, term_count, at, 1);
    require(at == term_count, "term records left over after the term");
    auto& conditions = port_type == VX_PORT_INPUT ? n.in_salvo_conditions : n.out_salvo_conditions;
    std::string condition_name(view_of(name));
    r.clear();
    conditions.insert_or_assign(std::move(condition_name), std::move(c));
    return VX_OK;
  });
}

vx_status vx_builder_set_request_config(vx_builder* b, uint32_t node, const uint32_t* triggers,
                                        size_t trigger_count, vx_str label, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    Node& n = node_at(b, node);
    require(triggers != nullptr || trigger_count == 0, "no trigger array");
    DependencyRequestConfig config;
    for (std::size_t i = 0; i < trigger_count; ++i) {
      require(triggers[i] <= VX_TRIGGER_ON_NO_SALVO_TRIGGERED, "unknown trigger");
      config.triggers.push_back(static_cast<DependencyRequestTrigger>(triggers[i]));
    }
    config.label = std::string(view_of(label));
    r.clear();
    n.dependency_request_config = std::move(config);
    return VX_OK;
  });
}

vx_status vx_builder_add_node_p(vx_builder* b, const vx_str* name, uint32_t* index,
                                vx_result* result) {
  if (name == nullptr) return no_record(result);
  return vx_builder_add_node(b, *name, index, result);
}

vx_status vx_builder_add_node_like(vx_builder* b, const vx_str* name, uint32_t like,
                                   uint32_t* index, vx_result* result) {
  if (name == nullptr) return no_record(result);
  return guarded(result, [&](vx_result& r) {
    require(index != nullptr, "no index");
    require(b == nullptr || b->nodes.size() < 0xFFFFFFFFu, "too many nodes");
    // A copy first: adding the node may move the one it is copied from. The
    // copies share the maps of the node they repeat.
    Node& model = node_at(b, like);
    model.share_parts();
    Node n = model;
    n.name = std::string(view_of(*name));
    r.clear();
    b->nodes.push_back(std::move(n));
    *index = static_cast<std::uint32_t>(b->nodes.size() - 1);
    return VX_OK;
  });
}

vx_status vx_builder_add_port_p(vx_builder* b, uint32_t node, uint32_t port_type,
                                const vx_str* name, const vx_bound* slots, vx_result* result) {
  if (name == nullptr || slots == nullptr) return no_record(result);
  return vx_builder_add_port(b, node, port_type, *name, *slots, result);
}

vx_status vx_builder_add_salvo_condition_p(vx_builder* b, uint32_t node, uint32_t port_type,
                                           const vx_str* name, const vx_bound* max_salvos,
                                           const vx_port_count* ports, size_t port_count,
                                           const vx_term* terms, size_t term_count,
                                           vx_result* result) {
  if (name == nullptr || max_salvos == nullptr) return no_record(result);
  return vx_builder_add_salvo_condition(b, node, port_type, *name, *max_salvos, ports, port_count,
                                        terms, term_count, result);
}

vx_status vx_builder_set_request_config_p(vx_builder* b, uint32_t node, const uint32_t* triggers,
                                          size_t trigger_count, const vx_str* label,
                                          vx_result* result) {
  if (label == nullptr) return no_record(result);
  return vx_builder_set_request_config(b, node, triggers, trigger_count, *label, result);
}

vx_status vx_builder_add_edge(vx_builder* b, const vx_edge* edge, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(b != nullptr && edge != nullptr, "no builder or no edge");
    Edge e = capi::edge_of(*edge);
    r.clear();
    b->edges.push_back(std::move(e));
    return VX_OK;
  });
}

vx_status vx_builder_add_dependency_edge(vx_builder* b, const vx_edge* edge, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(b != nullptr && edge != nullptr, "no builder or no edge");
    Edge e = capi::edge_of(*edge);
    r.clear();
    b->dependency_edges.push_back(std::move(e));
    return VX_OK;
  });
}

vx_status vx_builder_finish(vx_builder* b, vx_graph** out, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(b != nullptr && out != nullptr, "no builder or no output");
    r.clear();
    // Moved, not copied: a copy of every node and edge, and freeing the
    // builder's afterwards, cost as much as building them.
    std::vector<Node> nodes = std::exchange(b->nodes, {});
    std::vector<Edge> edges = std::exchange(b->edges, {});
    std::vector<Edge> dependency_edges = std::exchange(b->dependency_edges, {});
    Graph graph = Graph(std::move(nodes), std::move(edges))
                      .with_dependency_edges(std::move(dependency_edges));
    auto g = std::make_unique<vx_graph>();
    g->graph = std::make_shared<const Graph>(std::move(graph));
    // The names are the graph's, like its nodes: a simulation adds only
    // its own state. A graph too large for a name block is still a graph.
    try {
      (void)g->names();
    } catch (const std::length_error&) {
    }
    *out = g.release();
    return VX_OK;
  });
}

void vx_graph_retain(vx_graph* graph) {
  if (graph != nullptr) graph->refs.fetch_add(1, std::memory_order_relaxed);
}

void vx_graph_release(vx_graph* graph) {
  if (graph != nullptr && graph->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete graph;
}

int32_t vx_graph_is_valid(const vx_graph* graph) {
  // is_valid only remembers a verdict it can always work out again, so a
  // failure to allocate on the way answers "not valid" rather than throwing.
  try {
    return graph != nullptr && graph->graph->is_valid() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

vx_status vx_graph_validate(const vx_graph* graph, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(graph != nullptr, "no graph");
    r.clear();
    r.set_validation(graph->graph->validate());
    return VX_OK;
  });
}

// ---- Reading a graph back ----

size_t vx_graph_count(const vx_graph* graph, uint32_t list) {
  if (graph == nullptr) return 0;
  const Graph& g = *graph->graph;
  switch (list) {
    case VX_GRAPH_NODES: return g.nodes().size();
    case VX_GRAPH_EDGES: return g.edges().size();
    case VX_GRAPH_EDGES_AS_GIVEN: return g.edges_as_given().size();
    case VX_GRAPH_DEPENDENCY_EDGES: return g.dependency_edges().size();
    default: return 0;
  }
}

vx_status vx_graph_node(const vx_graph* graph, uint32_t index, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(graph != nullptr, "no graph");
    const std::span<const Node> nodes = graph->graph->nodes();
    require(index < nodes.size(), "no node at that index");
    r.clear();
    r.set_node(nodes[index], index == 0 ? nullptr : &nodes[index - 1]);
    return VX_OK;
  });
}

vx_status vx_graph_edges(const vx_graph* graph, uint32_t list, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(graph != nullptr, "no graph");
    const Graph& g = *graph->graph;
    r.clear();
    r.edge_records.clear();
    switch (list) {
      case VX_GRAPH_EDGES:
        for (const Edge& e : g.edges()) r.add_edge(e);
        break;
      case VX_GRAPH_EDGES_AS_GIVEN:
        for (const std::uint32_t i : g.edges_as_given()) r.add_edge(g.edges()[i]);
        break;
      case VX_GRAPH_DEPENDENCY_EDGES:
        for (const Edge& e : g.dependency_edges()) r.add_edge(e);
        break;
      default: throw BadInput("not an edge list");
    }
    r.show_edges();
    return VX_OK;
  });
}

vx_status vx_graph_edges_by_head(const vx_graph* graph, const vx_port_ref* port,
                                 vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(graph != nullptr && port != nullptr, "no graph or no port");
    const PortRef head = capi::port_ref_of(*port);
    r.clear();
    r.edge_records.clear();
    for (const Edge& e : graph->graph->get_edges_by_head(head)) r.add_edge(e);
    r.show_edges();
    return VX_OK;
  });
}

vx_status vx_graph_is_dependency_edge(const vx_graph* graph, const vx_edge* edge,
                                      vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(graph != nullptr && edge != nullptr, "no graph or no edge");
    const Edge e = capi::edge_of(*edge);
    r.clear();
    r.view.found = graph->graph->is_dependency_edge(e) ? 1 : 0;
    return VX_OK;
  });
}

// ---- Simulation ----

vx_status vx_sim_new(vx_graph* graph, vx_sim** out, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(graph != nullptr && out != nullptr, "no graph or no output");
    r.clear();
    auto sim = std::make_unique<vx_sim>(
        vx_sim{graph, NetSim(graph->graph), capi::NameTable(graph->names())});
    vx_graph_retain(graph);
    *out = sim.release();
    return VX_OK;
  });
}

void vx_sim_free(vx_sim* sim) {
  if (sim == nullptr) return;
  vx_graph* graph = sim->graph;
  delete sim;
  vx_graph_release(graph);
}

vx_graph* vx_sim_graph(const vx_sim* sim) { return sim != nullptr ? sim->graph : nullptr; }

void vx_sim_names(const vx_sim* sim, const char** first, size_t* size) {
  if (first == nullptr || size == nullptr) return;
  *first = sim != nullptr ? sim->names.text().data() : nullptr;
  *size = sim != nullptr ? sim->names.text().size() : 0;
}

vx_status vx_sim_do(vx_sim* sim, const vx_action* action, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(action != nullptr, "no action");
    NetSim& s = sim_of(sim);
    const NetAction a = capi::action_of(*action);
    r.clear();
    // Built in place: the response is neither moved nor destroyed as a temporary.
    r.response.emplace(BuiltBy{[&] { return s.do_action(a); }});
    r.names = &sim->names;
    if (r.response->ok()) {
      const NetActionResponse::Success& ok = r.response->success();
      r.set_response(ok.data);
      r.add_events(ok.events);
      return VX_OK;
    }
    const NetActionResponse::Error& failed = r.response->failure();
    r.set_error(failed.error);
    r.add_events(failed.events);
    return VX_REFUSED;
  });
}

int32_t vx_sim_is_blocked(const vx_sim* sim) {
  return sim != nullptr && sim->sim.is_blocked() ? 1 : 0;
}

vx_status vx_sim_run_until_blocked(vx_sim* sim, vx_interrupt_fn interrupted, void* context,
                                   vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    NetSim& s = sim_of(sim);
    r.clear();
    std::function<bool()> check;
    if (interrupted != nullptr) {
      // Asked before the first step and then once a millisecond at most: a
      // binding's check may cost as much as a step (PyPy enters Python to
      // make it), and an interruption still waits no longer than that.
      check = [&, asked = std::int64_t{-1}]() mutable {
        const std::int64_t now = wall_clock_ms();
        if (now == asked) return false;
        asked = now;
        return interrupted(context) != 0;
      };
    }
    const bool finished = s.run_until_blocked(r.events, check);
    r.names = &sim->names;
    r.add_events(r.events);
    return finished ? VX_OK : VX_INTERRUPTED;
  });
}

vx_status vx_sim_undo(vx_sim* sim, const vx_action* action, const vx_event* events,
                      size_t event_count, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(action != nullptr, "no action");
    NetSim& s = sim_of(sim);
    const NetAction a = capi::action_of(*action);
    const EventList engine_events = capi::events_of(events, event_count);
    r.clear();
    Status<UndoError> status = s.undo_action(a, engine_events);
    if (status) return VX_OK;
    r.set_undo_error(status.error());
    return VX_REFUSED;
  });
}

vx_status vx_sim_get_packet(const vx_sim* sim, vx_id id, vx_result* result) {
  return vx_sim_get_packet_p(sim, &id, result);
}

vx_status vx_sim_get_packet_p(const vx_sim* sim, const vx_id* id, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(id != nullptr, "no identifier");
    const NetSim& s = sim_of(sim);
    r.clear();
    const std::optional<Packet> packet = s.get_packet(ulid_of(*id));
    if (packet) {
      r.view.found = 1;
      // The packet is a copy that dies here: names it holds are kept.
      r.names = &sim->names;
      r.copy_names = true;
      r.location = {};  // a kind's unused fields are zero, not the last answer's
      r.location_record(packet->location, r.location);
      r.view.location = &r.location;
    }
    return VX_OK;
  });
}

vx_status vx_sim_get_epoch(const vx_sim* sim, vx_id id, vx_result* result) {
  return vx_sim_get_epoch_p(sim, &id, result);
}

vx_status vx_sim_get_epoch_p(const vx_sim* sim, const vx_id* id, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(id != nullptr, "no identifier");
    const NetSim& s = sim_of(sim);
    r.clear();
    const Epoch* epoch = s.get_epoch(ulid_of(*id));
    if (epoch != nullptr) {
      r.view.found = 1;
      // The epoch is the simulation's, which a call through another result
      // may change: the records keep their own copy of any name not in the
      // name block rather than point into it.
      r.names = &sim->names;
      r.copy_names = true;
      r.view.epoch = r.add_epoch(*epoch);
    }
    return VX_OK;
  });
}

vx_status vx_sim_packet_count_at(const vx_sim* sim, const vx_location* location, uint64_t* count,
                                 vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(location != nullptr && count != nullptr, "no location or no count");
    const PacketLocation l = capi::location_of(*location);
    r.clear();
    *count = sim_of(sim).packet_count_at(l);
    return VX_OK;
  });
}

vx_status vx_sim_packets_at(const vx_sim* sim, const vx_location* location, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    require(location != nullptr, "no location");
    const PacketLocation l = capi::location_of(*location);
    r.clear();
    for (const Ulid& id : sim_of(sim).get_packets_at_location(l)) {
      r.ids.push_back(id_of(id));
    }
    return VX_OK;
  });
}

vx_status vx_sim_startable_epochs(const vx_sim* sim, vx_result* result) {
  return guarded(result, [&](vx_result& r) {
    r.clear();
    for (const Ulid& id : sim_of(sim).get_startable_epochs()) r.ids.push_back(id_of(id));
    return VX_OK;
  });
}

}  // extern "C"
