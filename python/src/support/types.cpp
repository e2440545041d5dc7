#include "support/types.hpp"

#include "support/errors.hpp"

namespace vornix::py {

Ref interned(const char* name) { return check(PyUnicode_InternFromString(name)); }

void make_interned_strings() {
  InternedStrings& s = types().strings;
  s.ulid = interned("ulid");
  s.ULID = interned("ULID");
  s.from_str = interned("from_str");
  s.events = interned("events");
}

}  // namespace vornix::py
