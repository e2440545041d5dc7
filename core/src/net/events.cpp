#include "net/events.hpp"

#include "base/result.hpp"

namespace vornix {

std::string_view to_string(RequestCreatedSource s) {
  switch (s) {
    case RequestCreatedSource::External: return "External";
    case RequestCreatedSource::OnStartup: return "OnStartup";
    case RequestCreatedSource::OnNoSalvoTriggered: return "OnNoSalvoTriggered";
  }
  // Only a cast can produce another value; the binding hands the text on, so
  // say plainly that it is not one of ours.
  return "Unknown";
}

std::string_view NetEvent::kind_name() const {
  using std::string_view;
  return std::visit(
      Overloaded{
          [](const PacketCreated&) { return string_view("PacketCreated"); },
          [](const PacketConsumed&) { return string_view("PacketConsumed"); },
          [](const PacketDestroyed&) { return string_view("PacketDestroyed"); },
          [](const EpochCreated&) { return string_view("EpochCreated"); },
          [](const EpochStarted&) { return string_view("EpochStarted"); },
          [](const EpochFinished&) { return string_view("EpochFinished"); },
          [](const EpochCancelled&) { return string_view("EpochCancelled"); },
          [](const PacketMoved&) { return string_view("PacketMoved"); },
          [](const InputSalvoTriggered&) { return string_view("InputSalvoTriggered"); },
          [](const OutputSalvoTriggered&) { return string_view("OutputSalvoTriggered"); },
          [](const PacketOrphaned&) { return string_view("PacketOrphaned"); },
          [](const RequestCreated&) { return string_view("RequestCreated"); },
          [](const RequestCascadeResolved&) { return string_view("RequestCascadeResolved"); },
          [](const RequestEpochCreated&) { return string_view("RequestEpochCreated"); },
      },
      value);
}

}  // namespace vornix
