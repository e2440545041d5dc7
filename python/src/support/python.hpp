// The one way every binding file brings in the interpreter's C API.
//
// PY_SSIZE_T_CLEAN must be defined before Python.h everywhere, so nobody
// includes Python.h directly.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "support/compat.hpp"
