#include "graph/max_salvos.hpp"

#include <string>
#include <variant>

#include "graph/count_value.hpp"
#include "support/args.hpp"
#include "support/enum_class.hpp"
#include "support/errors.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

PyDoc_STRVAR(max_salvos_doc,
             "Specifies the maximum number of times a salvo condition can trigger.");
PyDoc_STRVAR(max_salvos_finite_doc, "Finite max salvos with a specific limit.");
PyDoc_STRVAR(infinite_doc, "infinite()\n--\n\nNo limit on triggers.");
PyDoc_STRVAR(finite_doc, "finite(n)\n--\n\nFinite limit on triggers.");

constexpr const char* kMembers[] = {"Infinite"};
constexpr std::int64_t kInfinite = 0;

constexpr char kInfiniteName[] = "infinite";
constexpr char kFiniteName[] = "finite";

PyMethodDef max_salvos_methods[] = {
    {"infinite",
     fastcall_kw<member_constructor<kInfiniteName, &ClassRegistry::max_salvos, kInfinite>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, infinite_doc},
    {"finite", fastcall_kw<count_constructor<kFiniteName, &ClassRegistry::max_salvos_finite>>(),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC, finite_doc},
    {nullptr, nullptr, 0, nullptr},
};

const EnumClassSpec kSpec{"MaxSalvos", max_salvos_doc, kMembers, max_salvos_methods};

constexpr CountClass kFinite{"MaxSalvosFinite",  max_salvos_finite_doc,      "max",
                             "MaxSalvos.finite", &ClassRegistry::max_salvos, "finite"};

}  // namespace

Ref make_max_salvos_class() { return make_enum_class(kSpec); }
Ref make_max_salvos_finite_class() { return make_count_class<kFinite>(); }

vornix::MaxSalvos max_salvos_from_python(PyObject* obj) {
  if (is_enum_instance(types().max_salvos.get(), obj)) return vornix::MaxSalvos::infinite();
  if (auto n = count_of(types().max_salvos_finite.get(), obj)) return vornix::MaxSalvos::finite(*n);
  raise_type_error("Expected MaxSalvos or MaxSalvosFinite");
}

Ref max_salvos_to_python(const vornix::MaxSalvos& max) {
  if (const auto* f = std::get_if<vornix::MaxSalvos::Finite>(&max.value)) {
    return new_count(types().max_salvos_finite.get(), f->n);
  }
  return enum_value(types().max_salvos.get(), kInfinite);
}

std::string max_salvos_repr(const vornix::MaxSalvos& max) {
  if (const auto* f = std::get_if<vornix::MaxSalvos::Finite>(&max.value)) {
    return "MaxSalvos.finite(" + std::to_string(f->n) + ")";
  }
  return "MaxSalvos.Infinite";
}

}  // namespace vornix::py
