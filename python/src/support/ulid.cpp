#include "support/ulid.hpp"

#include <string>

#include "support/errors.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

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

// The module "ulid" as an import statement would give it: straight from
// sys.modules when it is there (the common case, no import machinery run),
// through the full import otherwise. Nothing is kept between calls.
Ref import_ulid_module() {
  PyObject* name = strings().ulid.get();
  Ref module = Ref::steal(PyImport_GetModule(name));
  if (!module && PyErr_Occurred() != nullptr) throw PyErrorAlreadySet{};
  // None in sys.modules blocks the import; the full import says so.
  if (module && module.get() != Py_None) return module;
  return check(PyImport_Import(name));
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
  Ref module = import_ulid_module();
  Ref cls = check(PyObject_GetAttr(module.get(), strings().ULID.get()));
  Ref from_str = check(PyObject_GetAttr(cls.get(), strings().from_str.get()));
  return check(PyObject_CallOneArg(from_str.get(), text.get()));
}

Ref ulid_to_py_str(const vornix::Ulid& id) {
  // The text is ASCII: written straight into a new str, with no decoding.
  Ref str = check(PyUnicode_New(26, 127));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"  // a macro with C casts before 3.11
  void* data = PyUnicode_DATA(str.get());
#pragma GCC diagnostic pop
  id.write_text(static_cast<char*>(data));
  return str;
}

}  // namespace vornix::py
