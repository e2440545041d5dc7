// The common call shape of the per-packet entry points: every parameter
// given by position. It needs no matching, so it skips the parser; any other
// shape goes through parse_args (support/args.hpp), with its messages.
#pragma once

#include <cstddef>

#include "support/args.hpp"
#include "support/python.hpp"

namespace vornix::py {

template <std::size_t N>
void take_args(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject* (&argv)[N]) {
  if (kwnames == nullptr && nargs == static_cast<Py_ssize_t>(N) && sig.params.size() == N) {
    for (std::size_t i = 0; i < N; ++i) argv[i] = args[i];
    return;
  }
  parse_args(sig, args, nargs, kwnames, argv);
}

}  // namespace vornix::py
