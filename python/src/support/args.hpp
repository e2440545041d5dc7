// Argument matching and conversion: one parser for every entry point.
//
// Each entry point declares its parameters once; every parameter may be given
// by position or by keyword. Matching errors use the interpreter's usual
// wording ("Edge() missing required argument 'target' (pos 2)"); conversion
// errors begin "argument '{name}': " and say what could not be converted.
// Conversions run in signature order, so the first bad argument is reported.
//
//   static PyObject* port_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
//     static constexpr const char* kNames[] = {"slots_spec"};
//     static constexpr Signature kSig{"Port", kNames, /*required=*/0};
//     PyObject* argv[1] = {};                 // borrowed; nullptr when omitted
//     parse_args(kSig, args, kwargs, argv);   // throws PyErrorAlreadySet
//     ...
//   }
//
// Every function throws PyErrorAlreadySet with the Python error set; the
// guarded<> wrapper (errors.hpp) turns that into the slot's error result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/py_text.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

struct Signature {
  const char* name;                     // function or class name, without "()"
  std::span<const char* const> params;  // parameter names, in order
  std::size_t required;                 // the first `required` params must be given
};

// Matches fastcall arguments to the signature's parameters. `out` has one slot
// per parameter and receives borrowed references, nullptr for an omitted
// optional parameter. Missing, surplus or duplicated arguments and unknown or
// non-str keywords raise TypeError.
void parse_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                std::span<PyObject*> out);
// The same for tuple/dict calls (tp_new). `kwargs` may be null.
void parse_args(const Signature& sig, PyObject* args, PyObject* kwargs, std::span<PyObject*> out);
// The fastcall form for the common call shape of the per-call hot paths:
// every parameter given by position. That needs no matching, so it skips the
// parser; any other shape goes through it, with its messages.
template <std::size_t N>
void take_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject* (&argv)[N]) {
  if (kwnames == nullptr && nargs == static_cast<Py_ssize_t>(N) && sig.params.size() == N) {
    for (std::size_t i = 0; i < N; ++i) argv[i] = args[i];
    return;
  }
  parse_args(sig, args, nargs, kwnames, argv);
}

// "argument '{name}': ": the prefix of every conversion error.
std::string arg_prefix(std::string_view name);
// Raises TypeError "argument '{name}': expected {expected}, got {type of obj}".
[[noreturn]] void raise_arg_type_error(std::string_view name, std::string_view expected,
                                       PyObject* obj);

// A str argument as UTF-8. Refuses non-str and strings without a UTF-8 form.
inline std::string str_arg(std::string_view name, PyObject* obj) { return utf8_of(obj, name); }
// An int argument in the unsigned 64-bit range: non-int gives TypeError,
// negative or too large OverflowError (both with the argument prefix).
std::uint64_t u64_arg(std::string_view name, PyObject* obj);
// Exactly a bool (an int is refused).
bool bool_arg(std::string_view name, PyObject* obj);
// `obj` when it is an instance of `type` (borrowed), else TypeError
// "argument '{name}': expected {Class}, got {type}".
PyObject* instance_arg(std::string_view name, PyObject* obj, PyObject* type);
// True for None or an omitted optional argument.
inline bool is_none_or_omitted(PyObject* obj) { return obj == nullptr || obj == Py_None; }

// The elements of a sequence argument (list, tuple or any other sequence, but
// not a str), as new references taken up front so that later conversions
// cannot be upset by the caller mutating the sequence. Anything else raises
// TypeError "argument '{name}': expected a sequence, got {type}".
std::vector<Ref> sequence_arg(std::string_view name, PyObject* obj);

// Reads an int (or int subclass, bool included) as a signed 64-bit value;
// nothing for other objects and for ints outside the range. Never raises.
std::optional<std::int64_t> as_int64(PyObject* obj) noexcept;

}  // namespace vornix::py
