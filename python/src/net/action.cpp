#include "net/action.hpp"

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "base/result.hpp"
#include "base/text.hpp"
#include "net/conversions.hpp"
#include "net/packet_location.hpp"
#include "net/record_values.hpp"
#include "net/salvo.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/no_constructor.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"
#include "support/ulid.hpp"

namespace vornix::py {
namespace {

// An identifier as the caller gave it: the text of str(obj), held as an exact
// str (no copy of its bytes is made) and parsed only when the action is
// performed, so that the repr and the pickle show the caller's text.
using IdText = Ref;

// The engine's NetAction with identifiers still as the caller's text.
struct ActionValue {
  struct RunStep {};
  struct CreatePacket {
    std::optional<IdText> epoch_id;
  };
  struct ConsumePacket {
    IdText packet_id;
  };
  struct DestroyPacket {
    IdText packet_id;
  };
  struct StartEpoch {
    IdText epoch_id;
  };
  struct FinishEpoch {
    IdText epoch_id;
  };
  struct CancelEpoch {
    IdText epoch_id;
  };
  struct CreateEpoch {
    std::string node_name;
    SalvoValue salvo;
  };
  struct LoadPacketIntoOutputPort {
    IdText packet_id;
    std::string port_name;
  };
  struct SendOutputSalvo {
    IdText epoch_id;
    std::string salvo_condition_name;
  };
  struct TransportPacketToLocation {
    IdText packet_id;
    vornix::PacketLocation destination;
  };
  struct CreateRequest {
    std::string node_name;
    std::string label;
  };

  std::variant<RunStep, CreatePacket, ConsumePacket, DestroyPacket, StartEpoch, FinishEpoch,
               CancelEpoch, CreateEpoch, LoadPacketIntoOutputPort, SendOutputSalvo,
               TransportPacketToLocation, CreateRequest>
      value;
};
using ActionObject = Boxed<ActionValue>;

const ActionValue& value_of(PyObject* self) { return boxed_value<ActionValue>(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<ActionValue>(self).borrow; }

template <class Variant>
Ref new_action(Variant v) {
  return new_boxed(types().net_action.get(), ActionValue{std::move(v)});
}

// The identifier's text as UTF-8, lone surrogates as their three-byte forms.
std::string id_utf8(const IdText& id) { return utf8_of(id.get(), {}, LoneSurrogates::kKeep); }

// The text of str(obj), taken as it is. A str with lone surrogates keeps them:
// the action is still accepted now, the identifier is refused by the parser
// when the action is performed, and the repr shows the text the caller gave.
IdText id_text(PyObject* obj) {
  if (PyUnicode_CheckExact(obj)) return Ref::borrow(obj);
  Ref text = PyUnicode_Check(obj) ? Ref::borrow(obj) : check(PyObject_Str(obj));
  if (PyUnicode_CheckExact(text.get())) return text;
  // A str subclass is held as a plain str of the same text, copied from its
  // characters (none of its methods runs).
  return check(PyUnicode_FromObject(text.get()));
}

PyObject* run_step(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature kSig{"run_step", {}, 0};
  parse_args(kSig, args, nargs, kwnames, {});
  return new_action(ActionValue::RunStep{}).release();
}

PyObject* create_packet(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"epoch_id"};
  static constexpr Signature kSig{"create_packet", kNames, 0};
  PyObject* argv[1] = {};
  take_args(kSig, args, nargs, kwnames, argv);
  ActionValue::CreatePacket action;
  if (!is_none_or_omitted(argv[0])) action.epoch_id = id_text(argv[0]);
  return new_action(std::move(action)).release();
}

// The five actions that name one packet or epoch and nothing else.
template <class Variant, const Signature& Sig>
PyObject* one_id(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* argv[1] = {};
  take_args(Sig, args, nargs, kwnames, argv);
  return new_action(Variant{id_text(argv[0])}).release();
}

constexpr const char* kPacketId[] = {"packet_id"};
constexpr const char* kEpochId[] = {"epoch_id"};
constexpr Signature kConsumeSig{"consume_packet", kPacketId, 1};
constexpr Signature kDestroySig{"destroy_packet", kPacketId, 1};
constexpr Signature kStartSig{"start_epoch", kEpochId, 1};
constexpr Signature kFinishSig{"finish_epoch", kEpochId, 1};
constexpr Signature kCancelSig{"cancel_epoch", kEpochId, 1};

PyObject* create_epoch(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"node_name", "salvo"};
  static constexpr Signature kSig{"create_epoch", kNames, 2};
  PyObject* argv[2] = {};
  take_args(kSig, args, nargs, kwnames, argv);
  std::string node_name = str_arg("node_name", argv[0]);
  SalvoValue salvo = salvo_arg("salvo", argv[1]);
  return new_action(ActionValue::CreateEpoch{std::move(node_name), std::move(salvo)}).release();
}

PyObject* load_packet_into_output_port(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  static constexpr const char* kNames[] = {"packet_id", "port_name"};
  static constexpr Signature kSig{"load_packet_into_output_port", kNames, 2};
  PyObject* argv[2] = {};
  take_args(kSig, args, nargs, kwnames, argv);
  IdText packet_id = id_text(argv[0]);
  std::string port_name = str_arg("port_name", argv[1]);
  return new_action(
             ActionValue::LoadPacketIntoOutputPort{std::move(packet_id), std::move(port_name)})
      .release();
}

PyObject* send_output_salvo(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"epoch_id", "salvo_condition_name"};
  static constexpr Signature kSig{"send_output_salvo", kNames, 2};
  PyObject* argv[2] = {};
  take_args(kSig, args, nargs, kwnames, argv);
  IdText epoch_id = id_text(argv[0]);
  std::string condition = str_arg("salvo_condition_name", argv[1]);
  return new_action(ActionValue::SendOutputSalvo{std::move(epoch_id), std::move(condition)})
      .release();
}

