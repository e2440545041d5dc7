// The module's entry point and the order in which it fills itself.
//
// Importing runs three registration groups, in order: the exception classes,
// the graph classes, the simulation classes. Each entry makes one class, adds
// it to the module under its name, appends the name to __all__ and, for the
// ordinary classes, records it in the class registry (support/types.hpp) so
// that later classes can use it. The first failing step fails the import with
// its exception and undoes everything the attempt made; nothing else happens
// at import.
//
// The module is made at most once per process: the interpreter calls the
// entry point again when the module is re-imported after being dropped from
// sys.modules, and gets the same module object back.
#include "errors/exceptions.hpp"
#include "graph/edge.hpp"
#include "graph/graph_class.hpp"
#include "graph/max_salvos.hpp"
#include "graph/node.hpp"
#include "graph/packet_count.hpp"
#include "graph/port.hpp"
#include "graph/port_ref.hpp"
#include "graph/port_slot_spec.hpp"
#include "graph/port_state.hpp"
#include "graph/port_type.hpp"
#include "graph/request_config.hpp"
#include "graph/salvo_condition.hpp"
#include "graph/term.hpp"
#include "graph/validation_error.hpp"
#include "net/action.hpp"
#include "net/epoch.hpp"
#include "net/epoch_state.hpp"
#include "net/event.hpp"
#include "net/netsim.hpp"
#include "net/packet.hpp"
#include "net/packet_location.hpp"
#include "net/response_data.hpp"
#include "net/salvo.hpp"
#include "support/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

struct Registration {
  const char* name;
  Ref (*factory)();
  Ref ClassRegistry::*registry_slot;
};

// Graph classes. An entry commented out is a class still to be written; fill
// in its factory and uncomment it in place, keeping the order.
constexpr Registration kGraphClasses[] = {
    {"PacketCount", make_packet_count_class, &ClassRegistry::packet_count},
    {"PacketCountN", make_packet_count_n_class, &ClassRegistry::packet_count_n},
    {"MaxSalvos", make_max_salvos_class, &ClassRegistry::max_salvos},
    {"MaxSalvosFinite", make_max_salvos_finite_class, &ClassRegistry::max_salvos_finite},
    {"PortSlotSpec", make_port_slot_spec_class, &ClassRegistry::port_slot_spec},
    {"PortSlotSpecFinite", make_port_slot_spec_finite_class, &ClassRegistry::port_slot_spec_finite},
    {"PortState", make_port_state_class, &ClassRegistry::port_state},
    {"PortStateNumeric", make_port_state_numeric_class, &ClassRegistry::port_state_numeric},
    {"SalvoConditionTerm", make_salvo_condition_term_class, &ClassRegistry::salvo_condition_term},
    {"DependencyRequestTrigger", make_dependency_request_trigger_class,
     &ClassRegistry::dependency_request_trigger},
    {"DependencyRequestConfig", make_dependency_request_config_class,
     &ClassRegistry::dependency_request_config},
    {"Port", make_port_class, &ClassRegistry::port},
    {"PortType", make_port_type_class, &ClassRegistry::port_type},
    {"PortRef", make_port_ref_class, &ClassRegistry::port_ref},
    {"Edge", make_edge_class, &ClassRegistry::edge},
    {"SalvoCondition", make_salvo_condition_class, &ClassRegistry::salvo_condition},
    {"Node", make_node_class, &ClassRegistry::node},
    {"GraphValidationErrorInfo", make_graph_validation_error_info_class,
     &ClassRegistry::graph_validation_error_info},
    {"Graph", make_graph_class, &ClassRegistry::graph},
};

// Simulation classes, likewise.
constexpr Registration kSimulationClasses[] = {
    {"PacketLocation", make_packet_location_class, &ClassRegistry::packet_location},
    {"EpochState", make_epoch_state_class, &ClassRegistry::epoch_state},
    {"Packet", make_packet_class, &ClassRegistry::packet},
    {"Salvo", make_salvo_class, &ClassRegistry::salvo},
    {"OrphanedPacketInfo", make_orphaned_packet_info_class, &ClassRegistry::orphaned_packet_info},
    {"Epoch", make_epoch_class, &ClassRegistry::epoch},
    {"NetAction", make_net_action_class, &ClassRegistry::net_action},
    {"NetEvent", make_net_event_class, &ClassRegistry::net_event},
    {"NetActionResponseData", make_net_action_response_data_class,
     &ClassRegistry::net_action_response_data},
    {"NetSim", make_net_sim_class, &ClassRegistry::net_sim},
};

