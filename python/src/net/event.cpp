#include "net/event.hpp"

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "base/text.hpp"
#include "net/conversions.hpp"
#include "net/epoch.hpp"
#include "net/packet_location.hpp"
#include "net/record_values.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/no_constructor.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"
#include "support/ulid.hpp"

namespace vornix::py {
namespace {

using Location = vornix::PacketLocation;
using vornix::Timestamp;

// The engine's NetEvent with identifiers as text, epochs as EpochValue and
// the request source as its name. Same kinds, same order, same fields.
struct EventValue {
  struct PacketCreated {
    Timestamp timestamp;
    std::string packet_id;
  };
  struct PacketConsumed {
    Timestamp timestamp;
    std::string packet_id;
    Location location;
  };
  struct PacketDestroyed {
    Timestamp timestamp;
    std::string packet_id;
    Location location;
  };
  struct EpochCreated {
    Timestamp timestamp;
    std::string epoch_id;
  };
  struct EpochStarted {
    Timestamp timestamp;
    std::string epoch_id;
  };
  struct EpochFinished {
    Timestamp timestamp;
    EpochValue epoch;
  };
  struct EpochCancelled {
    Timestamp timestamp;
    EpochValue epoch;
  };
  struct PacketMoved {
    Timestamp timestamp;
    std::string packet_id;
    Location from_location;
    Location to_location;
    std::uint64_t from_index;
  };
  struct InputSalvoTriggered {
    Timestamp timestamp;
    std::string epoch_id;
    std::string salvo_condition;
  };
  struct OutputSalvoTriggered {
    Timestamp timestamp;
    std::string epoch_id;
    std::string salvo_condition;
  };
  struct PacketOrphaned {
    Timestamp timestamp;
    std::string packet_id;
    std::string epoch_id;
    std::string node_name;
    std::string port_name;
    std::string salvo_condition;
  };
  struct RequestCreated {
    Timestamp timestamp;
    std::string node_name;
    std::string label;
    std::string source;
  };
  struct RequestCascadeResolved {
    Timestamp timestamp;
    std::vector<std::string> source_nodes;
    std::string label;
  };
  struct RequestEpochCreated {
    Timestamp timestamp;
    std::string epoch_id;
    std::string node_name;
    std::string label;
  };

