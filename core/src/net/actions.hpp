// NetAction: everything a caller can ask a simulation to do.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "net/location.hpp"
#include "net/records.hpp"
#include "net/ulid.hpp"

namespace vornix {

struct NetAction {
  struct RunStep {};
  struct CreatePacket {
    std::optional<Ulid> epoch_id;
  };
  struct ConsumePacket {
    Ulid packet_id;
  };
  struct DestroyPacket {
    Ulid packet_id;
  };
  struct StartEpoch {
    Ulid epoch_id;
  };
  struct FinishEpoch {
    Ulid epoch_id;
  };
  struct CancelEpoch {
    Ulid epoch_id;
  };
  struct CreateEpoch {
    std::string node_name;
    Salvo salvo;
  };
  struct LoadPacketIntoOutputPort {
    Ulid packet_id;
    std::string port_name;
  };
  struct SendOutputSalvo {
    Ulid epoch_id;
    std::string salvo_condition_name;
  };
  struct TransportPacketToLocation {
    Ulid packet_id;
    PacketLocation destination;
  };
  struct CreateRequest {
    std::string node_name;
    std::string label;
  };

  std::variant<RunStep, CreatePacket, ConsumePacket, DestroyPacket, StartEpoch, FinishEpoch,
               CancelEpoch, CreateEpoch, LoadPacketIntoOutputPort, SendOutputSalvo,
               TransportPacketToLocation, CreateRequest>
      value;
};

}  // namespace vornix
