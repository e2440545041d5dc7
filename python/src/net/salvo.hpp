// Salvo and OrphanedPacketInfo: borrow-checked record classes whose packet
// identifiers are stored as text (net/record_values.hpp).
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
Ref orphan_to_python(const OrphanValue& orphan);

// A copy of the value of a Salvo argument; TypeError
// "argument '{name}': expected Salvo, got {type}" for any other object.
SalvoValue salvo_arg(std::string_view name, PyObject* obj);

}  // namespace vornix::py
