#include "net/events.hpp"

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

}  // namespace vornix
