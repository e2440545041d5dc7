#include "net/packet_location.hpp"

#include <string>
#include <utility>
#include <variant>

#include "base/result.hpp"
#include "base/text.hpp"
#include "graph/edge.hpp"
#include "net/conversions.hpp"
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

using Location = vornix::PacketLocation;
using LocationObject = Boxed<Location>;

const Location& value_of(PyObject* self) { return boxed_value<Location>(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<Location>(self).borrow; }

Ref new_location(Location location) {
  return new_boxed(types().packet_location.get(), std::move(location));
}

PyObject* make_node(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"epoch_id"};
  static constexpr Signature kSig{"node", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  return new_location(Location::node(python_to_ulid(argv[0]))).release();
}

PyObject* make_input_port(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"node_name", "port_name"};
  static constexpr Signature kSig{"input_port", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  std::string node_name = str_arg("node_name", argv[0]);
  std::string port_name = str_arg("port_name", argv[1]);
  return new_location(Location::input_port(std::move(node_name), std::move(port_name))).release();
}

PyObject* make_output_port(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"epoch_id", "port_name"};
  static constexpr Signature kSig{"output_port", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  const vornix::Ulid epoch_id = python_to_ulid(argv[0]);
  std::string port_name = str_arg("port_name", argv[1]);
  return new_location(Location::output_port(epoch_id, std::move(port_name))).release();
}

PyObject* make_edge(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"edge"};
  static constexpr Signature kSig{"edge", kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  return new_location(Location::edge(edge_arg("edge", argv[0]))).release();
}

PyObject* make_outside_net(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature kSig{"outside_net", {}, 0};
  parse_args(kSig, args, nargs, kwnames, {});
  return new_location(Location::outside_net()).release();
}

constexpr const char* kKinds[] = {"Node", "InputPort", "OutputPort", "Edge", "OutsideNet"};

PyObject* get_kind(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return to_py_str(kKinds[value_of(self).value.index()]).release();
}

PyObject* get_node_name(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  const auto* port = std::get_if<Location::InputPort>(&value_of(self).value);
  if (port == nullptr) Py_RETURN_NONE;
  return to_py_str(port->node_name).release();
}

PyObject* get_port_name(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  const Location& location = value_of(self);
  if (const auto* in = std::get_if<Location::InputPort>(&location.value)) {
    return to_py_str(in->port_name).release();
  }
  if (const auto* out = std::get_if<Location::OutputPort>(&location.value)) {
    return to_py_str(out->port_name).release();
  }
  Py_RETURN_NONE;
}

PyObject* get_epoch_id(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  const vornix::Ulid* id = value_of(self).epoch_id();
  if (id == nullptr) Py_RETURN_NONE;
  return ulid_to_py_str(*id).release();
}

PyObject* get_edge(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  const auto* on_edge = std::get_if<Location::Edge>(&value_of(self).value);
  if (on_edge == nullptr) Py_RETURN_NONE;
  return edge_to_python(on_edge->edge).release();
}

PyObject* location_repr_slot(PyObject* self) {
  SharedBorrow hold(borrow_of(self));
  return to_py_str(location_repr(value_of(self))).release();
}

// A location pickles as the static-constructor call that makes it, with the
// epoch identifier as its text.
PyObject* location_reduce(PyObject* self, PyObject*) {
  static constexpr const char* kFactories[] = {"node", "input_port", "output_port", "edge",
                                               "outside_net"};
  SharedBorrow hold(borrow_of(self));
  const Location& location = value_of(self);
  Ref args = std::visit(Overloaded{
                            [](const Location::Node& n) {
                              return check(PyTuple_Pack(1, ulid_to_py_str(n.epoch_id).get()));
                            },
                            [](const Location::InputPort& p) {
                              return check(PyTuple_Pack(2, to_py_str(p.node_name).get(),
                                                        to_py_str(p.port_name).get()));
                            },
                            [](const Location::OutputPort& p) {
                              return check(PyTuple_Pack(2, ulid_to_py_str(p.epoch_id).get(),
                                                        to_py_str(p.port_name).get()));
                            },
                            [](const Location::Edge& e) {
                              return check(PyTuple_Pack(1, edge_to_python(e.edge).get()));
                            },
                            [](const Location::OutsideNet&) { return check(PyTuple_New(0)); },
                        },
                        location.value);
  const char* factory = kFactories[location.value.index()];
  return reduce_to_factory(types().packet_location.get(), factory, std::move(args)).release();
}

PyDoc_STRVAR(packet_location_doc, "Where a packet is located in the network.");

PyMethodDef packet_location_methods[] = {
    {"node", fastcall_kw<make_node>(), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     PyDoc_STR("node(epoch_id)\n--\n\nCreate a Node location (inside an epoch).")},
    {"input_port", fastcall_kw<make_input_port>(), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     PyDoc_STR("input_port(node_name, port_name)\n--\n\nCreate an InputPort location.")},
    {"output_port", fastcall_kw<make_output_port>(), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     PyDoc_STR("output_port(epoch_id, port_name)\n--\n\nCreate an OutputPort location.")},
    {"edge", fastcall_kw<make_edge>(), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     PyDoc_STR("edge(edge)\n--\n\nCreate an Edge location.")},
    {"outside_net", fastcall_kw<make_outside_net>(), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     PyDoc_STR("outside_net()\n--\n\nCreate an OutsideNet location.")},
    {"get_edge", noargs<get_edge>(), METH_NOARGS,
     PyDoc_STR("get_edge($self)\n--\n\nGet the edge (for Edge locations).")},
    reduce_method<location_reduce>(),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef packet_location_getset[] = {
    {"kind", guarded<get_kind>, nullptr, PyDoc_STR("Get the location kind."), nullptr},
    {"node_name", guarded<get_node_name>, nullptr,
     PyDoc_STR("Get the node name (for InputPort locations)."), nullptr},
    {"port_name", guarded<get_port_name>, nullptr,
     PyDoc_STR("Get the port name (for InputPort and OutputPort locations)."), nullptr},
    {"epoch_id", guarded<get_epoch_id>, nullptr,
     PyDoc_STR("Get the epoch ID (for Node and OutputPort locations)."), nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

std::string location_repr(const Location& location) {
  return std::visit(
      Overloaded{
          [](const Location::Node& n) {
            return "PacketLocation.node('" + n.epoch_id.to_string() + "')";
          },
          [](const Location::InputPort& p) {
            return "PacketLocation.input_port(" + vornix::quoted_form(p.node_name) + ", " +
                   vornix::quoted_form(p.port_name) + ")";
          },
          [](const Location::OutputPort& p) {
            return "PacketLocation.output_port('" + p.epoch_id.to_string() + "', " +
                   vornix::quoted_form(p.port_name) + ")";
          },
          [](const Location::Edge& e) { return "PacketLocation.edge(" + to_text(e.edge) + ")"; },
          [](const Location::OutsideNet&) { return std::string("PacketLocation.outside_net()"); },
      },
      location.value);
}

Ref make_packet_location_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, packet_location_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<Location>),
      slot(Py_tp_repr, guarded<location_repr_slot>),
      slot(Py_tp_methods, packet_location_methods),
      slot(Py_tp_getset, packet_location_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "PacketLocation",
      .basicsize = static_cast<int>(sizeof(LocationObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref location_to_python(const Location& location) { return new_location(location); }

Location location_arg(std::string_view name, PyObject* obj) {
  const Location& location =
      exact_arg<Location>(types().packet_location.get(), "PacketLocation", name, obj);
  SharedBorrow hold(borrow_of(obj));
  return location;
}

}  // namespace vornix::py
