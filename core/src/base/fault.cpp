#include "base/fault.hpp"

namespace vornix {

void internal_fault(std::string_view what) { throw InternalError(std::string(what)); }

}  // namespace vornix
