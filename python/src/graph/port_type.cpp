#include "graph/port_type.hpp"

#include <cstdint>

#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/enum_class.hpp"
#include "support/errors.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

PyDoc_STRVAR(port_type_doc, "Whether a port is for input or output.");

constexpr const char* kMembers[] = {"Input", "Output"};

vornix::PortType from_number(std::int64_t n) {
  return n == 0 ? vornix::PortType::Input : vornix::PortType::Output;
}

// Port types key dicts and sets alongside PortRefs and Edges, so they hash
// like them: the same value in every process.
Py_hash_t port_type_hash(PyObject* self) {
  return python_hash(vornix::stable_hash(from_number(enum_number(self))));
}

const EnumClassSpec kSpec{"PortType", port_type_doc, kMembers, nullptr, guarded<port_type_hash>};

}  // namespace

Ref make_port_type_class() { return make_enum_class(kSpec); }

Ref port_type_to_python(vornix::PortType t) {
  return enum_value(types().port_type.get(), static_cast<std::int64_t>(t));
}

vornix::PortType port_type_arg(std::string_view name, PyObject* obj) {
  PyObject* cls = types().port_type.get();
  if (!is_enum_instance(cls, obj)) raise_arg_type_error(name, "PortType", obj);
  return from_number(enum_number(obj));
}

}  // namespace vornix::py
