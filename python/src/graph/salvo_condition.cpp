#include "graph/salvo_condition.hpp"

#include <string>
#include <utility>

#include "base/text.hpp"
#include "graph/max_salvos.hpp"
#include "graph/packet_count.hpp"
#include "graph/term.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/dict_items.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using SalvoConditionObject = Boxed<vornix::SalvoCondition>;
using PortCounts = vornix::NameMap<vornix::PacketCount>;

const vornix::SalvoCondition& value_of(PyObject* self) {
  return boxed_value<vornix::SalvoCondition>(self);
}

[[noreturn]] void refuse_ports() {
  raise_type_error("ports must be a str, list of str, or dict mapping str to PacketCount");
}

// A sequence of names, each taking all packets of its port. Any element that
// is not a str (or has no UTF-8 form) makes the whole argument unacceptable.
PortCounts ports_from_names(PyObject* obj) {
  Ref fast = check(PySequence_Fast(obj, "ports must be a sequence"));
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(fast.get());
  PortCounts ports;
  ports.reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    Ref item = Ref::borrow(PySequence_Fast_GET_ITEM(fast.get(), i));
    if (!PyUnicode_Check(item.get())) refuse_ports();
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(item.get(), &size);
    if (data == nullptr) {
      PyErr_Clear();
      refuse_ports();
    }
    ports.try_emplace(std::string(data, static_cast<std::size_t>(size)),
                      vornix::PacketCount::all());
  }
  return ports;
}

PortCounts ports_from_dict(PyObject* dict) {
  PortCounts ports;
  ports.reserve(static_cast<std::size_t>(PyDict_Size(dict)));
  for_each_dict_item(dict, [&](PyObject* key, PyObject* value) {
    std::string name = utf8_of(key);
    ports.try_emplace(std::move(name), packet_count_from_python(value));
  });
  return ports;
}

// A str names one port, a sequence of str several, and a dict gives each
// port its own count; the first two take every packet of the port.
PortCounts ports_from_python(PyObject* obj) {
  if (PyUnicode_Check(obj)) {
    PortCounts ports;
    ports.emplace(str_arg("ports", obj), vornix::PacketCount::all());
    return ports;
  }
  if (PyDict_Check(obj)) return ports_from_dict(obj);
  if (PySequence_Check(obj)) return ports_from_names(obj);
  refuse_ports();
}

// The term is checked before the other two arguments: a caller who passes
// the arguments in the wrong order hears about the term first.
PyObject* salvo_condition_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"max_salvos", "ports", "term"};
  static constexpr Signature kSig{"SalvoCondition", kNames, 3};
  PyObject* argv[3] = {};
  parse_args(kSig, args, kwargs, argv);
  const vornix::SalvoConditionTerm& term = term_arg("term", argv[2]);
  vornix::SalvoCondition value;
  value.max_salvos = max_salvos_from_python(argv[0]);
  value.ports = ports_from_python(argv[1]);
  value.term = term;
  return new_boxed(reinterpret_cast<PyObject*>(type), std::move(value)).release();
}

PyObject* get_max_salvos(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::SalvoCondition>(self).borrow);
  return max_salvos_to_python(value_of(self).max_salvos).release();
}

PyObject* get_ports(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::SalvoCondition>(self).borrow);
  Ref dict = check(PyDict_New());
  for (const auto& [name, count] : value_of(self).ports) {
    Ref key = to_py_str(name);
    Ref value = packet_count_to_python(count);
    check_status(PyDict_SetItem(dict.get(), key.get(), value.get()));
  }
  return dict.release();
}

PyObject* get_term(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::SalvoCondition>(self).borrow);
  return term_to_python(value_of(self).term).release();
}

void append_count(std::string& out, const vornix::PacketCount& count) {
  if (const auto* c = std::get_if<vornix::PacketCount::Count>(&count.value)) {
    out += "PacketCount.count(" + std::to_string(c->n) + ")";
  } else {
    out += "PacketCount.All";
  }
}

PyObject* salvo_condition_repr(PyObject* self) {
  SharedBorrow hold(as_boxed<vornix::SalvoCondition>(self).borrow);
  const vornix::SalvoCondition& c = value_of(self);
  std::string text = "SalvoCondition(max_salvos=" + max_salvos_repr(c.max_salvos) + ", ports={";
  bool first = true;
  for (const auto& [name, count] : c.ports) {
    if (!first) text += ", ";
    first = false;
    text += vornix::quoted_form(name);
    text += ": ";
    append_count(text, count);
  }
  text += "}, term=";
  append_term_repr(text, c.term);
  text += ")";
  return to_py_str(text).release();
}

PyDoc_STRVAR(salvo_condition_doc,
             "SalvoCondition(max_salvos, ports, term)\n--\n\n"
             "A condition that defines when packets can trigger an epoch or be sent.");

PyGetSetDef salvo_condition_getset[] = {
    {"max_salvos", guarded<get_max_salvos>, nullptr, PyDoc_STR("Get the max_salvos value."),
     nullptr},
    {"ports", guarded<get_ports>, nullptr,
     PyDoc_STR("Get the ports as a dict mapping port names to their packet counts."), nullptr},
    {"term", guarded<get_term>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Rebuilt by the constructor from the getters' values.
constexpr const char* kSalvoConditionFields[] = {"max_salvos", "ports", "term"};
constexpr ReduceRecipe kSalvoConditionRecipe{&ClassRegistry::salvo_condition, nullptr,
                                             kSalvoConditionFields};

PyMethodDef salvo_condition_pickle_methods[] = {
    reduce_method<reduce_by_getters<kSalvoConditionRecipe>>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_salvo_condition_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, salvo_condition_doc),
      slot(Py_tp_new, guarded<salvo_condition_new>),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::SalvoCondition>),
      slot(Py_tp_repr, guarded<salvo_condition_repr>),
      slot(Py_tp_getset, salvo_condition_getset),
      slot(Py_tp_methods, salvo_condition_pickle_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "SalvoCondition",
      .basicsize = static_cast<int>(sizeof(SalvoConditionObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

const vornix::SalvoCondition* salvo_condition_or_null(PyObject* obj) noexcept {
  return exact_or_null<vornix::SalvoCondition>(types().salvo_condition.get(), obj);
}

Ref salvo_condition_to_python(const vornix::SalvoCondition& condition) {
  return new_boxed(types().salvo_condition.get(), condition);
}

}  // namespace vornix::py
