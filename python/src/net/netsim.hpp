// NetSim: the Python class that owns one engine simulation and drives it.
//
// Each instance owns a vornix::NetSim built over a private copy of the Graph
// it was given; nothing of it is ever shared with Python. The methods that
// change the simulation (do_action, run_step, run_until_blocked, undo_action)
// hold an exclusive borrow of the instance for the whole call, result
// conversion included; the queries hold a shared one. Every argument is
// converted before the engine is called, so a conversion error leaves the
// simulation untouched.
//
//   sim = NetSim(graph)
//   data, events = sim.do_action(NetAction.create_packet())
//   sim.undo_action(NetAction.create_packet(), events)
//
// A failed run step keeps the changes it made before failing; the exception
// it raises carries their events as its `events` attribute, so the caller can
// still undo them.
#pragma once

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_net_sim_class();

}  // namespace vornix::py