  std::variant<PacketCreated, PacketConsumed, PacketDestroyed, EpochCreated, EpochStarted,
               EpochFinished, EpochCancelled, PacketMoved, InputSalvoTriggered,
               OutputSalvoTriggered, PacketOrphaned, RequestCreated, RequestCascadeResolved,
               RequestEpochCreated>
      value;
};
using EventObject = Boxed<EventValue>;

static_assert(std::variant_size_v<decltype(EventValue::value)> ==
              std::variant_size_v<decltype(vornix::NetEvent::value)>);

const EventValue& value_of(PyObject* self) { return boxed_value<EventValue>(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<EventValue>(self).borrow; }

constexpr const char* kKinds[] = {
    "PacketCreated",          "PacketConsumed",       "PacketDestroyed", "EpochCreated",
    "EpochStarted",           "EpochFinished",        "EpochCancelled",  "PacketMoved",
    "InputSalvoTriggered",    "OutputSalvoTriggered", "PacketOrphaned",  "RequestCreated",
    "RequestCascadeResolved", "RequestEpochCreated",
};

vornix::RequestCreatedSource source_from_text(const std::string& text) {
  using S = vornix::RequestCreatedSource;
  for (S s : {S::External, S::OnStartup, S::OnNoSalvoTriggered}) {
    if (vornix::to_string(s) == text) return s;
  }
  raise_value_error("Invalid RequestCreatedSource: " + text);
}

EventValue from_core(const vornix::NetEvent& event) {
  using E = vornix::NetEvent;
  using V = EventValue;
  return std::visit(
      Overloaded{
          [](const E::PacketCreated& e) {
            return V{V::PacketCreated{e.timestamp, e.packet_id.to_string()}};
          },
          [](const E::PacketConsumed& e) {
            return V{V::PacketConsumed{e.timestamp, e.packet_id.to_string(), e.location}};
          },
          [](const E::PacketDestroyed& e) {
            return V{V::PacketDestroyed{e.timestamp, e.packet_id.to_string(), e.location}};
          },
          [](const E::EpochCreated& e) {
            return V{V::EpochCreated{e.timestamp, e.epoch_id.to_string()}};
          },
          [](const E::EpochStarted& e) {
            return V{V::EpochStarted{e.timestamp, e.epoch_id.to_string()}};
          },
          [](const E::EpochFinished& e) {
            return V{V::EpochFinished{e.timestamp, epoch_from_core(e.epoch)}};
          },
          [](const E::EpochCancelled& e) {
            return V{V::EpochCancelled{e.timestamp, epoch_from_core(e.epoch)}};
          },
          [](const E::PacketMoved& e) {
            return V{V::PacketMoved{e.timestamp, e.packet_id.to_string(), e.from_location,
                                    e.to_location, e.from_index}};
          },
          [](const E::InputSalvoTriggered& e) {
            return V{
                V::InputSalvoTriggered{e.timestamp, e.epoch_id.to_string(), e.salvo_condition}};
          },
          [](const E::OutputSalvoTriggered& e) {
            return V{
                V::OutputSalvoTriggered{e.timestamp, e.epoch_id.to_string(), e.salvo_condition}};
          },
          [](const E::PacketOrphaned& e) {
            return V{V::PacketOrphaned{e.timestamp, e.packet_id.to_string(), e.epoch_id.to_string(),
                                       e.node_name, e.port_name, e.salvo_condition}};
          },
          [](const E::RequestCreated& e) {
            return V{V::RequestCreated{e.timestamp, e.node_name, e.label,
                                       std::string(vornix::to_string(e.source))}};
          },
          [](const E::RequestCascadeResolved& e) {
            return V{V::RequestCascadeResolved{e.timestamp, e.source_nodes, e.label}};
          },
          [](const E::RequestEpochCreated& e) {
            return V{
                V::RequestEpochCreated{e.timestamp, e.epoch_id.to_string(), e.node_name, e.label}};
          },
      },
      event.value);
}

// Fields are parsed in their declared order (braced initialisers evaluate
// left to right), so the first bad one is the one reported.
vornix::NetEvent to_core(const EventValue& event) {
  using E = vornix::NetEvent;
  using V = EventValue;
  return std::visit(
      Overloaded{
          [](const V::PacketCreated& e) {
            return E{E::PacketCreated{e.timestamp, str_to_ulid(e.packet_id)}};
          },
          [](const V::PacketConsumed& e) {
            return E{E::PacketConsumed{e.timestamp, str_to_ulid(e.packet_id), e.location}};
          },
          [](const V::PacketDestroyed& e) {
            return E{E::PacketDestroyed{e.timestamp, str_to_ulid(e.packet_id), e.location}};
          },
          [](const V::EpochCreated& e) {
            return E{E::EpochCreated{e.timestamp, str_to_ulid(e.epoch_id)}};
          },
          [](const V::EpochStarted& e) {
            return E{E::EpochStarted{e.timestamp, str_to_ulid(e.epoch_id)}};
          },
          [](const V::EpochFinished& e) {
            return E{E::EpochFinished{e.timestamp, epoch_to_core(e.epoch)}};
          },
          [](const V::EpochCancelled& e) {
            return E{E::EpochCancelled{e.timestamp, epoch_to_core(e.epoch)}};
          },
          [](const V::PacketMoved& e) {
            return E{E::PacketMoved{e.timestamp, str_to_ulid(e.packet_id), e.from_location,
                                    e.to_location, e.from_index}};
          },
          [](const V::InputSalvoTriggered& e) {
            return E{
                E::InputSalvoTriggered{e.timestamp, str_to_ulid(e.epoch_id), e.salvo_condition}};
          },
          [](const V::OutputSalvoTriggered& e) {
            return E{
                E::OutputSalvoTriggered{e.timestamp, str_to_ulid(e.epoch_id), e.salvo_condition}};
          },
          [](const V::PacketOrphaned& e) {
            return E{E::PacketOrphaned{e.timestamp, str_to_ulid(e.packet_id),
                                       str_to_ulid(e.epoch_id), e.node_name, e.port_name,
                                       e.salvo_condition}};
          },
          [](const V::RequestCreated& e) {
            return E{
                E::RequestCreated{e.timestamp, e.node_name, e.label, source_from_text(e.source)}};
          },
          [](const V::RequestCascadeResolved& e) {
            return E{E::RequestCascadeResolved{e.timestamp, e.source_nodes, e.label}};
          },
          [](const V::RequestEpochCreated& e) {
            return E{
                E::RequestEpochCreated{e.timestamp, str_to_ulid(e.epoch_id), e.node_name, e.label}};
          },
      },
      event.value);
}

// A getter answers for the kinds whose fields `convert` can read and gives
// None for the rest; `convert` must be SFINAE-friendly (trailing decltype).
template <class F>
PyObject* field_or_none(PyObject* self, F convert) {
  SharedBorrow hold(borrow_of(self));
  return std::visit(
      [&](const auto& e) -> PyObject* {
        if constexpr (std::is_invocable_v<F&, decltype(e)>) {
          return convert(e).release();
        } else {
          Py_RETURN_NONE;
        }
      },
      value_of(self).value);
}

Ref str_list(const std::vector<std::string>& items) {
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(items.size())));
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), to_py_str(items[i]).release());
  }
  return list;
}

