#include "net/netsim.hpp"

#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "base/fault.hpp"
#include "errors/exceptions.hpp"
#include "graph/graph_class.hpp"
#include "net/conversions.hpp"
#include "net/state.hpp"
#include "support/args.hpp"
#include "support/borrow.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/lists.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"
#include "support/ulid.hpp"

namespace vornix::py {
namespace {

using NetSimObject = Boxed<vornix::NetSim>;

vornix::NetSim& sim_of(PyObject* self) { return boxed_value<vornix::NetSim>(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<vornix::NetSim>(self).borrow; }

// Raises the exception of a refused action. A run step can fail after it has
// already changed the state; those changes are listed in the failure's
// events, and the exception carries them as `events` so that the caller can
// still undo the step. A failed step always gets the attribute (possibly an
// empty list), so callers need not probe for it.
[[noreturn]] void raise_action_failure(const vornix::NetActionResponse::Error& failure,
                                       bool is_step) {
  Ref exc = net_action_error_to_py_err(failure.error);
  if (is_step || !failure.events.empty()) {
    Ref events = events_to_python(failure.events);
    check_status(PyObject_SetAttr(exc.get(), strings().events.get(), events.get()));
  }
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
  throw PyErrorAlreadySet{};
}

vornix::NetActionResponse::Success& succeeded_or_raise(vornix::NetActionResponse& response,
                                                       bool is_step) {
  if (!response.ok()) raise_action_failure(response.failure(), is_step);
  return std::get<vornix::NetActionResponse::Success>(response.value);
}

// The two references go into the tuple as they are (no count is taken and
// dropped again).
Ref pair(Ref first, Ref second) {
  Ref tuple = check(PyTuple_New(2));
  PyTuple_SET_ITEM(tuple.get(), 0, first.release());
  PyTuple_SET_ITEM(tuple.get(), 1, second.release());
  return tuple;
}

template <class Ids>
Ref ulid_list(const Ids& ids) {
  return list_of(ids, [](const vornix::Ulid& id) { return ulid_to_python(id); });
}

// The simulation shares the Graph's engine graph: neither side can change
// it, so sharing is indistinguishable from a copy. An invalid graph makes the engine throw its
// internal fault, which reaches the caller as the BaseException-derived
// fault, since building a simulation over such a graph is a programming error.
PyObject* sim_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"graph"};
  static constexpr Signature kSig{"NetSim", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, kwargs, argv);
  return new_boxed(reinterpret_cast<PyObject*>(type), vornix::NetSim(graph_arg("graph", argv[0])))
      .release();
}

PyObject* sim_do_action(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  static constexpr const char* kNames[] = {"action"};
  static constexpr Signature kSig{"do_action", kNames, 1};
  PyObject* argv[1] = {};
  take_args(kSig, args, nargs, kwnames, argv);
  ExclusiveBorrow hold(borrow_of(self));
  const vornix::NetAction action = action_arg("action", argv[0]);
  const bool is_step = std::holds_alternative<vornix::NetAction::RunStep>(action.value);
  vornix::NetActionResponse response = sim_of(self).do_action(action);
  auto& success = succeeded_or_raise(response, is_step);
  Ref data = response_data_to_python(std::move(success.data));
  Ref events = events_to_python(std::move(success.events));
  return pair(std::move(data), std::move(events)).release();
}

PyObject* sim_is_blocked(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  return PyBool_FromLong(sim_of(self).is_blocked() ? 1 : 0);
}

// Raises the pending exception (KeyboardInterrupt for Ctrl-C, or whatever a
// signal handler raised) with the events of the steps that completed, as a
// failed step's exception carries them, so that they can still be read and
// undone. It is raised even when they cannot be attached.
[[noreturn]] void raise_with_events(PyObject* events) {
  {
    PendingError interrupt;
    PyObject* exc = interrupt.exception();
    // An exception that takes no attributes still propagates, without them.
    if (exc != nullptr && events != nullptr &&
        PyObject_SetAttr(exc, strings().events.get(), events) < 0) {
      PyErr_Clear();
    }
  }
  throw PyErrorAlreadySet{};
}

// Ends a run interrupted between steps. The interrupt is raised even when
// the events cannot be converted.
[[noreturn]] void raise_interrupted(vornix::EventList&& done) {
  Ref events;
  {
    PendingError interrupt;  // converting must not see the pending exception
    if (interrupt.exception() != nullptr) events = events_to_python(std::move(done));
  }
  raise_with_events(events.get());
}

// The engine asks for a signal (Ctrl-C) between steps, so an interrupt is
// seen there instead of after a run that may take minutes.
//
// The events pass through one list whose storage is kept from call to call:
// a run's list is often larger than the allocator's trim threshold, and
// freeing it at the top of the heap hands the pages back to the system only
// for the next run to fault them in again. A nested run (from code that a
// collection started while the events were being converted) finds the kept
// storage taken and makes its own.
class EventScratch {
 public:
  EventScratch() : events_(std::move(kept())) { events_.clear(); }
  ~EventScratch() {
    events_.clear();
    if (events_.capacity() > kept().capacity()) kept() = std::move(events_);
  }
  EventScratch(const EventScratch&) = delete;
  EventScratch& operator=(const EventScratch&) = delete;
  vornix::EventList& events() { return events_; }

