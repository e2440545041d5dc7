#include "net/salvo.hpp"

#include <string>
#include <utility>
#include <vector>

#include "base/result.hpp"
#include "base/text.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/lists.hpp"
#include "support/no_constructor.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"
#include "support/ulid.hpp"

namespace vornix::py {
namespace {

using SalvoObject = Boxed<SalvoHeld>;
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
  return new_boxed(reinterpret_cast<PyObject*>(type), SalvoHeld{std::move(value)}).release();
}

// The two forms read alike: `id_of` gives a packet id as text, `id_str` as a
// new str.
const std::string& condition_of(const SalvoHeld& held) {
  return std::visit(
      Overloaded{
          [](const SalvoValue& s) -> const std::string& { return s.salvo_condition; },
          [](const EpochSalvo& s) -> const std::string& { return s.salvo->salvo_condition; }},
      held);
}

template <class F>
void for_each_packet(const SalvoHeld& held, F f) {
  std::visit(Overloaded{[&](const SalvoValue& s) {
                          for (const auto& [port, id] : s.packets) f(port, id);
                        },
                        [&](const EpochSalvo& s) {
                          for (const auto& [port, id] : s.salvo->packets) f(port, id);
                        }},
             held);
}

std::size_t packet_count(const SalvoHeld& held) {
  return std::visit(Overloaded{[](const SalvoValue& s) { return s.packets.size(); },
                               [](const EpochSalvo& s) { return s.salvo->packets.size(); }},
                    held);
}

Ref id_str(const std::string& text) { return to_py_str(text); }
Ref id_str(const vornix::Ulid& id) { return ulid_to_py_str(id); }
std::string id_of(const std::string& text) { return text; }
std::string id_of(const vornix::Ulid& id) { return id.to_string(); }

PyObject* salvo_get_condition(PyObject* self, void*) {
  SharedBorrow hold(borrow_of<SalvoHeld>(self));
  return to_py_str(condition_of(value_of<SalvoHeld>(self))).release();
}

PyObject* salvo_get_packets(PyObject* self, void*) {
  SharedBorrow hold(borrow_of<SalvoHeld>(self));
  const SalvoHeld& held = value_of<SalvoHeld>(self);
  ListBuilder list(packet_count(held));
  for_each_packet(held, [&](const std::string& port_name, const auto& id) {
    Ref port = to_py_str(port_name);
    Ref text = id_str(id);
    Ref pair = check(PyTuple_New(2));
    PyTuple_SET_ITEM(pair.get(), 0, port.release());
    PyTuple_SET_ITEM(pair.get(), 1, text.release());
    list.add(std::move(pair));
  });
  return list.done().release();
}

PyObject* salvo_repr(PyObject* self) {
  SharedBorrow hold(borrow_of<SalvoHeld>(self));
  const SalvoHeld& held = value_of<SalvoHeld>(self);
  std::string text =
      "Salvo(salvo_condition=" + vornix::quoted_form(condition_of(held)) + ", packets=[";
  bool first = true;
  for_each_packet(held, [&](const std::string& port_name, const auto& id) {
    if (!first) text += ", ";
    first = false;
    // Appended piece by piece: GCC 12 at -O3 misreads "(" + std::string&&.
    text += '(';
    text += vornix::quoted_form(port_name);
    text += ", ";
    text += vornix::quoted_form(id_of(id));
    text += ')';
  });
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
      slot(Py_tp_dealloc, boxed_dealloc<SalvoHeld>),
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

Ref salvo_to_python(const SalvoValue& salvo) {
  return new_boxed(types().salvo.get(), SalvoHeld{salvo});
}

Ref salvo_to_python(const SharedEpoch& epoch, const vornix::Salvo& salvo) {
  return new_boxed(types().salvo.get(), SalvoHeld{EpochSalvo{epoch, &salvo}});
}

Ref orphan_to_python(const OrphanValue& orphan) {
  return new_boxed(types().orphaned_packet_info.get(), orphan);
}

SalvoValue salvo_arg(std::string_view name, PyObject* obj) {
  const SalvoHeld& held = exact_arg<SalvoHeld>(types().salvo.get(), "Salvo", name, obj);
  SharedBorrow hold(borrow_of<SalvoHeld>(obj));
  return std::visit(Overloaded{[](const SalvoValue& s) { return s; },
                               [](const EpochSalvo& s) { return salvo_from_core(*s.salvo); }},
                    held);
}

}  // namespace vornix::py
