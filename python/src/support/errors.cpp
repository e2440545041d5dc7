#include "support/errors.hpp"

#include <exception>
#include <new>
#include <string>
#include <utility>

#include "base/fault.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

// The whole message, embedded NULs included (PyErr_SetString would stop at
// the first). Bytes that are not UTF-8 are replaced rather than turning the
// fault into a decoding error.
void set_internal_fault(std::string_view message) noexcept {
  PyObject* fault = types().internal_fault.get();
  PyObject* cls = fault != nullptr ? fault : PyExc_SystemError;
  PyObject* text =
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text == nullptr) return;  // MemoryError is set instead
  PyErr_SetObject(cls, text);
  Py_DECREF(text);
}

}  // namespace

Ref check(PyObject* p) {
  if (p == nullptr) throw PyErrorAlreadySet{};
  return Ref::steal(p);
}

int check_status(int status) {
  if (status < 0) throw PyErrorAlreadySet{};
  return status;
}

PyObject* PendingError::exception() noexcept {
  if (type_ == nullptr) return nullptr;
  PyErr_NormalizeException(&type_, &value_, &tb_);
  if (tb_ != nullptr && value_ != nullptr) PyException_SetTraceback(value_, tb_);
  return value_;
}

Ref PendingError::take_exception() noexcept {
  exception();
  Py_CLEAR(type_);
  Py_CLEAR(tb_);
  return Ref::steal(std::exchange(value_, nullptr));
}

void raise(PyObject* type, std::string_view message) {
  Ref text =
      check(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  PyErr_SetObject(type, text.get());
  throw PyErrorAlreadySet{};
}

void raise_type_error(std::string_view message) { raise(PyExc_TypeError, message); }
void raise_value_error(std::string_view message) { raise(PyExc_ValueError, message); }

void set_python_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const PyErrorAlreadySet&) {
    // The helper that threw has set the error; a missing one would make the
    // interpreter report "error return without exception set", so say so.
    if (PyErr_Occurred() == nullptr) {
      PyErr_SetString(PyExc_SystemError, "error reported without an exception set");
    }
  } catch (const vornix::InternalError& e) {
    set_internal_fault(e.message());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_SystemError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
  }
}

PyObject* internal_fault_class() noexcept { return types().internal_fault.get(); }

void create_internal_fault_class() {
  if (types().internal_fault) return;
  types().internal_fault =
      check(PyErr_NewException("vornix_sim.InternalFault", PyExc_BaseException, nullptr));
}

void raise_internal_fault_from_pending(std::string_view message) {
  Ref cause = PendingError().take_exception();
  set_internal_fault(message);
  {
    PendingError fault;
    PyObject* exc = fault.exception();
    if (exc != nullptr && cause) {
      PyException_SetContext(exc, Ref::borrow(cause.get()).release());
      PyException_SetCause(exc, cause.release());
    }
  }
  throw PyErrorAlreadySet{};
}

}  // namespace vornix::py
