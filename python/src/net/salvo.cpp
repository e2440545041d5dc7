#include "net/salvo.hpp"

#include <string>
#include <utility>
#include <vector>

#include "base/text.hpp"
#include "support/exact.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/lists.hpp"
#include "support/errors.hpp"
#include "support/no_constructor.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using SalvoObject = Boxed<SalvoValue>;
using OrphanObject = Boxed<OrphanValue>;

template <class T>
const T& value_of(PyObject* self) {
  return boxed_value<T>(self);
}
template <class T>
BorrowFlag& borrow_of(PyObject* self) {
  return as_boxed<T>(self).borrow;
}

// One (port name, packet id) entry. Only tuples are taken: a list of two
// names is far more likely a mistake than a pair.
std::pair<std::string, std::string> packet_entry(PyObject* item) {
  if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) {
    raise_arg_type_error("packets", "a tuple (port_name, packet_id)", item);
  }
  std::string port = str_arg("packets", PyTuple_GET_ITEM(item, 0));
  std::string id = str_arg("packets", PyTuple_GET_ITEM(item, 1));
  return {std::move(port), std::move(id)};
}

// Identifiers are not parsed here: a bad one is reported when an action
// carrying the salvo is performed.
PyObject* salvo_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"salvo_condition", "packets"};
  static constexpr Signature kSig{"Salvo", kNames, 2};
  PyObject* argv[2] = {};
  parse_args(kSig, args, kwargs, argv);
  SalvoValue value;
  value.salvo_condition = str_arg("salvo_condition", argv[0]);
  std::vector<Ref> items = sequence_arg("packets", argv[1]);
  value.packets.reserve(items.size());
  for (const Ref& item : items) value.packets.push_back(packet_entry(item.get()));
  return new_boxed(reinterpret_cast<PyObject*>(type), std::move(value)).release();
}

PyObject* salvo_get_condition(PyObject* self, void*) {
  SharedBorrow hold(borrow_of<SalvoValue>(self));
  return to_py_str(value_of<SalvoValue>(self).salvo_condition).release();
}

PyObject* salvo_get_packets(PyObject* self, void*) {
  SharedBorrow hold(borrow_of<SalvoValue>(self));
  const auto& packets = value_of<SalvoValue>(self).packets;
  return list_of(packets, [](const auto& packet) {
           Ref port = to_py_str(packet.first);
           Ref id = to_py_str(packet.second);
           return check(PyTuple_Pack(2, port.get(), id.get()));
         })
      .release();
}

PyObject* salvo_repr(PyObject* self) {
  SharedBorrow hold(borrow_of<SalvoValue>(self));
  const SalvoValue& s = value_of<SalvoValue>(self);
  std::string text =
      "Salvo(salvo_condition=" + vornix::quoted_form(s.salvo_condition) + ", packets=[";
  for (std::size_t i = 0; i < s.packets.size(); ++i) {
    if (i > 0) text += ", ";
    text += "(" + vornix::quoted_form(s.packets[i].first) + ", " +
            vornix::quoted_form(s.packets[i].second) + ")";
  }
  text += "])";
  return to_py_str(text).release();
}

PyObject* orphan_get_packet_id(PyObject* self, void*) {
  SharedBorrow hold(borrow_of<OrphanValue>(self));
  return to_py_str(value_of<OrphanValue>(self).packet_id).release();
}

PyObject* orphan_get_from_port(PyObject* self, void*) {
  SharedBorrow hold(borrow_of<OrphanValue>(self));
  return to_py_str(value_of<OrphanValue>(self).from_port).release();
}

PyObject* orphan_get_salvo_condition(PyObject* self, void*) {
  SharedBorrow hold(borrow_of<OrphanValue>(self));
  return to_py_str(value_of<OrphanValue>(self).salvo_condition).release();
}

PyObject* orphan_repr(PyObject* self) {
  SharedBorrow hold(borrow_of<OrphanValue>(self));
  const OrphanValue& o = value_of<OrphanValue>(self);
  return to_py_str("OrphanedPacketInfo(packet_id='" + o.packet_id +
                   "', from_port=" + vornix::quoted_form(o.from_port) +
                   ", salvo_condition=" + vornix::quoted_form(o.salvo_condition) + ")")
      .release();
}

PyDoc_STRVAR(salvo_doc,
             "Salvo(salvo_condition, packets)\n--\n\n"
             "A collection of packets entering or exiting a node.");
PyDoc_STRVAR(orphan_doc, "Information about a packet sent to an unconnected output port.");

PyGetSetDef salvo_getset[] = {
    {"salvo_condition", guarded<salvo_get_condition>, nullptr, nullptr, nullptr},
    {"packets", guarded<salvo_get_packets>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyGetSetDef orphan_getset[] = {
    {"packet_id", guarded<orphan_get_packet_id>, nullptr, nullptr, nullptr},
    {"from_port", guarded<orphan_get_from_port>, nullptr, nullptr, nullptr},
    {"salvo_condition", guarded<orphan_get_salvo_condition>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Rebuilt by the constructor from the getters' values.
constexpr const char* kSalvoFields[] = {"salvo_condition", "packets"};
constexpr ReduceRecipe kSalvoRecipe{&ClassRegistry::salvo, nullptr, kSalvoFields};

PyMethodDef salvo_pickle_methods[] = {
    reduce_method<reduce_by_getters<kSalvoRecipe>>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_salvo_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, salvo_doc),
      slot(Py_tp_new, guarded<salvo_new>),
      slot(Py_tp_dealloc, boxed_dealloc<SalvoValue>),
      slot(Py_tp_repr, guarded<salvo_repr>),
      slot(Py_tp_getset, salvo_getset),
      slot(Py_tp_methods, salvo_pickle_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "Salvo",
      .basicsize = static_cast<int>(sizeof(SalvoObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref make_orphaned_packet_info_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, orphan_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<OrphanValue>),
      slot(Py_tp_repr, guarded<orphan_repr>),
      slot(Py_tp_getset, orphan_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "OrphanedPacketInfo",
      .basicsize = static_cast<int>(sizeof(OrphanObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref salvo_to_python(const SalvoValue& salvo) { return new_boxed(types().salvo.get(), salvo); }

Ref orphan_to_python(const OrphanValue& orphan) {
  return new_boxed(types().orphaned_packet_info.get(), orphan);
}

SalvoValue salvo_arg(std::string_view name, PyObject* obj) {
  const SalvoValue& salvo = exact_arg<SalvoValue>(types().salvo.get(), "Salvo", name, obj);
  SharedBorrow hold(borrow_of<SalvoValue>(obj));
  return salvo;
}

}  // namespace vornix::py
