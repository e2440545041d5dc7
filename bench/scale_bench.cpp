// Cost of single operations beside N idle elements, at N = 1,000 and
// N = 100,000: an operation should cost the same whatever else waits.
// Engine-level (C++), one process, each figure the median of timed batches.
//
//   edge-step     one run_step moving one packet beside N edges that each hold
//                 a packet their full Finite(1) target cannot take
//   port-step     one run_step moving one packet beside N input ports that each
//                 hold a packet no salvo condition takes
//   is_blocked    is_blocked in that same network (answer: blocked)
//   is_blocked again, idle run
//                 is_blocked and run_until_blocked in that network before any
//                 step, after a first is_blocked
//   finish-oldest finish_epoch of the oldest of N running epochs at one node
//   undo-create   undo_action of one CreateEpoch beside N epochs at one node
//   consume-newest consuming the newest of N packets at one location
//   cancel-oldest cancel_epoch of the oldest of N running epochs at one node
//   send-one      send_output_salvo of one epoch beside N running epochs that
//                 each hold a loaded packet
//   undo-step     undo_action of a step's one move beside N waiting ports
//   request-step  a step resolving one request beside N waiting ports
//
//   vornix_scale_bench [N]

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "bench_support.hpp"

// Under callgrind (vornix_scale_bench N, run with --collect-atstart=no)
// each timed op runs kCounted times after a warm-up, collecting only inside
// them, and its counts are dumped apart, in the order main prints: a dump's
// total over kCounted is the op's instructions. The collection toggles are a
// few no-op instructions when not under valgrind.
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#define CALLGRIND_TOGGLE_COLLECT \
  do {                           \
  } while (0)
#define CALLGRIND_DUMP_STATS \
  do {                       \
  } while (0)
#endif

