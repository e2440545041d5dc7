// Salvo and OrphanedPacketInfo: borrow-checked record classes. A Salvo holds
// either the caller's text or one salvo of a shared engine epoch
// (net/record_values.hpp).
#pragma once

#include <string>
#include <string_view>

#include "net/record_values.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_salvo_class();
Ref make_orphaned_packet_info_class();

Ref salvo_to_python(const SalvoValue& salvo);
// A Salvo reading `salvo`, which lies inside *epoch, in place.
Ref salvo_to_python(const SharedEpoch& epoch, const vornix::Salvo& salvo);
Ref orphan_to_python(const OrphanValue& orphan);

// A copy of the value of a Salvo argument; TypeError
// "argument '{name}': expected Salvo, got {type}" for any other object.
SalvoValue salvo_arg(std::string_view name, PyObject* obj);

}  // namespace vornix::py
