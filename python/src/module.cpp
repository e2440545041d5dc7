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
#include "net/packet.hpp"
#include "net/packet_location.hpp"
#include "net/response_data.hpp"
#include "net/salvo.hpp"
#include "net/netsim.hpp"
#include "support/errors.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

struct Registration {
  const char* name;
  Ref (*factory)();
  Ref ClassRegistry::*registry_slot;  // null for the exception classes
};

// Exception classes, each on its base (VornixError and UndoError first).
constexpr Registration kExceptionClasses[] = {
    {"VornixError", exception_factory<Exc::VornixError>, nullptr},
    {"PacketNotFoundError", exception_factory<Exc::PacketNotFoundError>, nullptr},
    {"EpochNotFoundError", exception_factory<Exc::EpochNotFoundError>, nullptr},
    {"EpochNotRunningError", exception_factory<Exc::EpochNotRunningError>, nullptr},
    {"EpochNotStartableError", exception_factory<Exc::EpochNotStartableError>, nullptr},
    {"CannotFinishNonEmptyEpochError", exception_factory<Exc::CannotFinishNonEmptyEpochError>,
     nullptr},
    {"UnsentOutputSalvoError", exception_factory<Exc::UnsentOutputSalvoError>, nullptr},
    {"PacketNotInAnyNodeError", exception_factory<Exc::PacketNotInAnyNodeError>, nullptr},
    {"OutputPortNotFoundError", exception_factory<Exc::OutputPortNotFoundError>, nullptr},
    {"OutputPortFullError", exception_factory<Exc::OutputPortFullError>, nullptr},
    {"SalvoConditionNotFoundError", exception_factory<Exc::SalvoConditionNotFoundError>, nullptr},
    {"SalvoConditionNotMetError", exception_factory<Exc::SalvoConditionNotMetError>, nullptr},
    {"MaxSalvosExceededError", exception_factory<Exc::MaxSalvosExceededError>, nullptr},
    {"NodeNotFoundError", exception_factory<Exc::NodeNotFoundError>, nullptr},
    {"PacketNotAtInputPortError", exception_factory<Exc::PacketNotAtInputPortError>, nullptr},
    {"InputPortNotFoundError", exception_factory<Exc::InputPortNotFoundError>, nullptr},
    {"InputPortFullError", exception_factory<Exc::InputPortFullError>, nullptr},
    {"CannotMovePacketFromRunningEpochError",
     exception_factory<Exc::CannotMovePacketFromRunningEpochError>, nullptr},
    {"CannotMovePacketIntoRunningEpochError",
     exception_factory<Exc::CannotMovePacketIntoRunningEpochError>, nullptr},
    {"EdgeNotFoundError", exception_factory<Exc::EdgeNotFoundError>, nullptr},
    {"GraphValidationError", exception_factory<Exc::GraphValidationError>, nullptr},
    {"RequestCycleDetectedError", exception_factory<Exc::RequestCycleDetectedError>, nullptr},
    {"RequestUnconnectedPortError", exception_factory<Exc::RequestUnconnectedPortError>, nullptr},
    {"RequestNodeNotFoundError", exception_factory<Exc::RequestNodeNotFoundError>, nullptr},
    {"UndoError", exception_factory<Exc::UndoError>, nullptr},
    {"UndoStateMismatchError", exception_factory<Exc::UndoStateMismatchError>, nullptr},
    {"UndoNotFoundError", exception_factory<Exc::UndoNotFoundError>, nullptr},
    {"UndoNotUndoableError", exception_factory<Exc::UndoNotUndoableError>, nullptr},
    {"UndoInternalError", exception_factory<Exc::UndoInternalError>, nullptr},
};

// Graph classes. An entry commented out is a class still to be written; fill
// in its factory and uncomment it in place, keeping the order.
constexpr Registration kGraphClasses[] = {
    {"PacketCount", make_packet_count_class, &ClassRegistry::packet_count},
    {"PacketCountN", make_packet_count_n_class, &ClassRegistry::packet_count_n},
    {"MaxSalvos", make_max_salvos_class, &ClassRegistry::max_salvos},
    {"MaxSalvosFinite", make_max_salvos_finite_class, &ClassRegistry::max_salvos_finite},
    {"PortSlotSpec", make_port_slot_spec_class, &ClassRegistry::port_slot_spec},
    {"PortSlotSpecFinite", make_port_slot_spec_finite_class,
     &ClassRegistry::port_slot_spec_finite},
    {"PortState", make_port_state_class, &ClassRegistry::port_state},
    {"PortStateNumeric", make_port_state_numeric_class, &ClassRegistry::port_state_numeric},
    {"SalvoConditionTerm", make_salvo_condition_term_class,
     &ClassRegistry::salvo_condition_term},
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
    {"OrphanedPacketInfo", make_orphaned_packet_info_class,
     &ClassRegistry::orphaned_packet_info},
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
    clear_exception_classes();
    clear_internal_fault_class();
  }
  void commit() noexcept { committed_ = true; }

 private:
  bool committed_ = false;
};

template <std::size_t N>
void register_group(PyObject* module, PyObject* all, const Registration (&group)[N]) {
  for (const Registration& entry : group) {
    Ref cls = entry.factory();
    if (entry.registry_slot != nullptr) types().*entry.registry_slot = Ref::borrow(cls.get());
    check_status(PyModule_AddObjectRef(module, entry.name, cls.get()));
    Ref name = check(PyUnicode_FromString(entry.name));
    check_status(PyList_Append(all, name.get()));
  }
}

PyObject* init_module() {
  if (g_module != nullptr) return Ref::borrow(g_module).release();
  ImportRollback rollback;
  Ref module = check(PyModule_Create(&g_module_def));
  Ref all = check(PyList_New(0));
  check_status(PyModule_AddObjectRef(module.get(), "__all__", all.get()));
  create_internal_fault_class();
  register_group(module.get(), all.get(), kExceptionClasses);
  register_group(module.get(), all.get(), kGraphClasses);
  register_group(module.get(), all.get(), kSimulationClasses);
  rollback.commit();
  g_module = Ref::borrow(module.get()).release();
  return module.release();
}

}  // namespace
}  // namespace vornix::py

PyMODINIT_FUNC PyInit_vornix_sim(void) { return vornix::py::guarded<vornix::py::init_module>(); }