PyObject* transport_packet_to_location(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
  static constexpr const char* kNames[] = {"packet_id", "destination"};
  static constexpr Signature kSig{"transport_packet_to_location", kNames, 2};
  PyObject* argv[2] = {};
  take_args(kSig, args, nargs, kwnames, argv);
  IdText packet_id = id_text(argv[0]);
  vornix::PacketLocation destination = location_arg("destination", argv[1]);
  return new_action(
             ActionValue::TransportPacketToLocation{std::move(packet_id), std::move(destination)})
      .release();
}

PyObject* create_request(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"node_name", "label"};
  static constexpr Signature kSig{"create_request", kNames, 2};
  PyObject* argv[2] = {};
  take_args(kSig, args, nargs, kwnames, argv);
  std::string node_name = str_arg("node_name", argv[0]);
  std::string label = str_arg("label", argv[1]);
  return new_action(ActionValue::CreateRequest{std::move(node_name), std::move(label)}).release();
}

std::string call_with_id(std::string_view method, const IdText& id) {
  return "NetAction." + std::string(method) + "('" + id_utf8(id) + "')";
}

std::string action_repr(const ActionValue& action) {
  using A = ActionValue;
  return std::visit(
      Overloaded{
          [](const A::RunStep&) { return std::string("NetAction.run_step()"); },
          [](const A::CreatePacket& a) {
            return a.epoch_id ? call_with_id("create_packet", *a.epoch_id)
                              : std::string("NetAction.create_packet()");
          },
          [](const A::ConsumePacket& a) { return call_with_id("consume_packet", a.packet_id); },
          [](const A::DestroyPacket& a) { return call_with_id("destroy_packet", a.packet_id); },
          [](const A::StartEpoch& a) { return call_with_id("start_epoch", a.epoch_id); },
          [](const A::FinishEpoch& a) { return call_with_id("finish_epoch", a.epoch_id); },
          [](const A::CancelEpoch& a) { return call_with_id("cancel_epoch", a.epoch_id); },
          [](const A::CreateEpoch& a) {
            return "NetAction.create_epoch(" + vornix::quoted_form(a.node_name) + ", ...)";
          },
          [](const A::LoadPacketIntoOutputPort& a) {
            return "NetAction.load_packet_into_output_port('" + id_utf8(a.packet_id) + "', " +
                   vornix::quoted_form(a.port_name) + ")";
          },
          [](const A::SendOutputSalvo& a) {
            return "NetAction.send_output_salvo('" + id_utf8(a.epoch_id) + "', " +
                   vornix::quoted_form(a.salvo_condition_name) + ")";
          },
          [](const A::TransportPacketToLocation& a) {
            return "NetAction.transport_packet_to_location('" + id_utf8(a.packet_id) + "', " +
                   location_repr(a.destination) + ")";
          },
          [](const A::CreateRequest& a) {
            return "NetAction.create_request(" + vornix::quoted_form(a.node_name) + ", " +
                   vornix::quoted_form(a.label) + ")";
          },
      },
      action.value);
}

