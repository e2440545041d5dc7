// The module's classes and shared objects, reachable from every binding file.
//
// The module is made once per process, so everything it makes at import (its
// classes, its exception classes, the strings it hands out on every call) is
// held in this one process-wide registry, filled at import and read-only
// afterwards. A failed import resets the whole registry at once. A class file reaches another's
// class through it:
//
//   Ref pt = enum_value(types().port_type.get(), 1);      // PortRef.port_type
//   instance_arg("source", obj, types().port_ref.get());  // Edge(source, ...)
//
// An empty Ref means the class has not been created (yet): factories run in
// registration order (module.cpp), so a class may only rely on classes made
// before it, or look them up lazily at call time.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "support/ref.hpp"

namespace vornix::py {

struct EnumClassSpec;

// Strings looked up or handed out on every call, made once (interned).
struct InternedStrings {
  Ref ulid;      // "ulid", the module name
  Ref ULID;      // its class
  Ref from_str;  // the class's constructor from text
  Ref events;    // the attribute carrying a failed or interrupted run's events
};

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

  // Exception classes, indexed by Exc (errors/exceptions.hpp).
  std::vector<Ref> exceptions;
  // The BaseException-derived class of internal faults (support/errors.hpp).
  Ref internal_fault;
  // Every enumeration class with the PyType_Spec that made it (support/enum_class.hpp).
  std::vector<std::pair<Ref, const EnumClassSpec*>> enum_classes;
  // The names of the event kinds, by kind number (net/event.cpp).
  std::vector<Ref> event_kinds;
  // The classes of the NetActionResponseData variants, by alternative
  // (net/response_data.cpp).
  std::vector<Ref> response_variants;
  InternedStrings strings;
};

// The registry. Never destroyed: the classes must outlive every instance, and
// at process exit the interpreter may already be gone.
inline ClassRegistry& types() {
  static auto* registry = new ClassRegistry();
  return *registry;
}

inline const InternedStrings& strings() { return types().strings; }

// Makes the interned strings; the entry point calls it before any class.
void make_interned_strings();
// An interned str for a static ASCII name.
Ref interned(const char* name);

}  // namespace vornix::py
