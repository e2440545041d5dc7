// The exact-type checks of arguments that must be one of the module's classes.
//
// Subclasses are not accepted (the classes are final), so the check is one
// comparison of the object's type. Refusals speak in the argument helpers'
// one voice: TypeError "argument '{name}': expected {Class}, got {type}".
//
//   const vornix::PortRef* p = exact_or_null<vornix::PortRef>(types().port_ref.get(), obj);
//   const Location& l = exact_arg<Location>(types().packet_location.get(), "PacketLocation",
//                                           "location", obj);
#pragma once

#include <string_view>

#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/python.hpp"

namespace vornix::py {

// The value inside `obj` when it is an instance of exactly `cls` (whose object
// struct is Boxed<T>), else null; null too while `cls` is not made yet.
template <class T>
T* exact_or_null(PyObject* cls, PyObject* obj) noexcept {
  if (cls == nullptr || reinterpret_cast<PyObject*>(Py_TYPE(obj)) != cls) return nullptr;
  return &boxed_value<T>(obj);
}

// The same for an argument: TypeError naming it and `class_name` otherwise.
template <class T>
T& exact_arg(PyObject* cls, const char* class_name, std::string_view name, PyObject* obj) {
  T* value = exact_or_null<T>(cls, obj);
  if (value == nullptr) raise_arg_type_error(name, class_name, obj);
  return *value;
}

}  // namespace vornix::py
