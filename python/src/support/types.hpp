// The module's classes, reachable from every binding file.
//
// The module is made once per process, so its classes are held in one
// process-wide registry, filled at import by each class's factory and
// read-only afterwards. A class file reaches another's class through it:
//
//   Ref pt = enum_value(types().port_type.get(), 1);      // PortRef.port_type
//   instance_arg("source", obj, types().port_ref.get());  // Edge(source, ...)
//
// An empty Ref means the class has not been created (yet): factories run in
// registration order (module.cpp), so a class may only rely on classes made
// before it, or look them up lazily at call time.
#pragma once

#include "support/ref.hpp"

namespace vornix::py {

struct ClassRegistry {
  // Graph classes.
  Ref packet_count;
  Ref packet_count_n;
  Ref max_salvos;
  Ref max_salvos_finite;
  Ref port_slot_spec;
  Ref port_slot_spec_finite;
  Ref port_state;
  Ref port_state_numeric;
  Ref salvo_condition_term;
  Ref dependency_request_trigger;
  Ref dependency_request_config;
  Ref port;
  Ref port_type;
  Ref port_ref;
  Ref edge;
  Ref salvo_condition;
  Ref node;
  Ref graph_validation_error_info;
  Ref graph;
  // Simulation classes.
  Ref packet_location;
  Ref epoch_state;
  Ref packet;
  Ref salvo;
  Ref orphaned_packet_info;
  Ref epoch;
  Ref net_action;
  Ref net_event;
  Ref net_action_response_data;
  Ref net_sim;
};

// The registry. Never destroyed: the classes must outlive every instance, and
// at process exit the interpreter may already be gone.
inline ClassRegistry& types() {
  static auto* registry = new ClassRegistry();
  return *registry;
}

}  // namespace vornix::py
