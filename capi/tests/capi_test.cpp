// The C interface as a program uses it: build, validate, run a packet
// through, read the records, undo, and meet each kind of failure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "vornix.h"

extern "C" int vx_plain_c_program(void);

namespace {

vx_str s(std::string_view v) { return {v.data(), v.size()}; }
std::string_view sv(vx_str v) { return {v.ptr, v.len}; }

vx_action on_epoch(uint32_t kind, vx_id epoch) {
  vx_action a{};
  a.kind = kind;
  a.epoch_id = epoch;
  return a;
}

vx_edge edge(const char* from, const char* out, const char* to, const char* in) {
  return {{s(from), VX_PORT_OUTPUT, s(out)}, {s(to), VX_PORT_INPUT, s(in)}};
}

class CApi : public ::testing::Test {
 protected:
  void SetUp() override {
    r = vx_result_new();
    v = vx_result_view(r);
  }
  void TearDown() override {
    vx_sim_free(sim);
    vx_graph_release(graph);
    vx_result_free(r);
  }
  // A -> B over A.out.out -> B.in.in; B fires once its port holds a packet.
  // `extra_edge` adds an edge to a node that does not exist.
  vx_status build(bool extra_edge) {
    vx_builder* b = vx_builder_new();
    uint32_t a = 0;
    uint32_t bn = 0;
    EXPECT_EQ(vx_builder_add_node(b, s("A"), &a, r), VX_OK);
    EXPECT_EQ(vx_builder_add_node(b, s("B"), &bn, r), VX_OK);
    EXPECT_EQ(vx_builder_add_port(b, a, VX_PORT_OUTPUT, s("out"), {1, 0}, r), VX_OK);
    EXPECT_EQ(vx_builder_add_port(b, bn, VX_PORT_INPUT, s("in"), {0, 2}, r), VX_OK);
    const vx_port_count all{s("in"), 1, 0};
    // And(Port in NonEmpty, Not(False)), in prefix order.
    const vx_term terms[] = {{VX_TERM_AND, 2, {}, 0, 0},
                             {VX_TERM_PORT, 0, s("in"), VX_STATE_NON_EMPTY, 0},
                             {VX_TERM_NOT, 0, {}, 0, 0},
                             {VX_TERM_FALSE, 0, {}, 0, 0}};
    EXPECT_EQ(
        vx_builder_add_salvo_condition(b, bn, VX_PORT_INPUT, s("go"), {0, 1}, &all, 1, terms, 4, r),
        VX_OK);
    const vx_edge e = edge("A", "out", "B", "in");
    EXPECT_EQ(vx_builder_add_edge(b, &e, r), VX_OK);
    const vx_edge stray = edge("A", "out", "Z", "in");
    if (extra_edge) {
      EXPECT_EQ(vx_builder_add_edge(b, &stray, r), VX_OK);
    }
    const vx_status status = vx_builder_finish(b, &graph, r);
    vx_builder_free(b);
    return status;
  }
  vx_id create_packet() {
    vx_action a{};
    a.kind = VX_ACT_CREATE_PACKET;
    EXPECT_EQ(vx_sim_do(sim, &a, r), VX_OK);
    return v->id;
  }

