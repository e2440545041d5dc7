// Packet: a borrow-checked snapshot of one packet, its identifier stored as
// text. Only the binding makes them (packet_to_python in net/conversions.hpp).
#pragma once

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_packet_class();

}  // namespace vornix::py
