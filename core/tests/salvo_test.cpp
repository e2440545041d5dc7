#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

#include "graph/salvo.hpp"

namespace vornix {
namespace {

using T = SalvoConditionTerm;
using NameSet = std::unordered_set<std::string, StringHash, std::equal_to<>>;

PortMap ports_with(const char* name, PortSlotSpec spec) {
  PortMap ports;
  ports.emplace(name, Port{spec});
  return ports;
}

TEST(EvaluateSalvoCondition, ConstantsAndEmptyLists) {
  struct Case {
    const char* label;
    T term;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"True", T::true_(), true},
      {"False", T::false_(), false},
      {"And([])", T::and_({}), true},
      {"Or([])", T::or_({}), false},
      {"Not(And([]))", T::not_(T::and_({})), false},
      {"Not(Or([]))", T::not_(T::or_({})), true},
      {"Not(Not(True))", T::not_(T::not_(T::true_())), true},
      {"And(True, False)", T::and_({T::true_(), T::false_()}), false},
      {"Or(False, True)", T::or_({T::false_(), T::true_()}), true},
      {"Or(False, False)", T::or_({T::false_(), T::false_()}), false},
      {"Not inside And", T::and_({T::true_(), T::not_(T::false_())}), true},
      {"Not inside Or", T::or_({T::false_(), T::not_(T::true_())}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(evaluate_salvo_condition(c.term, {}, {}), c.expected);
  }
}

TEST(EvaluateSalvoCondition, PortStatesAgainstCapacities) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    const char* label;
    PortSlotSpec spec;
    bool declared;
    std::uint64_t count;
    bool has_count;  // false: "in" has no entry in the counts at all
    PortState state;
    bool expected;
  };
  const PortSlotSpec inf = PortSlotSpec::infinite();
  const PortSlotSpec two = PortSlotSpec::finite(2);
  const PortSlotSpec zero = PortSlotSpec::finite(0);
  const std::vector<Case> cases = {
      {"Empty, no count entry", inf, true, 0, false, PortState::empty(), true},
      {"NonEmpty, no count entry", inf, true, 0, false, PortState::non_empty(), false},
      {"Empty, one packet", inf, true, 1, true, PortState::empty(), false},
      {"Full, infinite, huge count", inf, true, kMax, true, PortState::full(), false},
      {"NonFull, infinite, huge count", inf, true, kMax, true, PortState::non_full(), true},
      {"Full, undeclared", two, false, 5, true, PortState::full(), false},
      {"NonFull, undeclared", two, false, 5, true, PortState::non_full(), true},
      {"Full, 2 of 2", two, true, 2, true, PortState::full(), true},
      {"NonFull, 2 of 2", two, true, 2, true, PortState::non_full(), false},
      {"Equals(2), 2 of 2", two, true, 2, true, PortState::equals(2), true},
      {"GreaterThan(2), 2 of 2", two, true, 2, true, PortState::greater_than(2), false},
      {"EqualsOrGreaterThan(2), 2 of 2", two, true, 2, true, PortState::equals_or_greater_than(2),
       true},
      {"LessThan(2), 2 of 2", two, true, 2, true, PortState::less_than(2), false},
      {"EqualsOrLessThan(2), 2 of 2", two, true, 2, true, PortState::equals_or_less_than(2), true},
      {"Full, 1 of 2", two, true, 1, true, PortState::full(), false},
      {"NonFull, 1 of 2", two, true, 1, true, PortState::non_full(), true},
      {"Full, over capacity", two, true, 3, true, PortState::full(), true},
      {"NonFull, over capacity", two, true, 3, true, PortState::non_full(), false},
      {"Full, Finite(0) empty", zero, true, 0, false, PortState::full(), true},
      {"NonFull, Finite(0) empty", zero, true, 0, false, PortState::non_full(), false},
      {"Equals(0), undeclared and uncounted", inf, false, 0, false, PortState::equals(0), true},
      {"GreaterThan(0), undeclared and uncounted", inf, false, 0, false, PortState::greater_than(0),
       false},
      {"LessThan(0) never holds", inf, true, 0, true, PortState::less_than(0), false},
      {"LessThan(max), max-1", inf, true, kMax - 1, true, PortState::less_than(kMax), true},
      {"EqualsOrGreaterThan(max), max", inf, true, kMax, true,
       PortState::equals_or_greater_than(kMax), true},
      {"Full, Finite(max), max", PortSlotSpec::finite(kMax), true, kMax, true, PortState::full(),
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    PacketCounts counts;
    counts.emplace("other", 7);  // a neighbour's count must not leak into "in"
    if (c.has_count) counts.emplace("in", c.count);
    const PortMap ports = c.declared ? ports_with("in", c.spec) : ports_with("other", c.spec);
    EXPECT_EQ(evaluate_salvo_condition(T::port("in", c.state), counts, ports), c.expected);
  }
}

TEST(EvaluateSalvoCondition, CombinesPortLeaves) {
  PacketCounts counts{{"a", 1}, {"b", 0}};
  PortMap ports = ports_with("a", PortSlotSpec::finite(1));
  const T a_full = T::port("a", PortState::full());
  const T b_empty = T::port("b", PortState::empty());
  const T b_nonempty = T::port("b", PortState::non_empty());
  EXPECT_TRUE(evaluate_salvo_condition(T::and_({a_full, b_empty}), counts, ports));
  EXPECT_FALSE(evaluate_salvo_condition(T::and_({a_full, b_nonempty}), counts, ports));
  EXPECT_TRUE(evaluate_salvo_condition(T::or_({b_nonempty, a_full}), counts, ports));
  EXPECT_FALSE(evaluate_salvo_condition(T::not_(T::or_({b_nonempty, a_full})), counts, ports));
}

TEST(EvaluateSalvoCondition, LongNotChainsResolveByParity) {
  for (int depth : {1000, 1001}) {
    SCOPED_TRACE(depth);
    T term = T::port("in", PortState::empty());
    for (int i = 0; i < depth; ++i) term = T::not_(std::move(term));
    const bool even = depth % 2 == 0;
    EXPECT_EQ(evaluate_salvo_condition(term, {}, {}), even);
    EXPECT_EQ(evaluate_salvo_condition(term, {{"in", 1}}, {}), !even);
  }
}

TEST(CollectPortsFromTerm, AddsEachMentionedPortOnce) {
  const T term = T::or_({T::port("a", PortState::empty()), T::not_(T::port("b", PortState::full())),
                         T::and_({T::port("a", PortState::non_empty())})});
  NameSet names{"b", "z"};
  collect_ports_from_term(term, names);
  EXPECT_EQ(names, (NameSet{"a", "b", "z"}));
}

TEST(CollectPortsFromTerm, ConstantsAndDeepNotsAddNothingExtra) {
  NameSet names;
  collect_ports_from_term(T::and_({T::true_(), T::or_({T::false_()})}), names);
  EXPECT_TRUE(names.empty());
  T deep = T::port("deep", PortState::empty());
  for (int i = 0; i < 1000; ++i) deep = T::not_(std::move(deep));
  collect_ports_from_term(deep, names);
  EXPECT_EQ(names, (NameSet{"deep"}));
}

}  // namespace
}  // namespace vornix