 private:
  static vornix::EventList& kept() {
    static vornix::EventList storage;
    return storage;
  }
  vornix::EventList events_;
};

PyObject* sim_run_until_blocked(PyObject* self, PyObject*) {
  ExclusiveBorrow hold(borrow_of(self));
  EventScratch scratch;
  vornix::EventList& events = scratch.events();
  if (!sim_of(self).run_until_blocked(events, [] { return PyErr_CheckSignals() < 0; })) {
    raise_interrupted(std::move(events));
  }
  Ref list = events_to_python(std::move(events));
  // A signal that came during the last step would be handled in the caller,
  // and the run's events lost with the list: it is handled here, with them.
  if (PyErr_CheckSignals() < 0) raise_with_events(list.get());
  return list.release();
}

PyObject* sim_run_step(PyObject* self, PyObject*) {
  ExclusiveBorrow hold(borrow_of(self));
  vornix::NetActionResponse response = sim_of(self).run_step();
  auto& success = succeeded_or_raise(response, /*is_step=*/true);
  const auto* step = std::get_if<vornix::NetActionResponseData::StepResult>(&success.data.value);
  if (step == nullptr) vornix::internal_fault("run step answered without a step result");
  Ref made_progress = check(PyBool_FromLong(step->made_progress ? 1 : 0));
  Ref events = events_to_python(std::move(success.events));
  return pair(std::move(made_progress), std::move(events)).release();
}

// Both arguments are type-checked before the action's identifiers are parsed,
// and every event is converted before the engine runs, so a bad argument
// leaves the simulation as it was.
PyObject* sim_undo_action(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
  static constexpr const char* kNames[] = {"action", "events"};
  static constexpr Signature kSig{"undo_action", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  ExclusiveBorrow hold(borrow_of(self));
  instance_arg("action", argv[0], types().net_action.get());
  PyObject* list = argv[1];
  if (!PyList_Check(list)) raise_arg_type_error("events", "list", list);
  const vornix::NetAction action = action_arg("action", argv[0]);
  vornix::EventList events;
  events.reserve(static_cast<std::size_t>(PyList_GET_SIZE(list)));
  // The size is read on every round: nothing here runs Python code today, but
  // an index past a shrunken list must never be read.
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
    Ref item = Ref::borrow(PyList_GET_ITEM(list, i));
    events.push_back(event_from_python(item.get()));
  }
  vornix::Status<vornix::UndoError> status = sim_of(self).undo_action(action, events);
  if (!status) raise_undo_error(status.error());
  Py_RETURN_NONE;
}

PyObject* sim_packet_count_at(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  static constexpr const char* kNames[] = {"location"};
  static constexpr Signature kSig{"packet_count_at", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  SharedBorrow hold(borrow_of(self));
  const vornix::PacketLocation location = location_arg("location", argv[0]);
  return PyLong_FromUnsignedLongLong(sim_of(self).packet_count_at(location));
}

PyObject* sim_get_packets_at_location(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                      PyObject* kwnames) {
  static constexpr const char* kNames[] = {"location"};
  static constexpr Signature kSig{"get_packets_at_location", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  SharedBorrow hold(borrow_of(self));
  const vornix::PacketLocation location = location_arg("location", argv[0]);
  return ulid_list(sim_of(self).get_packets_at_location(location)).release();
}

// The identifier may be any object whose str() is identifier text; its errors
// are the identifier's own, without an argument prefix.
PyObject* sim_get_epoch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  static constexpr const char* kNames[] = {"epoch_id"};
  static constexpr Signature kSig{"get_epoch", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  SharedBorrow hold(borrow_of(self));
  const vornix::Ulid id = python_to_ulid(argv[0]);
  const vornix::Epoch* epoch = sim_of(self).get_epoch(id);
  if (epoch == nullptr) Py_RETURN_NONE;
  return epoch_to_python(*epoch).release();
}

PyObject* sim_get_startable_epochs(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  return ulid_list(sim_of(self).get_startable_epochs()).release();
}

PyObject* sim_get_packet(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  static constexpr const char* kNames[] = {"packet_id"};
  static constexpr Signature kSig{"get_packet", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  SharedBorrow hold(borrow_of(self));
  const vornix::Ulid id = python_to_ulid(argv[0]);
  const std::optional<vornix::Packet> packet = sim_of(self).get_packet(id);
  if (!packet) Py_RETURN_NONE;
  return packet_to_python(*packet).release();
}

PyObject* sim_get_graph(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return graph_to_python(sim_of(self).shared_graph()).release();
}

PyObject* sim_repr(PyObject* self) {
  SharedBorrow hold(borrow_of(self));
  const vornix::Graph& g = sim_of(self).graph();
  return to_py_str("Net(graph=Graph(nodes=" + std::to_string(g.nodes().size()) +
                   ", edges=" + std::to_string(g.edges().size()) + "))")
      .release();
}

// A simulation's state is its graph plus the actions performed on it; the
// engine state itself (identifiers, timestamps, indexes) has no faithful
// Python-level form, so pickling and copying refuse instead of guessing.
PyObject* sim_reduce(PyObject*, PyObject*) {
  raise_type_error(
      "cannot pickle 'NetSim' object: pickle its graph (sim.graph) and replay its actions "
      "on NetSim(graph) instead");
}

PyDoc_STRVAR(sim_doc, "NetSim(graph)\n--\n\nThe runtime state of a flow-based network.");

PyMethodDef sim_methods[] = {
    {"do_action", fastcall_kw<sim_do_action>(), METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("do_action($self, action)\n--\n\n"
               "Perform an action on the network.\n"
               "Returns (response_data, events) tuple on success.\n"
               "Raises an exception on error.")},
    {"is_blocked", noargs<sim_is_blocked>(), METH_NOARGS,
     PyDoc_STR("is_blocked($self)\n--\n\n"
               "Check if the network is blocked (no progress can be made).")},
    {"run_until_blocked", noargs<sim_run_until_blocked>(), METH_NOARGS,
     PyDoc_STR("run_until_blocked($self)\n--\n\n"
               "Run the network until blocked, returning all events.")},
    {"run_step", noargs<sim_run_step>(), METH_NOARGS,
     PyDoc_STR("run_step($self)\n--\n\n"
               "Run one step of automatic packet flow.\n\n"
               "Convenience method equivalent to `do_action(NetAction.run_step())`.\n\n"
               "Returns:\n"
               "    A tuple of (made_progress, events) where made_progress indicates\n"
               "    whether any packets were moved.")},
    {"undo_action", fastcall_kw<sim_undo_action>(), METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("undo_action($self, action, events)\n--\n\n"
               "Undo a previously executed action.\n\n"
               "Args:\n"
               "    action: The original action that was executed\n"
               "    events: The events that were produced by the action\n\n"
               "Raises:\n"
               "    UndoError: If the undo operation fails")},
    {"packet_count_at", fastcall_kw<sim_packet_count_at>(), METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("packet_count_at($self, location)\n--\n\n"
               "Get the number of packets at a location.")},
    {"get_packets_at_location", fastcall_kw<sim_get_packets_at_location>(),
     METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("get_packets_at_location($self, location)\n--\n\n"
               "Get all packet IDs at a location.")},
    {"get_epoch", fastcall_kw<sim_get_epoch>(), METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("get_epoch($self, epoch_id)\n--\n\nGet an epoch by ID.")},
    {"get_startable_epochs", noargs<sim_get_startable_epochs>(), METH_NOARGS,
     PyDoc_STR("get_startable_epochs($self)\n--\n\nGet all startable epoch IDs.")},
    {"get_packet", fastcall_kw<sim_get_packet>(), METH_FASTCALL | METH_KEYWORDS,
     PyDoc_STR("get_packet($self, packet_id)\n--\n\nGet a packet by ID.")},
    reduce_method<sim_reduce>(),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef sim_getset[] = {
    {"graph", guarded<sim_get_graph>, nullptr, PyDoc_STR("Get the underlying graph."), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

Ref make_net_sim_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, sim_doc),
      slot(Py_tp_new, guarded<sim_new>),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::NetSim>),
      slot(Py_tp_repr, guarded<sim_repr>),
      slot(Py_tp_methods, sim_methods),
      slot(Py_tp_getset, sim_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "NetSim",
      .basicsize = static_cast<int>(sizeof(NetSimObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

}  // namespace vornix::py
