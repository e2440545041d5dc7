#include "graph/port_slot_spec.hpp"

#include "graph/count_value.hpp"
#include "support/args.hpp"
#include "support/enum_class.hpp"
#include "support/errors.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

PyDoc_STRVAR(port_slot_spec_doc, "Port capacity specification.");
PyDoc_STRVAR(port_slot_spec_finite_doc, "Finite port capacity with a specific limit.");
PyDoc_STRVAR(infinite_doc, "infinite()\n--\n\n");
PyDoc_STRVAR(finite_doc, "finite(n)\n--\n\n");

constexpr const char* kMembers[] = {"Infinite", "Finite"};
constexpr std::int64_t kInfinite = 0;

constexpr char kInfiniteName[] = "infinite";
constexpr char kFiniteName[] = "finite";

PyMethodDef port_slot_spec_methods[] = {
    {"infinite",
     fastcall_kw<member_constructor<kInfiniteName, &ClassRegistry::port_slot_spec, kInfinite>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, infinite_doc},
    {"finite", fastcall_kw<count_constructor<kFiniteName, &ClassRegistry::port_slot_spec_finite>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, finite_doc},
    {nullptr, nullptr, 0, nullptr},
};

const EnumClassSpec kSpec{"PortSlotSpec", port_slot_spec_doc, kMembers, port_slot_spec_methods};

constexpr CountClass kFinite{"PortSlotSpecFinite",  port_slot_spec_finite_doc,      "capacity",
                             "PortSlotSpec.finite", &ClassRegistry::port_slot_spec, "finite"};

}  // namespace

Ref make_port_slot_spec_class() { return make_enum_class(kSpec); }
Ref make_port_slot_spec_finite_class() { return make_count_class<kFinite>(); }

vornix::PortSlotSpec port_slot_spec_from_python(PyObject* obj) {
  if (is_none_or_omitted(obj) || is_enum_instance(types().port_slot_spec.get(), obj)) {
    return vornix::PortSlotSpec::infinite();
  }
  if (auto n = count_of(types().port_slot_spec_finite.get(), obj)) {
    return vornix::PortSlotSpec::finite(*n);
  }
  raise_type_error("Expected PortSlotSpec or PortSlotSpecFinite");
}

Ref port_slot_spec_to_python(const vornix::PortSlotSpec& spec) {
  if (auto n = spec.capacity()) return new_count(types().port_slot_spec_finite.get(), *n);
  return enum_value(types().port_slot_spec.get(), kInfinite);
}

}  // namespace vornix::py
