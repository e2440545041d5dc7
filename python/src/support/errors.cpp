#include "support/errors.hpp"

#include <exception>
#include <new>
#include <string>

#include "base/fault.hpp"

namespace vornix::py {
namespace {

// Lives as long as the process once the module is imported: the class must
// outlive every object that could raise it. Never freed at exit, when the
// interpreter may already be gone.
PyObject* g_internal_fault = nullptr;

void set_internal_fault(const char* message) noexcept {
  PyObject* cls = g_internal_fault != nullptr ? g_internal_fault : PyExc_SystemError;
  PyErr_SetString(cls, message);
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

void raise(PyObject* type, std::string_view message) {
  Ref text = check(PyUnicode_FromStringAndSize(message.data(),
                                               static_cast<Py_ssize_t>(message.size())));
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
    set_internal_fault(e.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_SystemError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "unknown C++ exception");
  }
}

PyObject* internal_fault_class() noexcept { return g_internal_fault; }

void create_internal_fault_class() {
  if (g_internal_fault != nullptr) return;
  g_internal_fault = check(PyErr_NewException("vornix_sim.InternalFault",
                                              PyExc_BaseException, nullptr))
                         .release();
}

void clear_internal_fault_class() noexcept { Py_CLEAR(g_internal_fault); }

void raise_internal_fault_from_pending(std::string_view message) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb != nullptr && value != nullptr) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  Ref cause = Ref::steal(value);

  const std::string text(message);
  set_internal_fault(text.c_str());
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  if (value != nullptr && cause) {
    PyException_SetContext(value, Ref::borrow(cause.get()).release());
    PyException_SetCause(value, cause.release());
  }
  PyErr_Restore(type, value, tb);
  throw PyErrorAlreadySet{};
}

}  // namespace vornix::py