  vx_result* r = nullptr;
  const vx_view* v = nullptr;
  vx_graph* graph = nullptr;
  vx_sim* sim = nullptr;
};

// The graph gives back what it was built from; its names point into it, so
// they outlive the result's next call.
TEST_F(CApi, GraphReadsBackAsBuilt) {
  ASSERT_EQ(build(false), VX_OK);
  EXPECT_EQ(vx_graph_count(graph, VX_GRAPH_NODES), 2u);
  EXPECT_EQ(vx_graph_count(graph, VX_GRAPH_EDGES_AS_GIVEN), 1u);
  EXPECT_EQ(vx_graph_count(graph, 9), 0u);

  ASSERT_EQ(vx_graph_node(graph, 1, r), VX_OK);
  const vx_node n = *v->node;
  EXPECT_EQ(sv(n.name), "B");
  ASSERT_EQ(n.in_port_count, 1u);
  EXPECT_EQ(n.out_port_count, 0u);
  EXPECT_EQ(sv(n.in_ports[0].name), "in");
  EXPECT_EQ(n.in_ports[0].slots.infinite, 0);
  EXPECT_EQ(n.in_ports[0].slots.n, 2u);
  ASSERT_EQ(n.in_condition_count, 1u);
  const vx_salvo_condition& go = n.in_conditions[0];
  EXPECT_EQ(sv(go.name), "go");
  EXPECT_EQ(go.max_salvos.n, 1u);
  ASSERT_EQ(go.port_count, 1u);
  EXPECT_EQ(go.ports[0].all, 1);
  const uint32_t kinds[] = {VX_TERM_AND, VX_TERM_PORT, VX_TERM_NOT, VX_TERM_FALSE};
  ASSERT_EQ(go.term_count, 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(go.terms[i].kind, kinds[i]);
  EXPECT_EQ(go.terms[0].child_count, 2u);
  EXPECT_EQ(go.terms[1].state, static_cast<uint32_t>(VX_STATE_NON_EMPTY));
  EXPECT_EQ(n.has_request_config, 0);
  // Only B's output conditions (none) are like A's.
  EXPECT_EQ(n.same_as_previous, static_cast<uint32_t>(VX_SAME_OUT_CONDITIONS));
  EXPECT_EQ(vx_graph_node(graph, 2, r), VX_BAD_INPUT);

  ASSERT_EQ(vx_graph_edges(graph, VX_GRAPH_EDGES, r), VX_OK);
  ASSERT_EQ(v->edge_count, 1u);
  EXPECT_EQ(sv(v->edges[0].target.port_name), "in");
  const vx_port_ref head = {s("B"), VX_PORT_INPUT, s("in")};
  ASSERT_EQ(vx_graph_edges_by_head(graph, &head, r), VX_OK);
  ASSERT_EQ(v->edge_count, 1u);
  EXPECT_EQ(sv(v->edges[0].source.node_name), "A");
  const vx_edge e = v->edges[0];
  ASSERT_EQ(vx_graph_is_dependency_edge(graph, &e, r), VX_OK);
  EXPECT_EQ(v->found, 0);
  EXPECT_EQ(vx_graph_edges(graph, VX_GRAPH_NODES, r), VX_BAD_INPUT);
  EXPECT_EQ(sv(n.in_conditions[0].terms[1].port_name), "in");

  // A node added like another has its parts; a model that is not there is
  // refused.
  vx_builder* b = vx_builder_new();
  uint32_t model = 0, second = 0;
  ASSERT_EQ(vx_builder_add_node(b, s("X"), &model, r), VX_OK);
  ASSERT_EQ(vx_builder_add_port(b, model, VX_PORT_INPUT, s("in"), {0, 3}, r), VX_OK);
  const vx_str y = s("Y");
  ASSERT_EQ(vx_builder_add_node_like(b, &y, model, &second, r), VX_OK);
  EXPECT_EQ(vx_builder_add_node_like(b, &y, 7, &second, r), VX_BAD_INPUT);
  // The copy shares the model's maps until one of them changes.
  std::uint32_t third = 0;
  const vx_str z = s("Z");
  ASSERT_EQ(vx_builder_add_node_like(b, &z, model, &third, r), VX_OK);
  ASSERT_EQ(vx_builder_add_port(b, third, VX_PORT_INPUT, s("more"), {1, 0}, r), VX_OK);
  vx_graph* copied = nullptr;
  ASSERT_EQ(vx_builder_finish(b, &copied, r), VX_OK);
  vx_builder_free(b);
  ASSERT_EQ(vx_graph_node(copied, second, r), VX_OK);
  EXPECT_EQ(sv(v->node->name), "Y");
  ASSERT_EQ(v->node->in_port_count, 1u);
  EXPECT_EQ(v->node->in_ports[0].slots.n, 3u);
  EXPECT_EQ(v->node->same_as_previous, 15u);
  ASSERT_EQ(vx_graph_node(copied, third, r), VX_OK);
  EXPECT_EQ(v->node->in_port_count, 2u);
  EXPECT_EQ(v->node->same_as_previous, 14u);
  ASSERT_EQ(vx_graph_node(copied, model, r), VX_OK);
  EXPECT_EQ(v->node->in_port_count, 1u);
  vx_graph_release(copied);

  // The graph's first simulations, made on several threads at once, share
  // one name block.
  std::vector<vx_sim*> sims(4, nullptr);
  std::vector<std::thread> makers;
  for (vx_sim*& made : sims) {
    makers.emplace_back([&] {
      vx_result* own = vx_result_new();
      EXPECT_EQ(vx_sim_new(graph, &made, own), VX_OK);
      vx_result_free(own);
    });
  }
  for (std::thread& t : makers) t.join();
  std::vector<const char*> blocks;
  for (vx_sim* made : sims) {
    const char* first = nullptr;
    size_t size = 0;
    vx_sim_names(made, &first, &size);
    blocks.push_back(first);
    vx_sim_free(made);
  }
  EXPECT_NE(blocks[0], nullptr);
  EXPECT_EQ(std::vector<const char*>(4, blocks[0]), blocks);
}

TEST_F(CApi, PacketThroughTheNetAndBack) {
  ASSERT_EQ(build(false), VX_OK);
  ASSERT_EQ(vx_graph_validate(graph, r), VX_OK);
  EXPECT_EQ(v->validation_error_count, 0u);
  ASSERT_EQ(vx_sim_new(graph, &sim, r), VX_OK);

  const vx_id packet = create_packet();
  vx_action move{};
  move.kind = VX_ACT_TRANSPORT_PACKET_TO_LOCATION;
  move.packet_id = packet;
  move.destination.kind = VX_LOC_EDGE;
  move.destination.edge = edge("A", "out", "B", "in");
  ASSERT_EQ(vx_sim_do(sim, &move, r), VX_OK);
  ASSERT_EQ(v->event_count, 1u);
  EXPECT_EQ(v->events[0].kind, static_cast<uint32_t>(VX_EV_PACKET_MOVED));
  EXPECT_EQ(v->events[0].location.kind, static_cast<uint32_t>(VX_LOC_OUTSIDE_NET));
  EXPECT_EQ(sv(v->events[0].to_location.edge.target.node_name), "B");

  ASSERT_EQ(vx_sim_run_until_blocked(sim, nullptr, nullptr, r), VX_OK);
  EXPECT_TRUE(vx_sim_is_blocked(sim));
  std::vector<uint32_t> kinds;
  for (size_t i = 0; i < v->event_count; ++i) kinds.push_back(v->events[i].kind);
  const std::vector<uint32_t> expected{VX_EV_PACKET_MOVED, VX_EV_INPUT_SALVO_TRIGGERED,
                                       VX_EV_EPOCH_CREATED, VX_EV_PACKET_MOVED};
  ASSERT_EQ(kinds, expected);
  const vx_event& triggered = v->events[1];
  EXPECT_EQ(sv(triggered.salvo_condition), "go");
  EXPECT_EQ(sv(v->events[3].location.node_name), "B");
  EXPECT_EQ(v->events[3].to_location.kind, static_cast<uint32_t>(VX_LOC_NODE));
  const vx_id epoch = triggered.id;

  // Hand the run's own records back, from the result the call reuses.
  vx_action step{};
  step.kind = VX_ACT_RUN_STEP;
  ASSERT_EQ(vx_sim_undo(sim, &step, v->events, v->event_count, r), VX_OK);
  ASSERT_EQ(vx_sim_startable_epochs(sim, r), VX_OK);
  EXPECT_EQ(v->id_count, 0u);
  vx_location edge_loc{};
  edge_loc.kind = VX_LOC_EDGE;
  edge_loc.edge = edge("A", "out", "B", "in");
  ASSERT_EQ(vx_sim_packets_at(sim, &edge_loc, r), VX_OK);
  ASSERT_EQ(v->id_count, 1u);
  EXPECT_EQ(v->ids[0].lo, packet.lo);

  // Forward again: the epoch's records carry the salvo that made it.
  ASSERT_EQ(vx_sim_run_until_blocked(sim, nullptr, nullptr, r), VX_OK);
  const vx_id again = v->events[1].id;
  EXPECT_FALSE(again.hi == epoch.hi && again.lo == epoch.lo);
  ASSERT_EQ(vx_sim_get_epoch(sim, again, r), VX_OK);
  ASSERT_TRUE(v->found);
  EXPECT_EQ(sv(v->epoch->node_name), "B");
  ASSERT_EQ(v->epoch->in_salvo.packet_count, 1u);
  EXPECT_EQ(sv(v->epoch->in_salvo.packets[0].port_name), "in");
  EXPECT_EQ(v->epoch->in_salvo.packets[0].packet_id.lo, packet.lo);

  // Cancelling hands the epoch back inside its event, with the packet destroyed.
  const vx_action cancel = on_epoch(VX_ACT_CANCEL_EPOCH, again);
  ASSERT_EQ(vx_sim_do(sim, &cancel, r), VX_OK);
  EXPECT_EQ(v->response, static_cast<uint32_t>(VX_RESP_CANCELLED_EPOCH));
  ASSERT_EQ(v->id_count, 1u);
  const vx_event& last = v->events[v->event_count - 1];
  ASSERT_EQ(last.kind, static_cast<uint32_t>(VX_EV_EPOCH_CANCELLED));
  ASSERT_NE(last.epoch, nullptr);
  EXPECT_EQ(last.epoch->in_salvo.packets[0].packet_id.lo, packet.lo);
  ASSERT_EQ(vx_sim_undo(sim, &cancel, v->events, v->event_count, r), VX_OK);
  ASSERT_EQ(vx_sim_get_packet_p(sim, &packet, r), VX_OK);
  ASSERT_TRUE(v->found);
  EXPECT_EQ(v->location->kind, static_cast<uint32_t>(VX_LOC_NODE));

  // A finish's response holds the epoch finished, its event the same epoch
  // still running, which is what undoing it puts back.
  const vx_action start = on_epoch(VX_ACT_START_EPOCH, again);
  ASSERT_EQ(vx_sim_do(sim, &start, r), VX_OK);
  vx_action consume{};
  consume.kind = VX_ACT_CONSUME_PACKET;
  consume.packet_id = packet;
  ASSERT_EQ(vx_sim_do(sim, &consume, r), VX_OK);
  const vx_action finish = on_epoch(VX_ACT_FINISH_EPOCH, again);
  ASSERT_EQ(vx_sim_do(sim, &finish, r), VX_OK);
  ASSERT_EQ(v->response, static_cast<uint32_t>(VX_RESP_FINISHED_EPOCH));
  ASSERT_EQ(v->event_count, 1u);
  const vx_epoch* was = v->events[0].epoch;
  ASSERT_NE(was, nullptr);
  EXPECT_EQ(v->epoch->state, static_cast<uint32_t>(VX_EPOCH_FINISHED));
  EXPECT_EQ(was->state, static_cast<uint32_t>(VX_EPOCH_RUNNING));
  EXPECT_EQ(sv(was->node_name), "B");
  EXPECT_TRUE(was->id.hi == again.hi && was->id.lo == again.lo);
  ASSERT_EQ(was->in_salvo.packet_count, 1u);
  EXPECT_EQ(was->in_salvo.packets[0].packet_id.lo, packet.lo);
  ASSERT_EQ(vx_sim_undo(sim, &finish, v->events, v->event_count, r), VX_OK);
  ASSERT_EQ(vx_sim_get_epoch(sim, again, r), VX_OK);
  ASSERT_TRUE(v->found);
  EXPECT_EQ(v->epoch->state, static_cast<uint32_t>(VX_EPOCH_RUNNING));

  // Undoing the same events twice is a refusal with the engine's words.
  vx_action create{};
  create.kind = VX_ACT_CREATE_PACKET;
  vx_event created{};
  created.kind = VX_EV_PACKET_CREATED;
  created.id = packet;
  ASSERT_EQ(vx_sim_do(sim, &cancel, r), VX_OK);
  ASSERT_EQ(vx_sim_undo(sim, &create, &created, 1, r), VX_REFUSED);
  ASSERT_NE(v->undo_error, nullptr);
  EXPECT_EQ(v->undo_error->kind, static_cast<uint32_t>(VX_UNDO_NOT_FOUND));
  EXPECT_NE(sv(v->undo_error->text).find(sv(v->undo_error->message)), std::string_view::npos);
}

TEST_F(CApi, RefusalsFaultsAndBadInput) {
  // Validation errors come in the validator's order with their fields.
  ASSERT_EQ(build(true), VX_OK);
  ASSERT_EQ(vx_graph_validate(graph, r), VX_OK);
  ASSERT_GE(v->validation_error_count, 1u);
  const vx_validation_error& first = v->validation_errors[0];
  EXPECT_EQ(first.code, static_cast<uint32_t>(VX_VAL_EDGE_REFERENCES_NONEXISTENT_NODE));
  EXPECT_EQ(sv(first.missing_node), "Z");
  EXPECT_EQ(sv(first.edge.target.port_name), "in");
  EXPECT_EQ(sv(first.kind), "EdgeReferencesNonexistentNode");
  EXPECT_FALSE(vx_graph_is_valid(graph));
  EXPECT_EQ(vx_sim_new(graph, &sim, r), VX_FAULT);
  EXPECT_EQ(sv(v->message).substr(0, 38), "Cannot create NetSim with invalid grap");
  vx_graph_release(graph);
  graph = nullptr;

  vx_builder* b = vx_builder_new();
  uint32_t n = 0;
  ASSERT_EQ(vx_builder_add_node(b, s("A"), &n, r), VX_OK);
  ASSERT_EQ(vx_builder_add_node(b, s("A"), &n, r), VX_OK);
  // An And promising more sub-terms than the records hold; an unknown kind.
  const vx_term short_and[] = {{VX_TERM_AND, 3, {}, 0, 0}, {VX_TERM_TRUE, 0, {}, 0, 0}};
  EXPECT_EQ(vx_builder_add_salvo_condition(b, 0, VX_PORT_INPUT, s("c"), {1, 0}, nullptr, 0,
                                           short_and, 2, r),
            VX_BAD_INPUT);
  const vx_term unknown{42, 0, {}, 0, 0};
  EXPECT_EQ(vx_builder_add_salvo_condition(b, 0, VX_PORT_INPUT, s("c"), {1, 0}, nullptr, 0,
                                           &unknown, 1, r),
            VX_BAD_INPUT);
  EXPECT_EQ(vx_builder_add_port(b, 7, VX_PORT_INPUT, s("p"), {1, 0}, r), VX_BAD_INPUT);
  // The pointer-taking twins refuse a null record with a message.
  const vx_bound one{0, 1};
  const vx_str p = s("p");
  EXPECT_EQ(vx_builder_add_port_p(b, 0, VX_PORT_INPUT, &p, nullptr, r), VX_BAD_INPUT);
  EXPECT_FALSE(sv(v->message).empty());
  EXPECT_EQ(vx_builder_add_port_p(b, 0, VX_PORT_INPUT, &p, &one, r), VX_OK);
  // Terms nest VX_MAX_TERM_DEPTH deep and no deeper (the engine recurses over them).
  std::vector<vx_term> deep(VX_MAX_TERM_DEPTH, vx_term{VX_TERM_NOT, 0, {}, 0, 0});
  deep.back().kind = VX_TERM_TRUE;
  EXPECT_EQ(vx_builder_add_salvo_condition(b, 0, VX_PORT_INPUT, s("c"), {1, 0}, nullptr, 0,
                                           deep.data(), deep.size(), r),
            VX_OK);
  deep.insert(deep.begin(), vx_term{VX_TERM_NOT, 0, {}, 0, 0});
  EXPECT_EQ(vx_builder_add_salvo_condition(b, 0, VX_PORT_INPUT, s("c"), {1, 0}, nullptr, 0,
                                           deep.data(), deep.size(), r),
            VX_BAD_INPUT);
  EXPECT_EQ(vx_builder_finish(b, &graph, r), VX_FAULT);
  EXPECT_EQ(sv(v->message), "Duplicate node name: 'A'");
  EXPECT_EQ(graph, nullptr);
  vx_builder_free(b);

  ASSERT_EQ(build(false), VX_OK);
  ASSERT_EQ(vx_sim_new(graph, &sim, r), VX_OK);
  const vx_action finish = on_epoch(VX_ACT_FINISH_EPOCH, {1, 2});
  ASSERT_EQ(vx_sim_do(sim, &finish, r), VX_REFUSED);
  ASSERT_NE(v->error, nullptr);
  EXPECT_EQ(v->error->code, static_cast<uint32_t>(VX_ERR_EPOCH_NOT_FOUND));
  EXPECT_EQ(v->error->epoch_id.lo, 2u);
  EXPECT_EQ(sv(v->error->text).substr(0, 17), "epoch not found: ");

  vx_action load{};
  load.kind = VX_ACT_LOAD_PACKET_INTO_OUTPUT_PORT;
  load.port_name = {nullptr, 3};
  EXPECT_EQ(vx_sim_do(sim, &load, r), VX_BAD_INPUT);
  load.kind = 99;
  EXPECT_EQ(vx_sim_do(sim, &load, r), VX_BAD_INPUT);
  EXPECT_EQ(vx_sim_get_epoch_p(sim, nullptr, r), VX_BAD_INPUT);
  EXPECT_FALSE(sv(v->message).empty());
}

TEST_F(CApi, InterruptionAndBufferReuse) {
  ASSERT_EQ(build(false), VX_OK);
  ASSERT_EQ(vx_sim_new(graph, &sim, r), VX_OK);
  vx_graph_release(graph);  // the simulation keeps the graph alive
  graph = nullptr;
  vx_action move{};
  move.kind = VX_ACT_TRANSPORT_PACKET_TO_LOCATION;
  move.packet_id = create_packet();
  move.destination.kind = VX_LOC_EDGE;
  move.destination.edge = edge("A", "out", "B", "in");
  ASSERT_EQ(vx_sim_do(sim, &move, r), VX_OK);

  int asked = 0;
  auto stop = [](void* context) -> int32_t { return ++*static_cast<int*>(context) >= 1; };
  ASSERT_EQ(vx_sim_run_until_blocked(sim, stop, &asked, r), VX_INTERRUPTED);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(v->event_count, 0u);
  EXPECT_FALSE(vx_sim_is_blocked(sim));
  ASSERT_EQ(vx_sim_run_until_blocked(sim, nullptr, nullptr, r), VX_OK);
  EXPECT_EQ(v->event_count, 4u);

  // The graph's names in records point into the simulation's name block.
  const char* first = nullptr;
  size_t size = 0;
  vx_sim_names(sim, &first, &size);
  auto settled = [&](vx_str n, std::string_view want) {
    EXPECT_EQ(sv(n), want);
    return n.ptr >= first && n.ptr + n.len <= first + size;
  };
  // Its input ports and edges also carry place numbers, one per place.
  int moves = 0;
  uint32_t edge_place = 0, port_place = 0;
  for (size_t i = 0; i < v->event_count; ++i) {
    const vx_event& e = v->events[i];
    if (e.kind == VX_EV_INPUT_SALVO_TRIGGERED) {
      EXPECT_TRUE(settled(e.salvo_condition, "go"));
    }
    if (e.kind == VX_EV_PACKET_MOVED && e.location.kind == VX_LOC_EDGE) {
      ++moves;
      EXPECT_TRUE(settled(e.location.edge.source.port_name, "out"));
      EXPECT_TRUE(settled(e.location.edge.target.node_name, "B"));
      EXPECT_TRUE(settled(e.to_location.node_name, "B"));
      EXPECT_TRUE(settled(e.to_location.port_name, "in"));
      edge_place = e.location.place;
      port_place = e.to_location.place;
    }
    if (e.kind == VX_EV_PACKET_MOVED && e.to_location.kind == VX_LOC_NODE) {
      EXPECT_EQ(e.location.place, port_place);
      EXPECT_EQ(e.to_location.place, 0u);
    }
  }
  EXPECT_EQ(moves, 1);
  EXPECT_NE(edge_place, 0u);
  EXPECT_NE(port_place, 0u);
  EXPECT_NE(edge_place, port_place);

  // Later records of the same edge, from an action and from a query, are
  // written alike, whatever the interface kept of the first.
  auto same_edge = [&](const vx_location& l) {
    EXPECT_EQ(l.kind, static_cast<uint32_t>(VX_LOC_EDGE));
    EXPECT_EQ(l.place, edge_place);
    EXPECT_TRUE(settled(l.edge.source.node_name, "A"));
    EXPECT_TRUE(settled(l.edge.source.port_name, "out"));
    EXPECT_EQ(l.edge.source.port_type, static_cast<uint32_t>(VX_PORT_OUTPUT));
    EXPECT_TRUE(settled(l.edge.target.node_name, "B"));
    EXPECT_TRUE(settled(l.edge.target.port_name, "in"));
    EXPECT_EQ(l.edge.target.port_type, static_cast<uint32_t>(VX_PORT_INPUT));
  };
  move.packet_id = create_packet();
  ASSERT_EQ(vx_sim_do(sim, &move, r), VX_OK);
  ASSERT_EQ(v->event_count, 1u);
  same_edge(v->events[0].to_location);
  ASSERT_EQ(vx_sim_get_packet(sim, move.packet_id, r), VX_OK);
  ASSERT_TRUE(v->found);
  same_edge(*v->location);

  // Once grown, the event records stay where they are.
  vx_action consume{};
  consume.kind = VX_ACT_CONSUME_PACKET;
  const vx_event* where = nullptr;
  for (int i = 0; i < 50; ++i) {
    consume.packet_id = create_packet();
    ASSERT_EQ(vx_sim_do(sim, &consume, r), VX_OK);
    if (i == 0) where = v->events;
    EXPECT_EQ(v->events, where);
  }

  char text[26];
  vx_id parsed{};
  const vx_id id = vx_ulid_generate();
  vx_ulid_format(id, text);
  ASSERT_EQ(vx_ulid_parse({text, 26}, &parsed), 0);
  EXPECT_TRUE(parsed.hi == id.hi && parsed.lo == id.lo);
  EXPECT_EQ(vx_ulid_parse({text, 25}, &parsed), 1);
  vx_id by_pointer{};
  ASSERT_EQ(vx_ulid_parse_p(text, 26, &by_pointer), 0);
  EXPECT_TRUE(by_pointer.hi == id.hi && by_pointer.lo == id.lo);
  text[3] = 'U';  // not in the alphabet
  EXPECT_EQ(vx_ulid_parse({text, 26}, &parsed), 2);
  EXPECT_EQ(vx_ulid_parse_p(text, 26, &parsed), 2);
}

// A salvo of many packets, read back twice: its records outgrow the first
// room the result kept for them, and the second call reuses what the first
// grew. Each record still points at packets of its own.
TEST_F(CApi, LargeSalvosReadBackWhole) {
  vx_builder* b = vx_builder_new();
  uint32_t m = 0;
  ASSERT_EQ(vx_builder_add_node(b, s("M"), &m, r), VX_OK);
  ASSERT_EQ(vx_builder_add_port(b, m, VX_PORT_INPUT, s("in"), {1, 0}, r), VX_OK);
  const vx_port_count all{s("in"), 1, 0};
  const vx_term waiting{VX_TERM_PORT, 0, s("in"), VX_STATE_NON_EMPTY, 0};
  ASSERT_EQ(vx_builder_add_salvo_condition(b, m, VX_PORT_INPUT, s("take"), {0, 1}, &all, 1,
                                           &waiting, 1, r),
            VX_OK);
  ASSERT_EQ(vx_builder_finish(b, &graph, r), VX_OK);
  vx_builder_free(b);
  ASSERT_EQ(vx_sim_new(graph, &sim, r), VX_OK);

  for (const size_t count : {40u, 90u}) {
    std::vector<vx_id> sent;
    vx_action put{};
    put.kind = VX_ACT_TRANSPORT_PACKET_TO_LOCATION;
    put.destination.kind = VX_LOC_INPUT_PORT;
    put.destination.node_name = s("M");
    put.destination.port_name = s("in");
    for (size_t i = 0; i < count; ++i) {
      put.packet_id = create_packet();
      sent.push_back(put.packet_id);
      ASSERT_EQ(vx_sim_do(sim, &put, r), VX_OK);
    }
    ASSERT_EQ(vx_sim_run_until_blocked(sim, nullptr, nullptr, r), VX_OK);
    vx_id epoch{};
    for (size_t i = 0; i < v->event_count; ++i) {
      if (v->events[i].kind == VX_EV_EPOCH_CREATED) epoch = v->events[i].id;
    }
    for (const uint32_t kind : {VX_ACT_START_EPOCH, VX_ACT_CANCEL_EPOCH}) {
      const vx_action act = on_epoch(kind, epoch);
      ASSERT_EQ(vx_sim_do(sim, &act, r), VX_OK);
      const vx_salvo& salvo = v->epoch->in_salvo;
      EXPECT_EQ(sv(salvo.salvo_condition), "take");
      ASSERT_EQ(salvo.packet_count, count);
      for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(sv(salvo.packets[i].port_name), "in");
        EXPECT_TRUE(salvo.packets[i].packet_id.hi == sent[i].hi &&
                    salvo.packets[i].packet_id.lo == sent[i].lo);
      }
    }
    // The cancel's event carries the same epoch in its own records.
    const vx_event& cancelled = v->events[v->event_count - 1];
    ASSERT_EQ(cancelled.kind, static_cast<uint32_t>(VX_EV_EPOCH_CANCELLED));
    ASSERT_EQ(cancelled.epoch->in_salvo.packet_count, count);
    EXPECT_TRUE(cancelled.epoch->in_salvo.packets[count - 1].packet_id.lo == sent.back().lo);
  }
}

TEST(CApiPlainC, ProgramWrittenInC) { EXPECT_EQ(vx_plain_c_program(), 0); }

}  // namespace
