// NetActionResponseData: what a successful action returned.
//
// A base class without constructor and seven frozen variant classes derived
// from it, reachable only as its class attributes (NetActionResponseData.Packet
// is the class NetActionResponseData_Packet, ...). All share one object
// layout; each variant class reads only its own alternative.
// response_data_to_python (net/conversions.hpp) picks the class.
#pragma once

#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// Makes the base class together with its seven variant classes.
Ref make_net_action_response_data_class();

}  // namespace vornix::py
