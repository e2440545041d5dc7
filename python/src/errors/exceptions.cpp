#include "errors/exceptions.hpp"

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "support/errors.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

struct ExceptionInfo {
  const char* name;
  const char* qualified_name;
  bool on_exception;  // based on the interpreter's Exception, not one of ours
  Exc base;           // ignored when on_exception
};

// The interpreter's Exception stands outside the enumeration; entries based
// on it read their (unused) base as VornixError.
namespace base_of {
constexpr Exc Exception = Exc::VornixError;
#define VORNIX_EXC_BASE(name, base) [[maybe_unused]] constexpr Exc name = Exc::name;
VORNIX_EXCEPTION_CLASSES(VORNIX_EXC_BASE)
#undef VORNIX_EXC_BASE
}  // namespace base_of

constexpr bool is_exception(const char* base) { return std::string_view(base) == "Exception"; }

constexpr std::array<ExceptionInfo, kExceptionCount> kExceptions = {{
#define VORNIX_EXC_INFO(name, base) \
  {#name, "vornix_sim." #name, is_exception(#base), base_of::base},
    VORNIX_EXCEPTION_CLASSES(VORNIX_EXC_INFO)
#undef VORNIX_EXC_INFO
}};

constexpr std::size_t index_of(Exc id) { return static_cast<std::size_t>(id); }

}  // namespace

const char* exception_name(Exc id) noexcept { return kExceptions[index_of(id)].name; }

Ref make_exception_class(Exc id) {
  const ExceptionInfo& info = kExceptions[index_of(id)];
  PyObject* base = info.on_exception ? PyExc_Exception : exception_class(info.base);
  if (base == nullptr) {
    raise(PyExc_SystemError, std::string(info.qualified_name) + " made before its base class");
  }
  PyObject* cls = PyErr_NewException(info.qualified_name, base, nullptr);
  if (cls == nullptr) raise_internal_fault_from_pending("Failed to initialize new exception type.");
  Ref result = Ref::steal(cls);
  std::vector<Ref>& classes = types().exceptions;
  if (classes.size() < kExceptionCount) classes.resize(kExceptionCount);
  classes[index_of(id)] = Ref::borrow(cls);
  return result;
}

PyObject* exception_class(Exc id) noexcept {
  const std::vector<Ref>& classes = types().exceptions;
  return index_of(id) < classes.size() ? classes[index_of(id)].get() : nullptr;
}

}  // namespace vornix::py
