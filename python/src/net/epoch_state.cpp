#include "net/epoch_state.hpp"

#include <cstdint>

#include "support/args.hpp"
#include "support/enum_class.hpp"
#include "support/types.hpp"

namespace vornix::py {
namespace {

PyDoc_STRVAR(epoch_state_doc, "The lifecycle state of an epoch.");

constexpr const char* kMembers[] = {"Startable", "Running", "Finished"};

const EnumClassSpec kSpec{"EpochState", epoch_state_doc, kMembers};

}  // namespace

Ref make_epoch_state_class() { return make_enum_class(kSpec); }

Ref epoch_state_to_python(vornix::EpochState s) {
  return enum_value(types().epoch_state.get(), static_cast<std::int64_t>(s));
}

vornix::EpochState epoch_state_arg(std::string_view name, PyObject* obj) {
  PyObject* cls = types().epoch_state.get();
  if (!is_enum_instance(cls, obj)) raise_arg_type_error(name, "EpochState", obj);
  return static_cast<vornix::EpochState>(enum_number(obj));
}

}  // namespace vornix::py
