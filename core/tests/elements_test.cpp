#include <gtest/gtest.h>

#include <unordered_set>

#include "base/text.hpp"
#include "graph/elements.hpp"

namespace vornix {
namespace {

PortRef out(std::string node, std::string port) {
  return PortRef{std::move(node), PortType::Output, std::move(port)};
}
PortRef in(std::string node, std::string port) {
  return PortRef{std::move(node), PortType::Input, std::move(port)};
}

TEST(StableHash, MatchesPublishedCheckValues) {
  EXPECT_EQ(static_cast<std::int64_t>(stable_hash(PortType::Input)), -4800647303603446203LL);
  EXPECT_EQ(static_cast<std::int64_t>(stable_hash(PortType::Output)), 2206609067086327257LL);
  EXPECT_EQ(static_cast<std::int64_t>(stable_hash(out("A", "out"))), -7815994787998051459LL);
  EXPECT_EQ(static_cast<std::int64_t>(stable_hash(Edge{out("A", "out"), in("B", "in")})),
            5502099682738426114LL);
}

TEST(PortRefText, RendersShortFormsAndKeepsDots) {
  EXPECT_EQ(to_text(out("A", "x")), "A.out.x");
  EXPECT_EQ(to_text(in("B", "y")), "B.in.y");
  EXPECT_EQ(to_text(out("a.b", "c")), "a.b.out.c");
  EXPECT_EQ(to_text(Edge{out("A", "x"), in("B", "y")}), "A.out.x -> B.in.y");
}

TEST(PortRefText, StructuredFormsQuoteNames) {
  EXPECT_EQ(debug_form(Edge{out("A", "x"), in("B\"", "y")}),
            "Edge { source: PortRef { node_name: \"A\", port_type: Output, port_name: \"x\" }, "
            "target: PortRef { node_name: \"B\\\"\", port_type: Input, port_name: \"y\" } }");
}

TEST(PortRefIdentity, PortTypeAndFieldsDistinguishKeys) {
  std::unordered_set<PortRef> refs{in("A", "x"), out("A", "x"), in("A", "x")};
  EXPECT_EQ(refs.size(), 2u);
  std::unordered_set<Edge> edges{Edge{out("A", "x"), in("B", "y")},
                                 Edge{out("A", "x"), in("D", "z")},
                                 Edge{out("A", "x"), in("B", "y")}};
  EXPECT_EQ(edges.size(), 2u);
}

TEST(Diagnostics, NumberedVariantsShowTheirNumber) {
  EXPECT_EQ(diagnostic(MaxSalvos::finite(1)), "Finite(1)");
  EXPECT_EQ(diagnostic(MaxSalvos::infinite()), "Infinite");
  EXPECT_EQ(diagnostic(PortState::equals_or_greater_than(3)), "EqualsOrGreaterThan(3)");
  EXPECT_EQ(diagnostic(PortState::non_full()), "NonFull");
}

TEST(SalvoConditionTerm, CopiesAreDeepAndCompareByValue) {
  SalvoConditionTerm t = SalvoConditionTerm::not_(SalvoConditionTerm::and_(
      {SalvoConditionTerm::port("a", PortState::empty()), SalvoConditionTerm::true_()}));
  SalvoConditionTerm copy = t;
  EXPECT_EQ(copy, t);
  std::get<SalvoConditionTerm::And>(std::get<SalvoConditionTerm::Not>(copy.value).inner->value)
      .terms.pop_back();
  EXPECT_NE(copy, t);
}

TEST(OrderedMap, KeepsInsertionOrderAndReplacesInPlace) {
  OrderedMap<int> m;
  m.insert_or_assign("b", 1);
  m.insert_or_assign("a", 2);
  m.insert_or_assign("b", 3);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m.begin()->first, "b");
  EXPECT_EQ(m.begin()->second, 3);
  EXPECT_EQ(*m.find("a"), 2);
  EXPECT_EQ(m.find("c"), nullptr);
}

// Below and above the size at which the map starts indexing its entries:
// look-ups, refusal of a repeated key, copies and order-blind equality must
// agree on both sides of it. A shared map's copies hold its block until one
// changes, and the change must not show through the others.
TEST(NameMap, FindsEveryKeyAtEverySizeAndComparesWithoutOrder) {
  const std::pair<int, bool> cases[] = {{1, false}, {8, false}, {9, false}, {40, false},
                                        {1, true},  {9, true},  {40, true}};
  for (const auto& [n, shared] : cases) {
    NameMap<int> m, reversed;
    for (int i = 0; i < n; ++i) {
      EXPECT_TRUE(m.try_emplace("p" + std::to_string(i), i).second);
      reversed.emplace("p" + std::to_string(n - 1 - i), n - 1 - i);
    }
    EXPECT_FALSE(m.try_emplace("p0", 99).second);
    m.insert_or_assign("p0", 0);
    if (shared) m.share();
    NameMap<int> copy = m;
    const NameMap<int> third = copy;
    EXPECT_EQ(copy.same_block(m), shared);
    for (int i = 0; i < n; ++i) {
      const std::string key = "p" + std::to_string(i);
      ASSERT_NE(std::as_const(copy).find(key), std::as_const(copy).end()) << n << " " << key;
      EXPECT_EQ(std::as_const(copy).find(key)->second, i);
      EXPECT_EQ(std::next(std::as_const(m).begin(), i)->first, key);  // insertion order
    }
    EXPECT_FALSE(copy.contains("p" + std::to_string(n)));
    EXPECT_EQ(copy, reversed);
    EXPECT_EQ(copy.same_block(m), shared);  // reading keeps the block shared
    copy.insert_or_assign("p0", -1);
    EXPECT_NE(copy, m);
    EXPECT_EQ(std::as_const(m).find("p0")->second, 0);
    EXPECT_EQ(third, m);
    EXPECT_FALSE(copy.same_block(m));
    EXPECT_EQ(third.same_block(m), shared);
    m.try_emplace("new", 1);  // the last two holders part as well
    EXPECT_FALSE(third.contains("new"));
  }
}

// Inline up to seven bytes, on the heap past that: both forms must read back,
// copy, move and compare alike.
TEST(PackedName, KeepsEveryLengthAcrossCopiesAndMoves) {
  for (const std::string& text : {std::string(), std::string("i"), std::string("seven77"),
                                  std::string("eight888"), std::string(40, 'x')}) {
    const PackedName name(text);
    EXPECT_EQ(name.view(), text);
    PackedName copy = name;
    EXPECT_EQ(copy, name);
    EXPECT_NE(copy.view().data(), name.view().data());
    PackedName moved = std::move(copy);
    EXPECT_EQ(moved.view(), text);
    EXPECT_EQ(copy.view(), "");  // a moved-from name is empty, not freed twice
    copy = moved;
    EXPECT_EQ(copy.view(), text);
    EXPECT_NE(PackedName(text + "!"), name);
  }
}

TEST(Quoted, EscapesQuotesControlsAndCombiningMarks) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"", "\"\""},
      {"plain 'single'", "\"plain 'single'\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"t\tr\rn\n", "\"t\\tr\\rn\\n\""},
      {std::string("z\0z", 3), "\"z\\0z\""},
      {"\x1b", "\"\\u{1b}\""},
      {"\x7f", "\"\\u{7f}\""},
      {"e\xcc\x81", "\"e\\u{301}\""},                                // combining acute accent
      {"\xe2\x80\x8b", "\"\\u{200b}\""},                             // zero width space
      {"caf\xc3\xa9 \xe6\x97\xa5", "\"caf\xc3\xa9 \xe6\x97\xa5\""},  // printable stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(quoted_form(c.in), c.out);
  }
}

}  // namespace
}  // namespace vornix