PyObject* get_kind(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return to_py_str(kKinds[value_of(self).value.index()]).release();
}

PyObject* get_timestamp(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(void(e.timestamp), Ref()) {
    return check(PyLong_FromLongLong(e.timestamp));
  });
}

PyObject* get_packet_id(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(to_py_str(e.packet_id)) {
    return to_py_str(e.packet_id);
  });
}

// For EpochFinished and EpochCancelled, the id of the epoch they carry.
PyObject* get_epoch_id(PyObject* self, void*) {
  return field_or_none(
      self,
      Overloaded{
          [](const auto& e) -> decltype(to_py_str(e.epoch_id)) { return to_py_str(e.epoch_id); },
          [](const auto& e) -> decltype(to_py_str(e.epoch.id)) { return to_py_str(e.epoch.id); },
      });
}

PyObject* get_epoch(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(epoch_value_to_python(e.epoch)) {
    return epoch_value_to_python(e.epoch);
  });
}

PyObject* get_from_location(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(location_to_python(e.from_location)) {
    return location_to_python(e.from_location);
  });
}

PyObject* get_to_location(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(location_to_python(e.to_location)) {
    return location_to_python(e.to_location);
  });
}

PyObject* get_from_index(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(void(e.from_index), Ref()) {
    return check(PyLong_FromUnsignedLongLong(e.from_index));
  });
}

PyObject* get_location(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(location_to_python(e.location)) {
    return location_to_python(e.location);
  });
}

PyObject* get_salvo_condition(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(to_py_str(e.salvo_condition)) {
    return to_py_str(e.salvo_condition);
  });
}

PyObject* get_node_name(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(to_py_str(e.node_name)) {
    return to_py_str(e.node_name);
  });
}

PyObject* get_label(PyObject* self, void*) {
  return field_or_none(
      self, [](const auto& e) -> decltype(to_py_str(e.label)) { return to_py_str(e.label); });
}

PyObject* get_source_nodes(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(str_list(e.source_nodes)) {
    return str_list(e.source_nodes);
  });
}

PyObject* get_request_source(PyObject* self, void*) {
  return field_or_none(
      self, [](const auto& e) -> decltype(to_py_str(e.source)) { return to_py_str(e.source); });
}

PyObject* get_orphaned_port_name(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(to_py_str(e.port_name)) {
    return to_py_str(e.port_name);
  });
}

std::string quoted_list(const std::vector<std::string>& items) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += ", ";
    text += vornix::quoted_form(items[i]);
  }
  return text + "]";
}

std::string event_repr(const EventValue& event) {
  using V = EventValue;
  using vornix::quoted_form;
  const auto head = [](std::string_view kind, Timestamp ts) {
    return "NetEvent." + std::string(kind) + "(ts=" + std::to_string(ts);
  };
  return std::visit(
      Overloaded{
          [&](const V::PacketCreated& e) {
            return head("PacketCreated", e.timestamp) + ", packet_id='" + e.packet_id + "')";
          },
          [&](const V::PacketConsumed& e) {
            return head("PacketConsumed", e.timestamp) + ", packet_id='" + e.packet_id +
                   "', location=" + location_repr(e.location) + ")";
          },
          [&](const V::PacketDestroyed& e) {
            return head("PacketDestroyed", e.timestamp) + ", packet_id='" + e.packet_id +
                   "', location=" + location_repr(e.location) + ")";
          },
          [&](const V::EpochCreated& e) {
            return head("EpochCreated", e.timestamp) + ", epoch_id='" + e.epoch_id + "')";
          },
          [&](const V::EpochStarted& e) {
            return head("EpochStarted", e.timestamp) + ", epoch_id='" + e.epoch_id + "')";
          },
          [&](const V::EpochFinished& e) {
            return head("EpochFinished", e.timestamp) + ", epoch=" + epoch_repr(e.epoch) + ")";
          },
          [&](const V::EpochCancelled& e) {
            return head("EpochCancelled", e.timestamp) + ", epoch=" + epoch_repr(e.epoch) + ")";
          },
          [&](const V::PacketMoved& e) {
            return head("PacketMoved", e.timestamp) + ", packet_id='" + e.packet_id +
                   "', from=" + location_repr(e.from_location) +
                   ", to=" + location_repr(e.to_location) +
                   ", from_index=" + std::to_string(e.from_index) + ")";
          },
          [&](const V::InputSalvoTriggered& e) {
            return head("InputSalvoTriggered", e.timestamp) + ", epoch_id='" + e.epoch_id +
                   "', condition=" + quoted_form(e.salvo_condition) + ")";
          },
          [&](const V::OutputSalvoTriggered& e) {
            return head("OutputSalvoTriggered", e.timestamp) + ", epoch_id='" + e.epoch_id +
                   "', condition=" + quoted_form(e.salvo_condition) + ")";
          },
          [&](const V::PacketOrphaned& e) {
            return head("PacketOrphaned", e.timestamp) + ", packet_id='" + e.packet_id +
                   "', epoch_id='" + e.epoch_id + "', node=" + quoted_form(e.node_name) +
                   ", port=" + quoted_form(e.port_name) +
                   ", condition=" + quoted_form(e.salvo_condition) + ")";
          },
          [&](const V::RequestCreated& e) {
            return head("RequestCreated", e.timestamp) + ", node=" + quoted_form(e.node_name) +
                   ", label=" + quoted_form(e.label) + ", source=" + quoted_form(e.source) + ")";
          },
          [&](const V::RequestCascadeResolved& e) {
            return head("RequestCascadeResolved", e.timestamp) +
                   ", source_nodes=" + quoted_list(e.source_nodes) +
                   ", label=" + quoted_form(e.label) + ")";
          },
          [&](const V::RequestEpochCreated& e) {
            return head("RequestEpochCreated", e.timestamp) + ", epoch_id='" + e.epoch_id +
                   "', source_node=" + quoted_form(e.node_name) +
                   ", label=" + quoted_form(e.label) + ")";
          },
      },
      event.value);
}

