// PacketCount (enumeration: All) and PacketCountN (at most n packets): how
// many packets a salvo takes from one port.
#pragma once

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

Ref make_packet_count_class();
Ref make_packet_count_n_class();

// PacketCount.All or a PacketCountN; TypeError
// "Expected PacketCount or PacketCountN" otherwise.
vornix::PacketCount packet_count_from_python(PyObject* obj);
// A new PacketCount.All instance or a new PacketCountN.
Ref packet_count_to_python(const vornix::PacketCount& count);

}  // namespace vornix::py
