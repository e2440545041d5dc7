#include "support/py_text.hpp"

#include <array>
#include <cstdint>
#include <cstring>

#include "base/text.hpp"
#include "support/compat.hpp"
#include "support/errors.hpp"

namespace vornix::py {
namespace {

Ref new_py_str(std::string_view utf8) {
#if defined(PYPY_VERSION)
  // PyPy decodes the bytes given to PyUnicode_FromStringAndSize in its own
  // runtime before mirroring the result back to C, which costs half again as
  // much as a str filled in place; identifiers and names are nearly always
  // ASCII, so they take the cheaper road.
  bool ascii = true;
  for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    Ref str = check(PyUnicode_New(static_cast<Py_ssize_t>(utf8.size()), 127));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"  // inside the C API's macro
    void* data = PyUnicode_DATA(str.get());
#pragma GCC diagnostic pop
    if (!utf8.empty()) std::memcpy(data, utf8.data(), utf8.size());
    return str;
  }
#endif
  return check(PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}

// Where every str made in C crosses into the interpreter at a cost of about
// a microsecond (PyPy), the short texts handed out again and again (port and
// node names, the identifiers of the packets and epochs in flight) are kept:
// a str is immutable, so handing out the same one for the same text cannot
// be told apart from a new one except by identity. The table is direct-mapped
// and bounded; a text that collides replaces the one held.
class ShortTextCache {
 public:
  static constexpr std::size_t kMaxLength = 32;

  Ref get(std::string_view utf8) {
    Entry& e = entries_[slot_of(utf8)];
    if (e.str != nullptr && e.length == utf8.size() &&
        std::memcmp(e.bytes.data(), utf8.data(), utf8.size()) == 0) {
      return Ref::borrow(e.str);
    }
    Ref made = new_py_str(utf8);
    PyObject* old = e.str;
    e.str = Ref::borrow(made.get()).release();
    e.length = static_cast<std::uint8_t>(utf8.size());
    std::memcpy(e.bytes.data(), utf8.data(), utf8.size());
    Py_XDECREF(old);  // a str runs no code when it goes
    return made;
  }

 private:
  static constexpr std::size_t kSlots = 4096;  // a power of two
  struct Entry {
    PyObject* str = nullptr;  // owned
    std::uint8_t length = 0;
    std::array<char, kMaxLength> bytes{};
  };

  static std::size_t slot_of(std::string_view utf8) noexcept {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (const char c : utf8) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ (h >> 32)) & (kSlots - 1);
  }

  std::array<Entry, kSlots> entries_{};
};

// Never destroyed: the strs it holds may outlive the interpreter's teardown.
ShortTextCache& short_texts() {
  static auto* cache = new ShortTextCache();
  return *cache;
}

}  // namespace

Ref to_py_str(std::string_view utf8) {
  if constexpr (compat::kStrCrossingIsCostly) {
    if (utf8.size() <= ShortTextCache::kMaxLength) return short_texts().get(utf8);
  }
  return new_py_str(utf8);
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
