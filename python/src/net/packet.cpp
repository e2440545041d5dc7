#include "net/packet.hpp"

#include <string>
#include <utility>

#include "net/conversions.hpp"
#include "net/packet_location.hpp"
#include "support/classes.hpp"
#include "support/errors.hpp"
#include "support/no_constructor.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"
#include "support/ulid.hpp"

namespace vornix::py {
namespace {

struct PacketValue {
  std::string id;
  vornix::PacketLocation location;
};
using PacketObject = Boxed<PacketValue>;

const PacketValue& value_of(PyObject* self) { return boxed_value<PacketValue>(self); }
BorrowFlag& borrow_of(PyObject* self) { return as_boxed<PacketValue>(self).borrow; }

PyObject* get_id(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return to_py_str(value_of(self).id).release();
}

PyObject* get_location(PyObject* self, void*) {
  SharedBorrow hold(borrow_of(self));
  return location_to_python(value_of(self).location).release();
}

PyObject* packet_get_id(PyObject* self, PyObject*) {
  SharedBorrow hold(borrow_of(self));
  return ulid_to_python(str_to_ulid(value_of(self).id)).release();
}

PyObject* packet_repr(PyObject* self) {
  SharedBorrow hold(borrow_of(self));
  const PacketValue& p = value_of(self);
  return to_py_str("Packet(id='" + p.id + "', location=" + location_repr(p.location) + ")")
      .release();
}

PyDoc_STRVAR(packet_doc, "A packet in the network.");

PyMethodDef packet_methods[] = {
    {"get_id", noargs<packet_get_id>(), METH_NOARGS, PyDoc_STR("get_id($self)\n--\n\n")},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef packet_getset[] = {
    {"id", guarded<get_id>, nullptr, nullptr, nullptr},
    {"location", guarded<get_location>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

Ref make_packet_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, packet_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<PacketValue>),
      slot(Py_tp_repr, guarded<packet_repr>),
      slot(Py_tp_methods, packet_methods),
      slot(Py_tp_getset, packet_getset),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "Packet",
      .basicsize = static_cast<int>(sizeof(PacketObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

Ref packet_to_python(const vornix::Packet& packet) {
  return new_boxed(types().packet.get(), PacketValue{packet.id.to_string(), packet.location});
}

}  // namespace vornix::py
