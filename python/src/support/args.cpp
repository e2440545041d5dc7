#include "support/args.hpp"

#include <utility>

#include "support/errors.hpp"
#include "support/py_text.hpp"

namespace vornix::py {
namespace {

struct Keyword {
  PyObject* name;   // borrowed
  PyObject* value;  // borrowed
};

std::string call_name(const Signature& sig) { return std::string(sig.name) + "()"; }

// A keyword as it appears in a message; a name with no UTF-8 form still
// needs to be reported rather than replaced by a different error.
std::string keyword_text(PyObject* key) {
  const char* c = PyUnicode_Check(key) ? PyUnicode_AsUTF8(key) : nullptr;
  if (c != nullptr) return c;
  PyErr_Clear();
  return "?";
}

std::string plural(std::size_t n, std::string_view word) {
  std::string out = std::to_string(n) + " " + std::string(word);
  if (n != 1) out += "s";
  return out;
}

std::size_t param_index(const Signature& sig, PyObject* key) {
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(key, sig.params[i]) == 0) return i;
  }
  if (PyErr_Occurred() != nullptr) PyErr_Clear();
  return sig.params.size();
}

void check_positional_count(const Signature& sig, std::size_t given) {
  const std::size_t most = sig.params.size();
  if (given <= most) return;
  if (most == 0) {
    raise_type_error(call_name(sig) + " takes no arguments (" + std::to_string(given) + " given)");
  }
  const char* bound = sig.required == most ? "exactly" : "at most";
  raise_type_error(call_name(sig) + " takes " + bound + " " + plural(most, "argument") + " (" +
                   std::to_string(given) + " given)");
}

void place_keyword(const Signature& sig, const Keyword& kw, std::size_t npositional,
                   std::span<PyObject*> out) {
  if (!PyUnicode_Check(kw.name)) raise_type_error("keywords must be strings");
  const std::size_t i = param_index(sig, kw.name);
  if (i == sig.params.size()) {
    raise_type_error("'" + keyword_text(kw.name) + "' is an invalid keyword argument for " +
                     call_name(sig));
  }
  if (i < npositional) {
    raise_type_error("argument for " + call_name(sig) + " given by name ('" + sig.params[i] +
                     "') and position (" + std::to_string(i + 1) + ")");
  }
  if (out[i] != nullptr) {
    raise_type_error(call_name(sig) + " got multiple values for argument '" + sig.params[i] + "'");
  }
  out[i] = kw.value;
}

void match(const Signature& sig, std::span<PyObject* const> positional,
           std::span<const Keyword> keywords, std::span<PyObject*> out) {
  if (out.size() != sig.params.size()) {
    raise(PyExc_SystemError, "argument slots do not match the signature of " + call_name(sig));
  }
  for (PyObject*& slot_value : out) slot_value = nullptr;
  check_positional_count(sig, positional.size());
  for (std::size_t i = 0; i < positional.size(); ++i) out[i] = positional[i];
  for (const Keyword& kw : keywords) place_keyword(sig, kw, positional.size(), out);
  for (std::size_t i = 0; i < sig.required; ++i) {
    if (out[i] == nullptr) {
      raise_type_error(call_name(sig) + " missing required argument '" + sig.params[i] + "' (pos " +
                       std::to_string(i + 1) + ")");
    }
  }
}

}  // namespace

void parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                std::span<PyObject*> out) {
  const auto npos = static_cast<std::size_t>(nargs);
  std::vector<Keyword> keywords;
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_Size(kwnames);
    if (nkw < 0) throw PyErrorAlreadySet{};
    keywords.reserve(static_cast<std::size_t>(nkw));
    for (Py_ssize_t i = 0; i < nkw; ++i) {
      keywords.push_back({PyTuple_GetItem(kwnames, i), args[nargs + i]});
    }
  }
  match(sig, std::span<PyObject* const>(args, npos), keywords, out);
}

void parse_args(const Signature& sig, PyObject* args, PyObject* kwargs, std::span<PyObject*> out) {
  std::vector<PyObject*> positional;
  if (args != nullptr) {
    const Py_ssize_t n = PyTuple_Size(args);
    if (n < 0) throw PyErrorAlreadySet{};
    positional.reserve(static_cast<std::size_t>(n));
    for (Py_ssize_t i = 0; i < n; ++i) positional.push_back(PyTuple_GetItem(args, i));
  }
  std::vector<Keyword> keywords;
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) keywords.push_back({key, value});
  }
  match(sig, positional, keywords, out);
}

std::string arg_prefix(std::string_view name) { return "argument '" + std::string(name) + "': "; }

void raise_arg_type_error(std::string_view name, std::string_view expected, PyObject* obj) {
  raise_type_error(arg_prefix(name) + "expected " + std::string(expected) + ", got " +
                   type_name_of(obj));
}

std::uint64_t u64_arg(std::string_view name, PyObject* obj) {
  if (!PyLong_Check(obj)) raise_arg_type_error(name, "int", obj);
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
  if (v == -1 && PyErr_Occurred() != nullptr) throw PyErrorAlreadySet{};
  if (overflow < 0 || (overflow == 0 && v < 0)) {
    raise(PyExc_OverflowError, arg_prefix(name) + "can't convert negative int to unsigned");
  }
  if (overflow == 0) return static_cast<std::uint64_t>(v);
  const unsigned long long u = PyLong_AsUnsignedLongLong(obj);
  if (u == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw PyErrorAlreadySet{};
    PyErr_Clear();
    raise(PyExc_OverflowError, arg_prefix(name) + "int too big to convert");
  }
  return static_cast<std::uint64_t>(u);
}

bool bool_arg(std::string_view name, PyObject* obj) {
  if (!PyBool_Check(obj)) raise_arg_type_error(name, "bool", obj);
  return obj == Py_True;
}

PyObject* instance_arg(std::string_view name, PyObject* obj, PyObject* type) {
  const int is = PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(type));
  if (!is) raise_arg_type_error(name, class_name(type), obj);
  return obj;
}

std::vector<Ref> sequence_arg(std::string_view name, PyObject* obj) {
  if (PyUnicode_Check(obj) || !PySequence_Check(obj)) {
    raise_arg_type_error(name, "a sequence", obj);
  }
  Ref list = check(PySequence_List(obj));
  const Py_ssize_t n = PyList_Size(list.get());
  if (n < 0) throw PyErrorAlreadySet{};
  std::vector<Ref> items;
  items.reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) items.push_back(Ref::borrow(PyList_GetItem(list.get(), i)));
  return items;
}

std::optional<std::int64_t> as_int64(PyObject* obj) noexcept {
  if (!PyLong_Check(obj)) return std::nullopt;
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
  if (v == -1 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    return std::nullopt;
  }
  if (overflow != 0) return std::nullopt;
  return static_cast<std::int64_t>(v);
}

}  // namespace vornix::py
