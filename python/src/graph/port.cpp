#include "graph/port.hpp"

#include <string>
#include <utility>

#include "graph/port_slot_spec.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using PortObject = Boxed<vornix::Port>;

const vornix::Port& value_of(PyObject* self) { return boxed_value<vornix::Port>(self); }

PyObject* port_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static constexpr const char* kNames[] = {"slots_spec"};
  static constexpr Signature kSig{"Port", kNames, 0};
  PyObject* argv[1] = {};
  parse_args(kSig, args, kwargs, argv);
  vornix::Port value{port_slot_spec_from_python(argv[0])};
  return new_boxed(reinterpret_cast<PyObject*>(type), std::move(value)).release();
}

PyObject* get_slots_spec(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::Port>(self).borrow);
  return port_slot_spec_to_python(value_of(self).slots_spec).release();
}

PyObject* port_repr(PyObject* self) {
  SharedBorrow hold(as_boxed<vornix::Port>(self).borrow);
  const auto capacity = value_of(self).slots_spec.capacity();
  if (!capacity) return to_py_str("Port(PortSlotSpec.Infinite)").release();
  return to_py_str("Port(PortSlotSpec.finite(" + std::to_string(*capacity) + "))").release();
}

PyDoc_STRVAR(port_doc, "Port(slots_spec=None)\n--\n\nA port on a node.");

PyGetSetDef port_getset[] = {
    {"slots_spec", guarded<get_slots_spec>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Rebuilt by the constructor from the getters' values.
constexpr const char* kPortFields[] = {"slots_spec"};
constexpr ReduceRecipe kPortRecipe{&ClassRegistry::port, nullptr, kPortFields};

PyMethodDef port_pickle_methods[] = {
    reduce_method<reduce_by_getters<kPortRecipe>>(),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Ref make_port_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, port_doc),
      slot(Py_tp_new, guarded<port_new>),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::Port>),
      slot(Py_tp_repr, guarded<port_repr>),
      slot(Py_tp_getset, port_getset),
      slot(Py_tp_methods, port_pickle_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "Port",
      .basicsize = static_cast<int>(sizeof(PortObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

const vornix::Port* port_or_null(PyObject* obj) noexcept {
  return exact_or_null<vornix::Port>(types().port.get(), obj);
}

Ref port_to_python(const vornix::Port& port) { return new_boxed(types().port.get(), port); }

}  // namespace vornix::py
