// Per-instance borrow flag: the guard against re-entrant use of one object.
//
// Every entry point runs under the interpreter lock, so the only way to reach
// an instance while it is in use is re-entry (a callback, a __str__, a
// finalizer running inside one of our calls). A method that reads the
// instance holds a SharedBorrow for the duration of the call; one that
// changes it holds an ExclusiveBorrow. Refusals raise RuntimeError and throw
// PyErrorAlreadySet, before the call has done anything:
//
//   static PyObject* sim_run_step(PyObject* self, ...) {
//     ExclusiveBorrow hold(as_sim(self).borrow);   // "Already borrowed" if in use
//     ...
//   }
#pragma once

#include <cstdint>

#include "support/errors.hpp"
#include "support/python.hpp"

namespace vornix::py {

class BorrowFlag {
 public:
  bool is_free() const noexcept { return count_ == 0; }

 private:
  friend class SharedBorrow;
  friend class ExclusiveBorrow;
  static constexpr std::int32_t kExclusive = -1;
  std::int32_t count_ = 0;  // readers holding it, or kExclusive
};

class SharedBorrow {
 public:
  explicit SharedBorrow(BorrowFlag& flag) : flag_(flag) {
    if (flag_.count_ == BorrowFlag::kExclusive) {
      raise(PyExc_RuntimeError, "Already mutably borrowed");
    }
    ++flag_.count_;
  }
  ~SharedBorrow() { --flag_.count_; }
  SharedBorrow(const SharedBorrow&) = delete;
  SharedBorrow& operator=(const SharedBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

class ExclusiveBorrow {
 public:
  explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag) {
    if (flag_.count_ != 0) raise(PyExc_RuntimeError, "Already borrowed");
    flag_.count_ = BorrowFlag::kExclusive;
  }
  ~ExclusiveBorrow() { flag_.count_ = 0; }
  ExclusiveBorrow(const ExclusiveBorrow&) = delete;
  ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;

 private:
  BorrowFlag& flag_;
};

}  // namespace vornix::py
