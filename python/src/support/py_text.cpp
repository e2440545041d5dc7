#include "support/py_text.hpp"

#include "base/text.hpp"
#include "support/args.hpp"
#include "support/errors.hpp"

namespace vornix::py {

Ref to_py_str(std::string_view utf8) {
  return check(PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}

Ref to_py_quoted(std::string_view utf8) { return to_py_str(vornix::quoted_form(utf8)); }

namespace {

std::string prefix_of(std::string_view arg) { return arg.empty() ? "" : arg_prefix(arg); }

}  // namespace

std::string detail::utf8_of_rest(PyObject* str, std::string_view arg, LoneSurrogates surrogates) {
  if (!PyUnicode_Check(str)) {
    raise_type_error(prefix_of(arg) + "expected str, got " + type_name_of(str));
  }
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) throw PyErrorAlreadySet{};

  if (surrogates == LoneSurrogates::kKeep) {
    PyErr_Clear();
    Ref bytes = check(PyUnicode_AsEncodedString(str, "utf-8", "surrogatepass"));
    char* kept = nullptr;
    Py_ssize_t size = 0;
    check_status(PyBytes_AsStringAndSize(bytes.get(), &kept, &size));
    return std::string(kept, static_cast<std::size_t>(size));
  }
  // Otherwise such a str is the wrong kind of argument for a name, so it is
  // refused like any other type mismatch.
  Ref codec_error = PendingError().take_exception();
  std::string reason = "str is not valid UTF-8";
  if (codec_error) {
    Ref text = Ref::steal(PyObject_Str(codec_error.get()));
    const char* c = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (c != nullptr) reason = c;
    PyErr_Clear();
  }
  raise_type_error(prefix_of(arg) + reason);
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
