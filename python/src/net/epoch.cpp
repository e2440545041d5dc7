#include "net/epoch.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/fault.hpp"
#include "base/text.hpp"
#include "net/conversions.hpp"
#include "net/epoch_state.hpp"
#include "net/salvo.hpp"
#include "support/args.hpp"
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

// The shared epoch, and the str of its id once it was read: a host reads the
// id of the epoch it works on again and again. (A str holds no references,
// so the object still needs no garbage-collector support.)
struct EpochHandle {
  SharedEpoch epoch;
  Ref id;
};
using EpochObject = Boxed<EpochHandle>;

const SharedEpoch& shared_of(PyObject* self) { return boxed_value<EpochHandle>(self).epoch; }
const vornix::Epoch& value_of(PyObject* self) { return *shared_of(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<EpochHandle>(self).borrow; }

const char* state_name(vornix::EpochState state) {
  switch (state) {
    case vornix::EpochState::Startable: return "Startable";
    case vornix::EpochState::Running: return "Running";
    case vornix::EpochState::Finished: return "Finished";
  }
  vornix::internal_fault("unknown epoch state");
}

PyObject* get_id(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  Ref& id = boxed_value<EpochHandle>(self).id;
  if (!id) id = ulid_to_py_str(value_of(self).id);
  return Ref::borrow(id.get()).release();
}

PyObject* get_node_name(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return to_py_str(value_of(self).node_name).release();
}

PyObject* get_in_salvo(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return salvo_to_python(shared_of(self), value_of(self).in_salvo).release();
}

PyObject* get_out_salvos(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  const SharedEpoch& epoch = shared_of(self);
  return list_of(epoch->out_salvos,
                 [&](const vornix::Salvo& salvo) { return salvo_to_python(epoch, salvo); })
      .release();
}

PyObject* get_state(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return epoch_state_to_python(value_of(self).state).release();
}

PyObject* get_orphaned_packets(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return list_of(value_of(self).orphaned_packets,
                 [](const vornix::OrphanedPacketInfo& orphan) {
                   return orphan_to_python(orphan_from_core(orphan));
                 })
      .release();
}

PyObject* epoch_get_id(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  return ulid_to_python(value_of(self).id).release();
}

// The identifier's timestamp part is when the epoch was created.
PyObject* epoch_start_time(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  return check(PyLong_FromUnsignedLongLong(value_of(self).id.timestamp_ms())).release();
}

PyObject* epoch_repr_slot(PyObject* self) {
  SharedBorrow hold(borrow_of(self));
  return to_py_str(epoch_repr(value_of(self))).release();
}

PyDoc_STRVAR(epoch_doc, "An execution instance of a node.");

PyMethodDef epoch_methods[] = {
    {"get_id", noargs<epoch_get_id>(), METH_NOARGS, PyDoc_STR("get_id($self)\n--\n\n")},
    {"start_time", noargs<epoch_start_time>(), METH_NOARGS, PyDoc_STR("start_time($self)\n--\n\n")},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef epoch_getset[] = {
    {"id", guarded<get_id>, nullptr, nullptr, nullptr},
    {"node_name", guarded<get_node_name>, nullptr, nullptr, nullptr},
    {"in_salvo", guarded<get_in_salvo>, nullptr, nullptr, nullptr},
    {"out_salvos", guarded<get_out_salvos>, nullptr, nullptr, nullptr},
    {"state", guarded<get_state>, nullptr, nullptr, nullptr},
    {"orphaned_packets", guarded<get_orphaned_packets>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

std::string epoch_repr(const vornix::Epoch& epoch) {
  return "Epoch(id='" + epoch.id.to_string() +
         "', node_name=" + vornix::quoted_form(epoch.node_name) + ", state=EpochState." +
         state_name(epoch.state) + ")";
}

Ref make_epoch_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, epoch_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<EpochHandle>),
      slot(Py_tp_repr, guarded<epoch_repr_slot>),
      slot(Py_tp_methods, epoch_methods),
      slot(Py_tp_getset, epoch_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "Epoch",
      .basicsize = static_cast<int>(sizeof(EpochObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref epoch_to_python(SharedEpoch epoch) {
  return emplace_boxed<EpochHandle>(types().epoch.get(), EpochHandle{std::move(epoch), Ref()});
}

Ref epoch_to_python(const vornix::Epoch& epoch) {
  return epoch_to_python(std::make_shared<const vornix::Epoch>(epoch));
}

SharedEpoch epoch_arg(std::string_view name, PyObject* obj) {
  const SharedEpoch& epoch = exact_arg<EpochHandle>(types().epoch.get(), "Epoch", name, obj).epoch;
  SharedBorrow hold(borrow_of(obj));
  return epoch;
}

}  // namespace vornix::py
