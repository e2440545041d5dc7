// Packet and epoch identifiers at the boundary.
//
// Python hands identifiers in as str or as ULID objects of the `ulid`
// package (anything whose str() is the 26-character text); the binding hands
// them out as that text or as ULID objects. The package is imported on each
// use, never held, so the module imports without it and only the calls that
// need it fail.
//
//   vornix::Ulid id = python_to_ulid(arg);   // ValueError "Invalid ULID: ..."
//   Ref obj = ulid_to_python(id);            // ulid.ULID.from_str(text)
//
// All three throw PyErrorAlreadySet with the Python error set.
#pragma once

#include <string_view>

#include "net/ulid.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// Parses identifier text; ValueError "Invalid ULID: invalid length" or
// "Invalid ULID: invalid character".
vornix::Ulid str_to_ulid(std::string_view text);
// A str is parsed directly; any other object through str(obj), whose own
// exceptions propagate unchanged.
vornix::Ulid python_to_ulid(PyObject* obj);
// ulid.ULID.from_str(<26-character text>); any exception on the way (the
// package missing, from_str refusing) propagates unchanged.
Ref ulid_to_python(const vornix::Ulid& id);
// The 26-character text as a new str.
Ref ulid_to_py_str(const vornix::Ulid& id);

}  // namespace vornix::py
