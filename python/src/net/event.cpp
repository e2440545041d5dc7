#include "net/event.hpp"

#include <cstdint>
#include <iterator>
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
#include "support/exact.hpp"
#include "support/lists.hpp"
#include "support/no_constructor.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"
#include "support/ulid.hpp"

namespace vornix::py {
namespace {

using vornix::Timestamp;

// A NetEvent holds the engine event itself: making one per event costs one
// allocation and a move, and each getter converts its field when asked.
using EventObject = Boxed<vornix::NetEvent>;

const vornix::NetEvent& value_of(PyObject* self) { return boxed_value<vornix::NetEvent>(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<vornix::NetEvent>(self).borrow; }

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

// The kind names are made once and handed out shared.
PyObject* get_kind(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return Ref::borrow(types().event_kinds[value_of(self).value.index()].get()).release();
}

PyObject* get_timestamp(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(void(e.timestamp), Ref()) {
    return check(PyLong_FromLongLong(e.timestamp));
  });
}

PyObject* get_packet_id(PyObject* self, void*) {
  return field_or_none(self, [](const auto& e) -> decltype(ulid_to_py_str(e.packet_id)) {
    return ulid_to_py_str(e.packet_id);
  });
}

// For EpochFinished and EpochCancelled, the id of the epoch they carry.
PyObject* get_epoch_id(PyObject* self, void*) {
  return field_or_none(self, Overloaded{
                                 [](const auto& e) -> decltype(ulid_to_py_str(e.epoch_id)) {
                                   return ulid_to_py_str(e.epoch_id);
                                 },
                                 [](const auto& e) -> decltype(ulid_to_py_str(e.epoch->id)) {
                                   return ulid_to_py_str(e.epoch->id);
                                 },
                             });
}

PyObject* get_epoch(PyObject* self, void*) {
  // The event's snapshot is shared with the Epoch object, not copied.
  return field_or_none(self, [](const auto& e) -> decltype(epoch_to_python(e.epoch.shared())) {
    return epoch_to_python(e.epoch.shared());
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
  return field_or_none(self, [](const auto& e) -> decltype(to_py_str(vornix::to_string(e.source))) {
    return to_py_str(vornix::to_string(e.source));
  });
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

std::string event_repr(const vornix::NetEvent& event) {
  using V = vornix::NetEvent;
  using vornix::quoted_form;
  const auto id = [](const vornix::Ulid& u) { return u.to_string(); };
  const auto epoch = [](const vornix::Epoch& e) { return epoch_repr(e); };
  const auto head = [&event](Timestamp ts) {
    return "NetEvent." + std::string(event.kind_name()) + "(ts=" + std::to_string(ts);
  };
  return std::visit(
      Overloaded{
          [&](const V::PacketCreated& e) {
            return head(e.timestamp) + ", packet_id='" + id(e.packet_id) + "')";
          },
          [&](const V::PacketConsumed& e) {
            return head(e.timestamp) + ", packet_id='" + id(e.packet_id) +
                   "', location=" + location_repr(e.location) + ")";
          },
          [&](const V::PacketDestroyed& e) {
            return head(e.timestamp) + ", packet_id='" + id(e.packet_id) +
                   "', location=" + location_repr(e.location) + ")";
          },
          [&](const V::EpochCreated& e) {
            return head(e.timestamp) + ", epoch_id='" + id(e.epoch_id) + "')";
          },
          [&](const V::EpochStarted& e) {
            return head(e.timestamp) + ", epoch_id='" + id(e.epoch_id) + "')";
          },
          [&](const V::EpochFinished& e) {
            return head(e.timestamp) + ", epoch=" + epoch(e.epoch) + ")";
          },
          [&](const V::EpochCancelled& e) {
            return head(e.timestamp) + ", epoch=" + epoch(e.epoch) + ")";
          },
          [&](const V::PacketMoved& e) {
            return head(e.timestamp) + ", packet_id='" + id(e.packet_id) +
                   "', from=" + location_repr(e.from_location) +
                   ", to=" + location_repr(e.to_location) +
                   ", from_index=" + std::to_string(e.from_index) + ")";
          },
          [&](const V::InputSalvoTriggered& e) {
            return head(e.timestamp) + ", epoch_id='" + id(e.epoch_id) +
                   "', condition=" + quoted_form(e.salvo_condition) + ")";
          },
          [&](const V::OutputSalvoTriggered& e) {
            return head(e.timestamp) + ", epoch_id='" + id(e.epoch_id) +
                   "', condition=" + quoted_form(e.salvo_condition) + ")";
          },
          [&](const V::PacketOrphaned& e) {
            return head(e.timestamp) + ", packet_id='" + id(e.packet_id) + "', epoch_id='" +
                   id(e.epoch_id) + "', node=" + quoted_form(e.node_name) +
                   ", port=" + quoted_form(e.port_name) +
                   ", condition=" + quoted_form(e.salvo_condition) + ")";
          },
          [&](const V::RequestCreated& e) {
            return head(e.timestamp) + ", node=" + quoted_form(e.node_name) +
                   ", label=" + quoted_form(e.label) +
                   ", source=" + quoted_form(vornix::to_string(e.source)) + ")";
          },
          [&](const V::RequestCascadeResolved& e) {
            return head(e.timestamp) + ", source_nodes=" + quoted_list(e.source_nodes) +
                   ", label=" + quoted_form(e.label) + ")";
          },
          [&](const V::RequestEpochCreated& e) {
            return head(e.timestamp) + ", epoch_id='" + id(e.epoch_id) +
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
      slot(Py_tp_dealloc, boxed_dealloc<vornix::NetEvent>),
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
  Ref cls = make_class(spec);
  std::vector<Ref>& kinds = types().event_kinds;
  kinds.clear();
  for (std::string_view kind : vornix::kEventKindNames)
    kinds.push_back(interned(std::string(kind).c_str()));
  return cls;
}

Ref event_to_python(const vornix::NetEvent& event) {
  return new_boxed(types().net_event.get(), event);
}

Ref events_to_python(const vornix::EventList& events) {
  return list_of(events, [](const vornix::NetEvent& e) { return event_to_python(e); });
}

Ref events_to_python(vornix::EventList&& events) {
  return list_of(events, [](vornix::NetEvent& e) {
    return emplace_boxed<vornix::NetEvent>(types().net_event.get(), std::move(e));
  });
}

vornix::NetEvent event_from_python(PyObject* obj) {
  const vornix::NetEvent* event = exact_or_null<vornix::NetEvent>(types().net_event.get(), obj);
  if (event == nullptr) {
    // Appended, not "'" + std::string&&, which GCC 12 misreads at -O3.
    std::string message = "'";
    message += type_name_of(obj);
    message += "' object cannot be converted to 'NetEvent'";
    raise_type_error(message);
  }
  SharedBorrow hold(borrow_of(obj));
  return *event;
}

}  // namespace vornix::py