namespace {

using namespace bench;
using A = NetAction;

constexpr int kCounted = 1000;
bool counting = false;  // a size was given and callgrind runs the bench

// Times `op` (after `prepare`, untimed) until enough batches are in.
double time_op(const std::function<void()>& prepare, const std::function<void()>& op) {
  if (counting) {
    for (int i = 0; i < 100 + kCounted; ++i) {
      prepare();
      if (i >= 100) CALLGRIND_TOGGLE_COLLECT;
      op();
      if (i >= 100) CALLGRIND_TOGGLE_COLLECT;
    }
    CALLGRIND_DUMP_STATS;
    return 0;
  }
  std::vector<double> batches;
  const auto start = Clock::now();
  while (batches.size() < 5 || (seconds(Clock::now() - start) < 0.3 && batches.size() < 200)) {
    Clock::duration spent{};
    constexpr int kBatch = 20;
    for (int i = 0; i < kBatch; ++i) {
      prepare();
      const auto t0 = Clock::now();
      op();
      spent += Clock::now() - t0;
    }
    batches.push_back(seconds(spent) * 1e9 / kBatch);
  }
  return median(batches);
}

// One movable edge X -> Y (Infinite) beside `n` idle elements.
struct Mover {
  PacketLocation edge = PacketLocation::edge(Edge{out_ref("X", "out"), in_ref("Y", "in")});
  Ulid packet;
};

void add_mover(std::vector<Node>& nodes, std::vector<Edge>& edges) {
  nodes.push_back(plain_node("X", false, true));
  nodes.push_back(plain_node("Y", true, false));
  edges.push_back(Edge{out_ref("X", "out"), in_ref("Y", "in")});
}

Mover place_mover(NetSim& sim) {
  Mover m;
  m.packet = created_packet(sim.do_action(A{A::CreatePacket{}}));
  return m;
}

void put_on(NetSim& sim, const Ulid& p, const PacketLocation& at) {
  require(sim.do_action(A{A::TransportPacketToLocation{p, at}}).ok(), "transport");
}

double edge_step(std::size_t n) {
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  add_mover(nodes, edges);
  for (std::size_t i = 0; i < n; ++i) {
    nodes.push_back(plain_node(name_of("U", i), false, true));
    nodes.push_back(plain_node(name_of("V", i), true, false, PortSlotSpec::finite(1)));
    edges.push_back(Edge{out_ref(name_of("U", i), "out"), in_ref(name_of("V", i), "in")});
  }
  NetSim sim(Graph(std::move(nodes), std::move(edges)));
  for (std::size_t i = 0; i < n; ++i) {
    put_on(sim, created_packet(sim.do_action(A{A::CreatePacket{}})),
           PacketLocation::input_port(name_of("V", i), "in"));
    put_on(
        sim, created_packet(sim.do_action(A{A::CreatePacket{}})),
        PacketLocation::edge(Edge{out_ref(name_of("U", i), "out"), in_ref(name_of("V", i), "in")}));
  }
  Mover m = place_mover(sim);
  sim.run_step();
  return time_op([&] { put_on(sim, m.packet, m.edge); },
                 [&] { require(sim.run_step().success().events.size() == 1, "edge step"); });
}

// N nodes W_i whose input port holds a packet their condition does not take;
// with `stepped`, a step has run since the packets came. A dependency edge
// X -> Y lets Y's requests reach X.
NetSim waiting_ports(std::size_t n, bool stepped = true) {
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  add_mover(nodes, edges);
  for (std::size_t i = 0; i < n; ++i) {
    Node w = plain_node(name_of("W", i), true, false);
    w.in_salvo_conditions.insert_or_assign(
        "pair", SalvoCondition{MaxSalvos::finite(1),
                               {{"in", PacketCount::all()}},
                               SalvoConditionTerm::port("in", PortState::equals(2))});
    nodes.push_back(std::move(w));
  }
  NetSim sim(Graph(std::move(nodes), std::move(edges))
                 .with_dependency_edges({Edge{out_ref("X", "out"), in_ref("Y", "in")}}));
  for (std::size_t i = 0; i < n; ++i) {
    put_on(sim, created_packet(sim.do_action(A{A::CreatePacket{}})),
           PacketLocation::input_port(name_of("W", i), "in"));
  }
  if (stepped) sim.run_step();
  return sim;
}

// is_blocked and an idle run_until_blocked with no step since the packets
// came: the first is_blocked looks at each of them once, later calls at none.
std::pair<double, double> unstepped_blocked_and_run(std::size_t n) {
  NetSim sim = waiting_ports(n, /*stepped=*/false);
  require(sim.is_blocked(), "blocked");
  volatile bool sink = false;
  const double blocked = time_op([] {}, [&] { sink = sim.is_blocked(); });
  const double run = time_op([] {}, [&] { require(sim.run_until_blocked().empty(), "idle"); });
  (void)sink;
  return {blocked, run};
}

std::pair<double, double> port_step_and_blocked(std::size_t n) {
  NetSim sim = waiting_ports(n);
  Mover m = place_mover(sim);
  const double step =
      time_op([&] { put_on(sim, m.packet, m.edge); },
              [&] { require(sim.run_step().success().events.size() == 1, "port step"); });
  volatile bool sink = false;
  const double blocked = time_op([] {}, [&] { sink = sim.is_blocked(); });
  require(sink, "blocked");
  return {step, blocked};
}

Graph one_node() {
  std::vector<Node> nodes;
  nodes.push_back(plain_node("Z", true, true));
  return Graph(std::move(nodes), {});
}

Ulid new_epoch(NetSim& sim) {
  return created_epoch(sim.do_action(A{A::CreateEpoch{"Z", Salvo{"manual", {}}}})).id;
}

// Ends (finishes or cancels) the oldest of N running epochs at one node.
template <class End>
double end_oldest(std::size_t n, const char* what) {
  NetSim sim(one_node());
  std::vector<Ulid> order;  // oldest first
  order.reserve(n * 4);
  for (std::size_t i = 0; i < n; ++i) {
    order.push_back(new_epoch(sim));
    sim.do_action(A{A::StartEpoch{order.back()}});
  }
  std::size_t oldest = 0;
  return time_op(
      [&] {
        order.push_back(new_epoch(sim));
        sim.do_action(A{A::StartEpoch{order.back()}});
      },
      [&] { require(sim.do_action(A{End{order[oldest++]}}).ok(), what); });
}

double finish_oldest(std::size_t n) { return end_oldest<A::FinishEpoch>(n, "finish"); }
double cancel_oldest(std::size_t n) { return end_oldest<A::CancelEpoch>(n, "cancel"); }

double undo_create(std::size_t n) {
  NetSim sim(one_node());
  for (std::size_t i = 0; i < n; ++i) new_epoch(sim);
  const A action{A::CreateEpoch{"Z", Salvo{"manual", {}}}};
  EventList events;
  return time_op([&] { events = sim.do_action(action).success().events; },
                 [&] { require(sim.undo_action(action, events).has_value(), "undo"); });
}

double consume_newest(std::size_t n) {
  NetSim sim(one_node());
  std::vector<Ulid> ids;
  for (std::size_t i = 0; i < n; ++i)
    ids.push_back(created_packet(sim.do_action(A{A::CreatePacket{}})));
  const Ulid newest = ids.back();
  const A action{A::ConsumePacket{newest}};
  EventList events;
  bool consumed = false;
  return time_op(
      [&] {
        if (consumed) require(sim.undo_action(action, events).has_value(), "undo consume");
      },
      [&] {
        events = sim.do_action(action).success().events;
        consumed = true;
      });
}

// A send of one epoch's output salvo beside N running epochs that each
// hold a loaded packet. (Z's port has no edge: the packet leaves the net.)
double send_one(std::size_t n) {
  std::vector<Node> nodes;
  Node z = plain_node("Z", true, true);
  z.out_salvo_conditions.insert_or_assign(
      "send", SalvoCondition{MaxSalvos::infinite(),
                             {{"out", PacketCount::all()}},
                             SalvoConditionTerm::port("out", PortState::non_empty())});
  nodes.push_back(std::move(z));
  NetSim sim(Graph(std::move(nodes), {}));
  const auto loaded_epoch = [&] {
    const Ulid epoch = new_epoch(sim);
    require(sim.do_action(A{A::StartEpoch{epoch}}).ok(), "start");
    const Ulid p = created_packet(sim.do_action(A{A::CreatePacket{epoch}}));
    require(sim.do_action(A{A::LoadPacketIntoOutputPort{p, "out"}}).ok(), "load");
    return epoch;
  };
  for (std::size_t i = 0; i < n; ++i) loaded_epoch();
  Ulid epoch;
  return time_op([&] { epoch = loaded_epoch(); },
                 [&] {
                   require(sim.do_action(A{A::SendOutputSalvo{epoch, "send"}}).ok(), "send");
                 });
}

// Undoing a step's move beside N input ports holding packets no condition
// takes.
double undo_step(std::size_t n) {
  NetSim sim = waiting_ports(n);
  Mover m = place_mover(sim);
  put_on(sim, m.packet, m.edge);
  EventList events;
  const A step{A::RunStep{}};
  return time_op(
      [&] {
        events = sim.run_step().success().events;
        require(events.size() == 1, "one move");
      },
      [&] { require(sim.undo_action(step, events).has_value(), "undo step"); });
}

// A step that resolves one request beside N waiting input ports.
double request_step(std::size_t n) {
  NetSim sim = waiting_ports(n);
  return time_op(
      [&] {
        require(sim.do_action(A{A::CreateRequest{"Y", "more"}}).ok(), "request");
      },
      [&] {
        const NetActionResponse r = sim.run_step();
        require(r.ok() && !r.success().events.empty(), "request step");
      });
}

void row(const char* name, double small, double large) {
  std::printf("%-16s %14.0f %14.0f %8.2f\n", name, small, large, large / small);
}

}  // namespace

