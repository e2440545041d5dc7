#include "support/ulid.hpp"

#include <string>

#include "support/errors.hpp"
#include "support/py_text.hpp"

namespace vornix::py {
namespace {

// The bytes that the identifier text stands for. A str with lone surrogates
// has no strict UTF-8 form; its surrogates are kept as three bytes each, so
// such a text is refused for its length or its characters like any other
// malformed identifier instead of with an encoding error.
vornix::Ulid parse_str(PyObject* str) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data != nullptr) return str_to_ulid(std::string_view(data, static_cast<std::size_t>(size)));
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw PyErrorAlreadySet{};
  PyErr_Clear();
  Ref bytes = check(PyUnicode_AsEncodedString(str, "utf-8", "surrogatepass"));
  char* raw = nullptr;
  Py_ssize_t raw_size = 0;
  check_status(PyBytes_AsStringAndSize(bytes.get(), &raw, &raw_size));
  return str_to_ulid(std::string_view(raw, static_cast<std::size_t>(raw_size)));
}

}  // namespace

vornix::Ulid str_to_ulid(std::string_view text) {
  auto parsed = vornix::Ulid::parse(text);
  if (!parsed) raise_value_error("Invalid ULID: " + std::string(vornix::to_string(parsed.error())));
  return *parsed;
}

vornix::Ulid python_to_ulid(PyObject* obj) {
  if (PyUnicode_Check(obj)) return parse_str(obj);
  Ref text = check(PyObject_Str(obj));
  return parse_str(text.get());
}

Ref ulid_to_python(const vornix::Ulid& id) {
  Ref text = ulid_to_py_str(id);
  Ref module = check(PyImport_ImportModule("ulid"));
  Ref cls = check(PyObject_GetAttrString(module.get(), "ULID"));
  Ref from_str = check(PyObject_GetAttrString(cls.get(), "from_str"));
  return check(PyObject_CallFunctionObjArgs(from_str.get(), text.get(), nullptr));
}

Ref ulid_to_py_str(const vornix::Ulid& id) { return to_py_str(id.to_string()); }

}  // namespace vornix::py