PyDoc_STRVAR(module_doc,
             "Python bindings for vornix-sim, a flow-based development runtime simulation "
             "engine.");

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "vornix_sim",  // m_name
    module_doc,    // m_doc
    // No per-module state: everything lives in process-wide registries. A
    // non-negative size also makes the interpreter call the entry point again
    // on re-import instead of copying a stale module dict.
    0,        // m_size
    nullptr,  // m_methods
    nullptr,  // m_slots
    nullptr,  // m_traverse
    nullptr,  // m_clear
    nullptr,  // m_free
};

// The one module of this process, once made. Never released.
PyObject* g_module = nullptr;

// Undoes a failed import attempt so that the next one starts from nothing.
class ImportRollback {
 public:
  ImportRollback() = default;
  ImportRollback(const ImportRollback&) = delete;
  ImportRollback& operator=(const ImportRollback&) = delete;
  ~ImportRollback() {
    if (committed_) return;
    types() = ClassRegistry{};
  }
  void commit() noexcept { committed_ = true; }

 private:
  bool committed_ = false;
};

void add_to_module(PyObject* module, PyObject* all, const char* name, PyObject* cls) {
  check_status(PyModule_AddObjectRef(module, name, cls));
  Ref text = check(PyUnicode_FromString(name));
  check_status(PyList_Append(all, text.get()));
}

// Exception classes, each on its base, in the order of their table.
void register_exceptions(PyObject* module, PyObject* all) {
  for (std::size_t i = 0; i < kExceptionCount; ++i) {
    const Exc id = static_cast<Exc>(i);
    Ref cls = make_exception_class(id);
    add_to_module(module, all, exception_name(id), cls.get());
  }
}

template <std::size_t N>
void register_group(PyObject* module, PyObject* all, const Registration (&group)[N]) {
  for (const Registration& entry : group) {
    Ref cls = entry.factory();
    types().*entry.registry_slot = Ref::borrow(cls.get());
    add_to_module(module, all, entry.name, cls.get());
  }
}

// The interpreter that made the module. The module keeps its classes in
// process-wide state, so it can belong to one interpreter only.
PyInterpreterState* g_owner = nullptr;

PyInterpreterState* current_interpreter() {
  return PyThreadState_GetInterpreter(PyThreadState_Get());
}

// Another interpreter must not share the first one's module: its import
// machinery would rewrite the module's attributes, and its teardown would
// clear them under the first interpreter's feet. It gets an ImportError and
// the first interpreter's module stays as it was.
void refuse_other_interpreters() {
  if (g_owner == nullptr || current_interpreter() == g_owner) return;
  raise(PyExc_ImportError,
        "vornix_sim can only be imported in one interpreter per process; it is already "
        "loaded in another");
}

PyObject* init_module() {
  refuse_other_interpreters();
  if (g_module != nullptr) return Ref::borrow(g_module).release();
  ImportRollback rollback;
  make_interned_strings();
  Ref module = check(PyModule_Create(&g_module_def));
  Ref all = check(PyList_New(0));
  check_status(PyModule_AddObjectRef(module.get(), "__all__", all.get()));
  create_internal_fault_class();
  register_exceptions(module.get(), all.get());
  register_group(module.get(), all.get(), kGraphClasses);
  register_group(module.get(), all.get(), kSimulationClasses);
  rollback.commit();
  g_module = Ref::borrow(module.get()).release();
  g_owner = current_interpreter();
  return module.release();
}

}  // namespace
}  // namespace vornix::py

PyMODINIT_FUNC PyInit_vornix_sim(void) { return vornix::py::guarded<vornix::py::init_module>(); }
