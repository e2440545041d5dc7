#include "graph/port_state.hpp"

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <variant>

#include "base/result.hpp"
#include "support/args.hpp"
#include "support/classes.hpp"
#include "support/enum_class.hpp"
#include "support/errors.hpp"
#include "support/exact.hpp"
#include "support/no_constructor.hpp"
#include "support/pickling.hpp"
#include "support/py_text.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

using PortStateObject = Boxed<vornix::PortState>;

PyDoc_STRVAR(port_state_doc, "Port state predicate for salvo conditions.");
PyDoc_STRVAR(port_state_numeric_doc, "Numeric port state predicate.");

// Member numbers are the engine's variant indexes of the four plain states.
constexpr const char* kMembers[] = {"Empty", "Full", "NonEmpty", "NonFull"};

using MakeState = vornix::PortState (*)(std::uint64_t);

// The numbered states in engine variant order (indexes 4 to 8), under the
// names of the static methods that make them; the name is also the kind.
struct NumberedKind {
  const char* name;
  MakeState make;
};
constexpr NumberedKind kNumbered[] = {
    {"equals", vornix::PortState::equals},
    {"less_than", vornix::PortState::less_than},
    {"greater_than", vornix::PortState::greater_than},
    {"equals_or_less_than", vornix::PortState::equals_or_less_than},
    {"equals_or_greater_than", vornix::PortState::equals_or_greater_than},
};
constexpr std::size_t kFirstNumbered = std::size(kMembers);

// The number of a numbered state; nothing for a plain one.
std::optional<std::uint64_t> number_of(const vornix::PortState& s) {
  return std::visit(
      Overloaded{
          [](const vornix::PortState::Empty&) -> std::optional<std::uint64_t> { return {}; },
          [](const vornix::PortState::Full&) -> std::optional<std::uint64_t> { return {}; },
          [](const vornix::PortState::NonEmpty&) -> std::optional<std::uint64_t> { return {}; },
          [](const vornix::PortState::NonFull&) -> std::optional<std::uint64_t> { return {}; },
          [](const auto& numbered) -> std::optional<std::uint64_t> { return numbered.n; },
      },
      s.value);
}

const char* kind_of(const vornix::PortState& s) {
  return kNumbered[s.value.index() - kFirstNumbered].name;
}

constexpr const char* kPlainMethods[] = {"empty", "full", "non_empty", "non_full"};

template <std::size_t I>
PyObject* plain_state(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr Signature kSig{kPlainMethods[I], {}, 0};
  parse_args(kSig, args, nargs, kwnames, {});
  return enum_member(types().port_state.get(), static_cast<std::int64_t>(I)).release();
}

template <std::size_t I>
PyObject* numbered_state(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static constexpr const char* kNames[] = {"n"};
  static constexpr Signature kSig{kNumbered[I].name, kNames, 1};
  PyObject* argv[1] = {};
  parse_args(kSig, args, nargs, kwnames, argv);
  const std::uint64_t n = u64_arg("n", argv[0]);
  return new_boxed(types().port_state_numeric.get(), kNumbered[I].make(n)).release();
}

constexpr int kStatic = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

PyMethodDef port_state_methods[] = {
    {"empty", fastcall_kw<plain_state<0>>(), kStatic, PyDoc_STR("empty()\n--\n\n")},
    {"full", fastcall_kw<plain_state<1>>(), kStatic, PyDoc_STR("full()\n--\n\n")},
    {"non_empty", fastcall_kw<plain_state<2>>(), kStatic, PyDoc_STR("non_empty()\n--\n\n")},
    {"non_full", fastcall_kw<plain_state<3>>(), kStatic, PyDoc_STR("non_full()\n--\n\n")},
    {"equals", fastcall_kw<numbered_state<0>>(), kStatic, PyDoc_STR("equals(n)\n--\n\n")},
    {"less_than", fastcall_kw<numbered_state<1>>(), kStatic, PyDoc_STR("less_than(n)\n--\n\n")},
    {"greater_than", fastcall_kw<numbered_state<2>>(), kStatic,
     PyDoc_STR("greater_than(n)\n--\n\n")},
    {"equals_or_less_than", fastcall_kw<numbered_state<3>>(), kStatic,
     PyDoc_STR("equals_or_less_than(n)\n--\n\n")},
    {"equals_or_greater_than", fastcall_kw<numbered_state<4>>(), kStatic,
     PyDoc_STR("equals_or_greater_than(n)\n--\n\n")},
    {nullptr, nullptr, 0, nullptr},
};

