// Conversions between the engine's simulation values and their Python classes
// (PacketLocation, Packet, Salvo, OrphanedPacketInfo, Epoch, NetAction,
// NetEvent, NetActionResponseData). Every function throws PyErrorAlreadySet
// with the Python error set on failure; results are new objects holding copies.
#pragma once

#include <string_view>
#include <vector>

#include "net/actions.hpp"
#include "net/events.hpp"
#include "net/location.hpp"
#include "net/records.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// A new PacketLocation holding a copy of `location`.
Ref location_to_python(const vornix::PacketLocation& location);
// The engine location of a PacketLocation argument (a copy); TypeError
// "argument '{name}': ..." for any other object.
vornix::PacketLocation location_arg(std::string_view name, PyObject* obj);

// A new Packet: id as its 26-character text, location copied.
Ref packet_to_python(const vornix::Packet& packet);
// A new Epoch holding a copy of `epoch`.
Ref epoch_to_python(const vornix::Epoch& epoch);

// The engine action of a NetAction argument. Stored identifier texts are
// parsed here (ValueError "Invalid ULID: ..."); TypeError
// "argument '{name}': ..." for any other object.
vornix::NetAction action_arg(std::string_view name, PyObject* obj);

// A new NetEvent of the same kind and fields.
Ref event_to_python(const vornix::NetEvent& event);
// A new list of NetEvent objects, in order.
Ref events_to_python(const vornix::EventList& events);
// The same, moving the events into the new objects.
Ref events_to_python(vornix::EventList&& events);
// The engine event a NetEvent object holds (a copy). Any other object:
// TypeError saying its type cannot be converted to "NetEvent" (no argument
// prefix).
vornix::NetEvent event_from_python(PyObject* obj);

// The instance of the matching NetActionResponseData variant class; the
// epoch it carries is moved into it.
Ref response_data_to_python(vornix::NetActionResponseData&& data);

}  // namespace vornix::py