PyObject* net_action_repr(PyObject* self) {
  SharedBorrow hold(borrow_of(self));
  const std::string text = action_repr(value_of(self));
  // Identifier text may carry the caller's lone surrogates (see id_text).
  return check(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                                    "surrogatepass"))
      .release();
}

vornix::NetAction action_to_core(const ActionValue& action) {
  using A = ActionValue;
  using N = vornix::NetAction;
  return std::visit(
      Overloaded{
          [](const A::RunStep&) { return N{N::RunStep{}}; },
          [](const A::CreatePacket& a) {
            std::optional<vornix::Ulid> epoch_id;
            if (a.epoch_id) epoch_id = python_to_ulid(a.epoch_id->get());
            return N{N::CreatePacket{epoch_id}};
          },
          [](const A::ConsumePacket& a) {
            return N{N::ConsumePacket{python_to_ulid(a.packet_id.get())}};
          },
          [](const A::DestroyPacket& a) {
            return N{N::DestroyPacket{python_to_ulid(a.packet_id.get())}};
          },
          [](const A::StartEpoch& a) { return N{N::StartEpoch{python_to_ulid(a.epoch_id.get())}}; },
          [](const A::FinishEpoch& a) {
            return N{N::FinishEpoch{python_to_ulid(a.epoch_id.get())}};
          },
          [](const A::CancelEpoch& a) {
            return N{N::CancelEpoch{python_to_ulid(a.epoch_id.get())}};
          },
          [](const A::CreateEpoch& a) {
            return N{N::CreateEpoch{a.node_name, salvo_to_core(a.salvo)}};
          },
          [](const A::LoadPacketIntoOutputPort& a) {
            return N{N::LoadPacketIntoOutputPort{python_to_ulid(a.packet_id.get()), a.port_name}};
          },
          [](const A::SendOutputSalvo& a) {
            return N{N::SendOutputSalvo{python_to_ulid(a.epoch_id.get()), a.salvo_condition_name}};
          },
          [](const A::TransportPacketToLocation& a) {
            return N{
                N::TransportPacketToLocation{python_to_ulid(a.packet_id.get()), a.destination}};
          },
          [](const A::CreateRequest& a) {
            return N{N::CreateRequest{a.node_name, a.label}};
          },
      },
      action.value);
}

// Identifier text back as the str it came from (lone surrogates included).
Ref id_str(const IdText& id) { return Ref::borrow(id.get()); }

// An action pickles as the static-constructor call that makes it, with its
// stored fields as the arguments.
PyObject* net_action_reduce(PyObject* self, PyObject*) {
  using A = ActionValue;
  SharedBorrow hold(borrow_of(self));
  const auto pack = [](auto&&... items) {
    return check(PyTuple_Pack(sizeof...(items), items.get()...));
  };
  const auto call = [](const char* factory, Ref args) {
    return std::pair{factory, std::move(args)};
  };
  auto [factory, args] = std::visit(
      Overloaded{
          [&](const A::RunStep&) { return call("run_step", pack()); },
          [&](const A::CreatePacket& a) {
            return call("create_packet", a.epoch_id ? pack(id_str(*a.epoch_id)) : pack());
          },
          [&](const A::ConsumePacket& a) {
            return call("consume_packet", pack(id_str(a.packet_id)));
          },
          [&](const A::DestroyPacket& a) {
            return call("destroy_packet", pack(id_str(a.packet_id)));
          },
          [&](const A::StartEpoch& a) { return call("start_epoch", pack(id_str(a.epoch_id))); },
          [&](const A::FinishEpoch& a) { return call("finish_epoch", pack(id_str(a.epoch_id))); },
          [&](const A::CancelEpoch& a) { return call("cancel_epoch", pack(id_str(a.epoch_id))); },
          [&](const A::CreateEpoch& a) {
            return call("create_epoch", pack(to_py_str(a.node_name), salvo_to_python(a.salvo)));
          },
          [&](const A::LoadPacketIntoOutputPort& a) {
            return call("load_packet_into_output_port",
                        pack(id_str(a.packet_id), to_py_str(a.port_name)));
          },
          [&](const A::SendOutputSalvo& a) {
            return call("send_output_salvo",
                        pack(id_str(a.epoch_id), to_py_str(a.salvo_condition_name)));
          },
          [&](const A::TransportPacketToLocation& a) {
            return call("transport_packet_to_location",
                        pack(id_str(a.packet_id), location_to_python(a.destination)));
          },
          [&](const A::CreateRequest& a) {
            return call("create_request", pack(to_py_str(a.node_name), to_py_str(a.label)));
          },
      },
      value_of(self).value);
  return reduce_to_factory(types().net_action.get(), factory, std::move(args)).release();
}

