// Text crossing the boundary: C++ UTF-8 strings to Python str and back.
//
//   Ref s = to_py_str(to_text(edge));          // new str, throws on failure
//   Ref q = to_py_quoted(node.name);           // "\"A\"" with escapes
//   std::string n = type_name_of(obj);         // "int", for messages
//
// Every function throws PyErrorAlreadySet with the Python error set when the
// interpreter refuses (memory, invalid UTF-8 from the engine).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// A new str holding the UTF-8 text.
Ref to_py_str(std::string_view utf8);
// A new str holding the quoted form of the text (base/text.hpp quoted_form).
Ref to_py_quoted(std::string_view utf8);

// What reading a str with lone surrogates (which have no UTF-8 form) does:
// a name with them is refused; an identifier's text keeps them, as their
// three-byte forms, so that it can be shown as the caller gave it.
enum class LoneSurrogates { kRefuse, kKeep };

// The UTF-8 bytes of a str (or str subclass, read without calling its
// methods), from the str's own UTF-8 form when it has one. Refuses non-str
// objects with TypeError "{prefix}expected str, got {type}" and, unless they
// are kept, lone surrogates with TypeError "{prefix}{codec message}". The
// prefix is "argument '{arg}': ", or empty without `arg`; it is made only for
// a refusal. Inline, as names are read on every call of the hot paths.
std::string utf8_of(PyObject* str, std::string_view arg = {},
                    LoneSurrogates surrogates = LoneSurrogates::kRefuse);

namespace detail {
// The rest of utf8_of: `str` is not a str, or it is and reading its UTF-8
// form has just failed (with the error set).
std::string utf8_of_rest(PyObject* str, std::string_view arg, LoneSurrogates surrogates);
}  // namespace detail

inline std::string utf8_of(PyObject* str, std::string_view arg, LoneSurrogates surrogates) {
  if (PyUnicode_Check(str)) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(str, &size)) {
      return std::string(data, static_cast<std::size_t>(size));
    }
  }
  return detail::utf8_of_rest(str, arg, surrogates);
}

// The __name__ of a class, "?" if it has none that reads as str.
std::string class_name(PyObject* type);
// The __name__ of an object's class.
std::string type_name_of(PyObject* obj);

// str(obj) as UTF-8; exceptions raised by str() propagate.
std::string str_of(PyObject* obj);

}  // namespace vornix::py