int main(int argc, char** argv) {
  // With a size, every shape runs at that size alone (one column): for
  // callgrind, whose instruction counts per call are then compared by size.
  if (argc > 1) {
    const std::size_t n = std::strtoull(argv[1], nullptr, 10);
    counting = RUNNING_ON_VALGRIND != 0;
    int dump = 0;
    const auto shape = [n, &dump](const char* name, double ns) {
      if (counting) {
        std::printf("N=%zu %-16s dump %d, %d ops\n", n, name, ++dump, kCounted);
      } else {
        std::printf("N=%zu %-16s %8.0f ns\n", n, name, ns);
      }
    };
    shape("edge-step", edge_step(n));
    const auto [step, blocked] = port_step_and_blocked(n);
    shape("port-step", step);
    shape("is_blocked", blocked);
    const auto [again, run] = unstepped_blocked_and_run(n);
    shape("is_blocked again", again);
    shape("idle run", run);
    shape("finish-oldest", finish_oldest(n));
    shape("undo-create", undo_create(n));
    shape("consume-newest", consume_newest(n));
    shape("cancel-oldest", cancel_oldest(n));
    shape("send-one", send_one(n));
    shape("undo-step", undo_step(n));
    shape("request-step", request_step(n));
    return 0;
  }
  constexpr std::size_t kSmall = 1000;
  constexpr std::size_t kLarge = 100000;
  std::printf("%-16s %14s %14s %8s\n", "shape (ns)", "N=1,000", "N=100,000", "ratio");
  row("edge-step", edge_step(kSmall), edge_step(kLarge));
  const auto small = port_step_and_blocked(kSmall);
  const auto large = port_step_and_blocked(kLarge);
  row("port-step", small.first, large.first);
  row("is_blocked", small.second, large.second);
  const auto idle_small = unstepped_blocked_and_run(kSmall);
  const auto idle_large = unstepped_blocked_and_run(kLarge);
  row("is_blocked again", idle_small.first, idle_large.first);
  row("idle run", idle_small.second, idle_large.second);
  row("finish-oldest", finish_oldest(kSmall), finish_oldest(kLarge));
  row("undo-create", undo_create(kSmall), undo_create(kLarge));
  row("consume-newest", consume_newest(kSmall), consume_newest(kLarge));
  row("cancel-oldest", cancel_oldest(kSmall), cancel_oldest(kLarge));
  row("send-one", send_one(kSmall), send_one(kLarge));
  row("undo-step", undo_step(kSmall), undo_step(kLarge));
  row("request-step", request_step(kSmall), request_step(kLarge));
  return 0;
}
