// Internal faults: the one exception type of the engine.
//
// A broken invariant, or a condition the engine treats as unrecoverable (a
// duplicate node name while building a graph, a simulation over an invalid
// graph), ends the current call by throwing InternalError with a fixed text.
// Expected refusals (bad actions, failed undos) are returned values instead and
// never throw. The Python binding turns InternalError into its
// BaseException-derived fault.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace vornix {

class InternalError : public std::logic_error {
 public:
  explicit InternalError(const std::string& what) : std::logic_error(what), message_(what) {}
  // The whole text: what() is a C string and ends at the first NUL, which a
  // name quoted into the message may contain.
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Throws InternalError whose what() is exactly `what`.
[[noreturn]] void internal_fault(std::string_view what);

}  // namespace vornix
