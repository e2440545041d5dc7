// Text crossing the boundary: C++ UTF-8 strings to Python str and back.
//
//   Ref s = to_py_str(to_text(edge));          // new str, throws on failure
//   Ref q = to_py_quoted(node.name);           // "\"A\"" with escapes
//   std::string n = type_name_of(obj);         // "int", for messages
//
// Every function throws PyErrorAlreadySet with the Python error set when the
// interpreter refuses (memory, invalid UTF-8 from the engine).
#pragma once

#include <string>
#include <string_view>

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// A new str holding the UTF-8 text.
Ref to_py_str(std::string_view utf8);
// A new str holding the quoted form of the text (base/text.hpp quoted_form).
Ref to_py_quoted(std::string_view utf8);

// The UTF-8 bytes of a str. Refuses non-str objects with TypeError
// "{prefix}expected str, got {type}" and strings that have no UTF-8 form (lone
// surrogates) with TypeError "{prefix}{codec message}". `prefix` is empty or
// the "argument '{name}': " form.
std::string utf8_of(PyObject* str, std::string_view prefix = {});

// The __name__ of a class, "?" if it has none that reads as str.
std::string class_name(PyObject* type);
// The __name__ of an object's class.
std::string type_name_of(PyObject* obj);

// str(obj) as UTF-8; exceptions raised by str() propagate.
std::string str_of(PyObject* obj);

}  // namespace vornix::py
