#include "support/ulid.hpp"

#include <array>
#include <cstdint>
#include <string>

#include "support/errors.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

constexpr char kAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr std::int8_t kNotADigit = -1;

// Digit value of every byte, lower-case letters as their upper-case ones:
// parsing is one load per byte instead of a walk along the alphabet.
constexpr std::array<std::int8_t, 256> make_digit_table() {
  std::array<std::int8_t, 256> table{};
  for (auto& d : table) d = kNotADigit;
  for (int i = 0; i < 32; ++i) {
    const auto c = static_cast<unsigned char>(kAlphabet[i]);
    table[c] = static_cast<std::int8_t>(i);
    if (c >= 'A' && c <= 'Z') table[c - 'A' + 'a'] = static_cast<std::int8_t>(i);
  }
  return table;
}
constexpr std::array<std::int8_t, 256> kDigits = make_digit_table();

__extension__ typedef unsigned __int128 U128;

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
  if (text.size() != 26) raise_value_error("Invalid ULID: invalid length");
  U128 v = 0;
  for (char ch : text) {
    const std::int8_t d = kDigits[static_cast<unsigned char>(ch)];
    if (d == kNotADigit) raise_value_error("Invalid ULID: invalid character");
    v = (v << 5) | static_cast<U128>(d);  // the top two bits of digit 0 fall off
  }
  return vornix::Ulid::from_parts(static_cast<std::uint64_t>(v >> 64),
                                  static_cast<std::uint64_t>(v));
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
  char text[26];
  U128 v = (static_cast<U128>(id.hi) << 64) | id.lo;
  for (int i = 25; i >= 0; --i) {
    text[i] = kAlphabet[static_cast<unsigned>(v & 31)];
    v >>= 5;
  }
  return check(PyUnicode_FromStringAndSize(text, 26));
}

}  // namespace vornix::py
