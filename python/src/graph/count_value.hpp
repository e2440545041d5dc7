// The numbered companions of the enumeration classes that hold one count:
// PortSlotSpecFinite (capacity), PacketCountN (count), MaxSalvosFinite (max).
//
// Each holds one unsigned 64-bit number, has no constructor (the enumeration
// class's static method makes it), one getter without a doc string, a repr of
// the form "{prefix}({n})", and identity equality.
//
//   constexpr CountClass kMaxSalvosFinite{"MaxSalvosFinite", doc, "max", "MaxSalvos.finite"};
//   Ref cls = make_count_class<kMaxSalvosFinite>();
//   Ref obj = new_count(types().max_salvos_finite.get(), 3);   // MaxSalvos.finite(3)
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/enum_class.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/no_constructor.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"
#include "support/types.hpp"

namespace vornix::py {

struct CountClass {
  const char* name;         // class name
  const char* doc;          // class doc string
  const char* getter;       // name of the getter that returns the number
  const char* repr_prefix;  // repr is "{repr_prefix}({n})"
  // The static constructor that makes an instance: method `factory` of the
  // enumeration class in `owner`. Pickling and copying call it again.
  Ref ClassRegistry::*owner;
  const char* factory;
};

// A new instance of a count class holding `n`.
inline Ref new_count(PyObject* type, std::uint64_t n) { return new_boxed(type, n); }

// The number inside an instance of exactly `type`, or nothing for any other object.
inline std::optional<std::uint64_t> count_of(PyObject* type, PyObject* obj) noexcept {
  const std::uint64_t* n = exact_or_null<std::uint64_t>(type, obj);
  if (n == nullptr) return std::nullopt;
  return *n;
}

namespace detail {

inline PyObject* count_get(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<std::uint64_t>(self).borrow);
  return PyLong_FromUnsignedLongLong(boxed_value<std::uint64_t>(self));
}

template <const CountClass& C>
PyObject* count_repr(PyObject* self) {
  SharedBorrow hold(as_boxed<std::uint64_t>(self).borrow);
  return to_py_str(std::string(C.repr_prefix) + "(" +
                   std::to_string(boxed_value<std::uint64_t>(self)) + ")")
      .release();
}

template <const CountClass& C>
PyObject* count_reduce(PyObject* self, PyObject*) {
  Ref n = check(PyLong_FromUnsignedLongLong(boxed_value<std::uint64_t>(self)));
  Ref args = check(PyTuple_Pack(1, n.get()));
  return reduce_to_factory((types().*C.owner).get(), C.factory, std::move(args)).release();
}

}  // namespace detail

template <const CountClass& C>
Ref make_count_class() {
  static PyMethodDef methods[] = {
      reduce_method<detail::count_reduce<C>>(),
      {nullptr, nullptr, 0, nullptr},
  };
  static PyGetSetDef getset[] = {
      {C.getter, guarded<detail::count_get>, nullptr, nullptr, nullptr},
      {nullptr, nullptr, nullptr, nullptr, nullptr},
  };
  PyType_Slot slots[] = {
      slot(Py_tp_doc, C.doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<std::uint64_t>),
      slot(Py_tp_repr, guarded<detail::count_repr<C>>),
      slot(Py_tp_getset, getset),
      slot(Py_tp_methods, methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = C.name,
      .basicsize = static_cast<int>(sizeof(Boxed<std::uint64_t>)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

// The static constructors of the enumeration classes paired with a count
// class: `Name()` returns member `Number` of the enumeration class registered
// in `Enum`; `Name(n)` returns a new instance of the count class in `Count`.
//   {"infinite", fastcall_kw<member_constructor<kInfinite, &ClassRegistry::max_salvos, 0>>(), ...}
template <const char* Name, Ref ClassRegistry::*Enum, std::int64_t Number>
PyObject* member_constructor(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  static constexpr Signature kSig{Name, {}, 0};
  parse_args(kSig, args, nargs, kwnames, {});
  return enum_member((types().*Enum).get(), Number).release();
}

template <const char* Name, Ref ClassRegistry::*Count>
PyObject* count_constructor(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"n"};
  static constexpr Signature kSig{Name, kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  const std::uint64_t n = u64_arg("n", argv[0]);
  return new_count((types().*Count).get(), n).release();
}

}  // namespace vornix::py
