// Integer-valued enumeration classes (PortType, EpochState, PortState, ...).
//
// Such a class has no constructor; its members are class attributes made once
// with the class, each holding its number (its position in the member list).
// int(x) gives the number; == and != compare numbers against the same class
// and against anything readable as a signed 64-bit int; every other
// comparison, and all ordering, is NotImplemented. repr is "Class.Member".
// Without a hash function the instances are unhashable.
//
//   static constexpr const char* kMembers[] = {"Startable", "Running", "Finished"};
//   static constexpr EnumClassSpec kSpec{"EpochState", kDoc, kMembers};
//   Ref cls = make_enum_class(kSpec);
//   Ref running = enum_value(cls.get(), 1);   // == EpochState.Running
//
// Instances are immutable, so they need no borrow bookkeeping.
#pragma once

#include <cstdint>
#include <span>

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

struct EnumClassSpec {
  const char* name;                      // class name, e.g. "PortType"
  const char* doc;                       // class doc string
  std::span<const char* const> members;  // member names, in number order
  PyMethodDef* methods = nullptr;        // optional static methods, null-terminated
  hashfunc hash = nullptr;               // optional; null makes instances unhashable
};

// Creates the class and its members.
// REQUIRES: `spec` and everything it points to have static storage.
Ref make_enum_class(const EnumClassSpec& spec);

// True when `obj` is an instance of the enumeration class `type`.
bool is_enum_instance(PyObject* type, PyObject* obj) noexcept;
// The member number of an instance.
// REQUIRES: `obj` is an instance of a class made by make_enum_class.
std::int64_t enum_number(PyObject* obj) noexcept;
// A new instance of `type` with member number `number`, equal (not identical)
// to the class attribute. An unknown number is an internal fault.
Ref enum_value(PyObject* type, std::int64_t number);
// The class attribute itself for `number`.
Ref enum_member(PyObject* type, std::int64_t number);

}  // namespace vornix::py