constexpr int kStatic = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

PyDoc_STRVAR(net_action_doc, "An action to perform on the network.");

PyMethodDef net_action_methods[] = {
    {"run_step", fastcall_kw<run_step>(), kStatic,
     PyDoc_STR("run_step()\n--\n\n"
               "Execute one step of automatic packet flow.\n"
               "Returns whether progress was made (i.e., not blocked).")},
    {"create_packet", fastcall_kw<create_packet>(), kStatic,
     PyDoc_STR("create_packet(epoch_id=None)\n--\n\n"
               "Create a new packet, optionally inside an epoch.")},
    {"consume_packet", fastcall_kw<one_id<ActionValue::ConsumePacket, kConsumeSig>>(), kStatic,
     PyDoc_STR("consume_packet(packet_id)\n--\n\n"
               "Consume a packet (normal removal from the network).")},
    {"destroy_packet", fastcall_kw<one_id<ActionValue::DestroyPacket, kDestroySig>>(), kStatic,
     PyDoc_STR("destroy_packet(packet_id)\n--\n\n"
               "Destroy a packet (abnormal removal, e.g., due to error or cancellation).")},
    {"start_epoch", fastcall_kw<one_id<ActionValue::StartEpoch, kStartSig>>(), kStatic,
     PyDoc_STR("start_epoch(epoch_id)\n--\n\nTransition a startable epoch to running.")},
    {"finish_epoch", fastcall_kw<one_id<ActionValue::FinishEpoch, kFinishSig>>(), kStatic,
     PyDoc_STR("finish_epoch(epoch_id)\n--\n\nComplete a running epoch.")},
    {"cancel_epoch", fastcall_kw<one_id<ActionValue::CancelEpoch, kCancelSig>>(), kStatic,
     PyDoc_STR("cancel_epoch(epoch_id)\n--\n\nCancel an epoch and destroy packets.")},
    {"create_epoch", fastcall_kw<create_epoch>(), kStatic,
     PyDoc_STR("create_epoch(node_name, salvo)\n--\n\n"
               "Manually create an epoch with specified packets.\n"
               "The epoch is created in Startable state - call start_epoch to begin execution.")},
    {"load_packet_into_output_port", fastcall_kw<load_packet_into_output_port>(), kStatic,
     PyDoc_STR("load_packet_into_output_port(packet_id, port_name)\n--\n\n"
               "Move a packet to an output port.")},
    {"send_output_salvo", fastcall_kw<send_output_salvo>(), kStatic,
     PyDoc_STR("send_output_salvo(epoch_id, salvo_condition_name)\n--\n\n"
               "Send packets from output ports onto edges.")},
    {"transport_packet_to_location", fastcall_kw<transport_packet_to_location>(), kStatic,
     PyDoc_STR("transport_packet_to_location(packet_id, destination)\n--\n\n"
               "Transport a packet to a new location.")},
    {"create_request", fastcall_kw<create_request>(), kStatic,
     PyDoc_STR("create_request(node_name, label)\n--\n\n"
               "Create a packet request targeting a node.\n"
               "The request will be resolved during the next RunStep.")},
    reduce_method<net_action_reduce>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_net_action_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, net_action_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<ActionValue>),
      slot(Py_tp_repr, guarded<net_action_repr>),
      slot(Py_tp_methods, net_action_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "NetAction",
      .basicsize = static_cast<int>(sizeof(ActionObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

vornix::NetAction action_arg(std::string_view name, PyObject* obj) {
  const ActionValue& action =
      exact_arg<ActionValue>(types().net_action.get(), "NetAction", name, obj);
  SharedBorrow hold(borrow_of(obj));
  return action_to_core(action);
}

}  // namespace vornix::py