PyObject* net_event_repr(PyObject* self) {
  SharedBorrow hold(borrow_of(self));
  return to_py_str(event_repr(value_of(self))).release();
}

PyDoc_STRVAR(net_event_doc, "An event that occurred during a network action.");

PyGetSetDef net_event_getset[] = {
    {"kind", guarded<get_kind>, nullptr, nullptr, nullptr},
    {"timestamp", guarded<get_timestamp>, nullptr, nullptr, nullptr},
    {"packet_id", guarded<get_packet_id>, nullptr, nullptr, nullptr},
    {"epoch_id", guarded<get_epoch_id>, nullptr, nullptr, nullptr},
    {"epoch", guarded<get_epoch>, nullptr,
     PyDoc_STR("Get the epoch (for EpochFinished and EpochCancelled events)."), nullptr},
    {"from_location", guarded<get_from_location>, nullptr, nullptr, nullptr},
    {"to_location", guarded<get_to_location>, nullptr, nullptr, nullptr},
    {"from_index", guarded<get_from_index>, nullptr,
     PyDoc_STR("Get the from_index (for PacketMoved events - used for undo)."), nullptr},
    {"location", guarded<get_location>, nullptr,
     PyDoc_STR("Get the location (for PacketConsumed and PacketDestroyed events)."), nullptr},
    {"salvo_condition", guarded<get_salvo_condition>, nullptr, nullptr, nullptr},
    {"node_name", guarded<get_node_name>, nullptr,
     PyDoc_STR("Get the node name (for PacketOrphaned, RequestCreated, RequestEpochCreated "
               "events)."),
     nullptr},
    {"label", guarded<get_label>, nullptr,
     PyDoc_STR("Get the label (for RequestCreated, RequestCascadeResolved, RequestEpochCreated "
               "events)."),
     nullptr},
    {"source_nodes", guarded<get_source_nodes>, nullptr,
     PyDoc_STR("Get the source nodes (for RequestCascadeResolved events)."), nullptr},
    {"request_source", guarded<get_request_source>, nullptr,
     PyDoc_STR("Get the request source (for RequestCreated events).\n"
               "Returns \"External\", \"OnStartup\", or \"OnNoSalvoTriggered\"."),
     nullptr},
    {"orphaned_port_name", guarded<get_orphaned_port_name>, nullptr,
     PyDoc_STR("Get the port name (for PacketOrphaned events - the output port the packet was "
               "sent from)."),
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

Ref make_net_event_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, net_event_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<EventValue>),
      slot(Py_tp_repr, guarded<net_event_repr>),
      slot(Py_tp_getset, net_event_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "NetEvent",
      .basicsize = static_cast<int>(sizeof(EventObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref event_to_python(const vornix::NetEvent& event) {
  return new_boxed(types().net_event.get(), from_core(event));
}

Ref events_to_python(const std::vector<vornix::NetEvent>& events) {
  Ref list = check(PyList_New(static_cast<Py_ssize_t>(events.size())));
  for (std::size_t i = 0; i < events.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), event_to_python(events[i]).release());
  }
  return list;
}

vornix::NetEvent event_from_python(PyObject* obj) {
  PyObject* cls = types().net_event.get();
  if (cls == nullptr || reinterpret_cast<PyObject*>(Py_TYPE(obj)) != cls) {
    raise_type_error("'" + type_name_of(obj) + "' object cannot be converted to 'NetEvent'");
  }
  SharedBorrow hold(borrow_of(obj));
  return to_core(value_of(obj));
}

}  // namespace vornix::py
