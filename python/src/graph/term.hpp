// SalvoConditionTerm: a boolean expression over port states, built from
// Python only through its static constructors (true_, false_, port, and_,
// or_, not_).
//
// The engine copies, compares, destroys and prints terms recursively, so the
// binding never lets a term grow deeper than kMaxTermDepth levels: building a
// deeper one raises RecursionError. Every term the binding holds was built
// under that bound, which keeps every recursion over it far from the end of
// the C stack.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "graph/elements.hpp"
#include "support/python.hpp"
#include "support/ref.hpp"

namespace vornix::py {

// A leaf (True, False, Port) is one level; And, Or and Not add one level to
// their deepest operand.
inline constexpr std::size_t kMaxTermDepth = 1000;

Ref make_salvo_condition_term_class();

// The engine term inside a SalvoConditionTerm, or null for any other object.
const vornix::SalvoConditionTerm* term_or_null(PyObject* obj) noexcept;
// The engine term of a SalvoConditionTerm argument; TypeError
// "argument '{name}': expected SalvoConditionTerm, got {type}" otherwise.
const vornix::SalvoConditionTerm& term_arg(std::string_view name, PyObject* obj);
// A new SalvoConditionTerm holding `term`.
// REQUIRES: `term` is no deeper than kMaxTermDepth.
Ref term_to_python(vornix::SalvoConditionTerm term);

// Appends the repr of `term`, e.g. SalvoConditionTerm.not_(SalvoConditionTerm.true_()).
void append_term_repr(std::string& out, const vornix::SalvoConditionTerm& term);

}  // namespace vornix::py
