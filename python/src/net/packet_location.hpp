// PacketLocation: where a packet is, holding the engine's location directly
// (its epoch identifiers as 128-bit values, not text). Borrow-checked.
//
// location_to_python / location_arg (net/conversions.hpp) cross the boundary;
// the helpers here serve the other simulation classes.
#pragma once

#include <string>

#include "net/location.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_packet_location_class();

// The text repr() gives, e.g. PacketLocation.input_port("B", "in"); other
// classes embed it in their own representations.
std::string location_repr(const vornix::PacketLocation& location);

}  // namespace vornix::py
