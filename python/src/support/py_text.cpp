#include "support/py_text.hpp"

#include "base/text.hpp"
#include "support/errors.hpp"

namespace vornix::py {

Ref to_py_str(std::string_view utf8) {
  return check(PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}

Ref to_py_quoted(std::string_view utf8) { return to_py_str(vornix::quoted_form(utf8)); }

std::string utf8_of(PyObject* str, std::string_view prefix) {
  if (!PyUnicode_Check(str)) {
    raise_type_error(std::string(prefix) + "expected str, got " + type_name_of(str));
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data != nullptr) return std::string(data, static_cast<std::size_t>(size));
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw PyErrorAlreadySet{};

  // A str with lone surrogates has no UTF-8 form: it is the wrong kind of
  // argument for a name, so it is refused like any other type mismatch.
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  Ref owned_type = Ref::steal(type);
  Ref owned_value = Ref::steal(value);
  Ref owned_tb = Ref::steal(tb);
  std::string reason = "str is not valid UTF-8";
  if (owned_value) {
    Ref text = Ref::steal(PyObject_Str(owned_value.get()));
    const char* c = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (c != nullptr) reason = c;
    PyErr_Clear();
  }
  raise_type_error(std::string(prefix) + reason);
}

std::string class_name(PyObject* type) {
  Ref name = Ref::steal(PyObject_GetAttrString(type, "__name__"));
  if (name && PyUnicode_Check(name.get())) {
    const char* c = PyUnicode_AsUTF8(name.get());
    if (c != nullptr) return c;
  }
  PyErr_Clear();
  return "?";
}

std::string type_name_of(PyObject* obj) {
  return class_name(reinterpret_cast<PyObject*>(Py_TYPE(obj)));
}

std::string str_of(PyObject* obj) {
  Ref text = check(PyObject_Str(obj));
  return utf8_of(text.get());
}

}  // namespace vornix::py