const EnumClassSpec kSpec{"PortState", port_state_doc, kMembers, port_state_methods};

const vornix::PortState& value_of(PyObject* self) { return boxed_value<vornix::PortState>(self); }

PyObject* get_kind(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::PortState>(self).borrow);
  return to_py_str(kind_of(value_of(self))).release();
}

PyObject* get_value(PyObject* self, void*) {
  SharedBorrow hold(as_boxed<vornix::PortState>(self).borrow);
  return PyLong_FromUnsignedLongLong(number_of(value_of(self)).value_or(0));
}

PyObject* numeric_repr(PyObject* self) {
  SharedBorrow hold(as_boxed<vornix::PortState>(self).borrow);
  const vornix::PortState& s = value_of(self);
  return to_py_str(std::string("PortState.") + kind_of(s) + "(" +
                   std::to_string(number_of(s).value_or(0)) + ")")
      .release();
}

// Rebuilt by the static method named like its kind: PortState.less_than(3).
PyObject* numeric_reduce(PyObject* self, PyObject*) {
  const vornix::PortState& s = value_of(self);
  Ref n = check(PyLong_FromUnsignedLongLong(number_of(s).value_or(0)));
  Ref args = check(PyTuple_Pack(1, n.get()));
  return reduce_to_factory(types().port_state.get(), kind_of(s), std::move(args)).release();
}

PyMethodDef numeric_methods[] = {
    reduce_method<numeric_reduce>(),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef numeric_getset[] = {
    {"kind", guarded<get_kind>, nullptr, nullptr, nullptr},
    {"value", guarded<get_value>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

Ref make_port_state_class() { return make_enum_class(kSpec); }

Ref make_port_state_numeric_class() {
  PyType_Slot slots[] = {
      slot(Py_tp_doc, port_state_numeric_doc),
      slot(Py_tp_new, refuse_new),
      slot(Py_tp_dealloc, boxed_dealloc<vornix::PortState>),
      slot(Py_tp_repr, guarded<numeric_repr>),
      slot(Py_tp_getset, numeric_getset),
      slot(Py_tp_methods, numeric_methods),
      {0, nullptr},
  };
  PyType_Spec spec = {
      .name = "PortStateNumeric",
      .basicsize = static_cast<int>(sizeof(PortStateObject)),
      .itemsize = 0,
      .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
      .slots = slots,
  };
  return make_class(spec);
}

vornix::PortState port_state_from_python(PyObject* obj) {
  PyObject* plain = types().port_state.get();
  if (is_enum_instance(plain, obj)) {
    switch (enum_number(obj)) {
      case 0: return vornix::PortState::empty();
      case 1: return vornix::PortState::full();
      case 2: return vornix::PortState::non_empty();
      default: return vornix::PortState::non_full();
    }
  }
  if (const auto* numeric =
          exact_or_null<vornix::PortState>(types().port_state_numeric.get(), obj)) {
    return *numeric;
  }
  raise_type_error("Expected PortState or PortStateNumeric");
}

Ref port_state_to_python(const vornix::PortState& state) {
  if (number_of(state)) return new_boxed(types().port_state_numeric.get(), state);
  return enum_value(types().port_state.get(), static_cast<std::int64_t>(state.value.index()));
}

}  // namespace vornix::py
