#include "graph/elements.hpp"

#include <bit>
#include <cstring>

#include "base/result.hpp"
#include "base/text.hpp"

namespace vornix {

std::string_view short_form(PortType t) { return t == PortType::Input ? "in" : "out"; }

std::string_view diagnostic(PortType t) { return t == PortType::Input ? "Input" : "Output"; }

std::string to_text(const PortRef& p) {
  std::string out;
  out.reserve(p.node_name.size() + p.port_name.size() + 5);
  out.append(p.node_name).append(".").append(short_form(p.port_type)).append(".");
  out.append(p.port_name);
  return out;
}

std::string to_text(const Edge& e) { return to_text(e.source) + " -> " + to_text(e.target); }

std::string debug_form(const PortRef& p) {
  return "PortRef { node_name: " + quoted_form(p.node_name) +
         ", port_type: " + std::string(diagnostic(p.port_type)) +
         ", port_name: " + quoted_form(p.port_name) + " }";
}

std::string debug_form(const Edge& e) {
  return "Edge { source: " + debug_form(e.source) + ", target: " + debug_form(e.target) + " }";
}

namespace {

std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct SipState {
  std::uint64_t v0 = 0x736f6d6570736575ULL;
  std::uint64_t v1 = 0x646f72616e646f6dULL;
  std::uint64_t v2 = 0x6c7967656e657261ULL;
  std::uint64_t v3 = 0x7465646279746573ULL;

  void round() {
    v0 += v1;
    v1 = rotl(v1, 13);
    v1 ^= v0;
    v0 = rotl(v0, 32);
    v2 += v3;
    v3 = rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = rotl(v1, 17);
    v1 ^= v2;
    v2 = rotl(v2, 32);
  }
  void compress(std::uint64_t m) {
    v3 ^= m;
    round();
    v0 ^= m;
  }
};

std::uint64_t load_le64(const unsigned char* p) {
  std::uint64_t m = 0;
  for (int i = 7; i >= 0; --i) m = (m << 8) | p[i];
  return m;
}

void append_u64_le(std::string& s, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void append_str(std::string& s, std::string_view v) {
  s.append(v);
  s.push_back(static_cast<char>(0xFF));
}

void append_port_ref(std::string& s, const PortRef& p) {
  append_str(s, p.node_name);
  append_u64_le(s, static_cast<std::uint64_t>(p.port_type));
  append_str(s, p.port_name);
}

}  // namespace

std::uint64_t siphash13(std::string_view bytes) {
  // Key is all zero bits, so k0 = k1 = 0 and the initial xors are no-ops.
  SipState st;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t len = bytes.size();
  const std::size_t full = len - len % 8;
  for (std::size_t i = 0; i < full; i += 8) st.compress(load_le64(data + i));
  std::uint64_t last = static_cast<std::uint64_t>(len & 0xFF) << 56;
  for (std::size_t i = full; i < len; ++i) {
    last |= static_cast<std::uint64_t>(data[i]) << (8 * (i - full));
  }
  st.compress(last);
  st.v2 ^= 0xFF;
  st.round();
  st.round();
  st.round();
  return st.v0 ^ st.v1 ^ st.v2 ^ st.v3;
}

std::uint64_t stable_hash(PortType t) {
  std::string s;
  append_u64_le(s, static_cast<std::uint64_t>(t));
  return siphash13(s);
}

std::uint64_t stable_hash(const PortRef& p) {
  std::string s;
  append_port_ref(s, p);
  return siphash13(s);
}

std::uint64_t stable_hash(const Edge& e) {
  std::string s;
  append_port_ref(s, e.source);
  append_port_ref(s, e.target);
  return siphash13(s);
}

std::optional<std::uint64_t> PortSlotSpec::capacity() const {
  if (const auto* f = std::get_if<Finite>(&value)) return f->n;
  return std::nullopt;
}

std::string diagnostic(const PortState& s) {
  auto numbered = [](const char* name, std::uint64_t n) {
    return std::string(name) + "(" + std::to_string(n) + ")";
  };
  return std::visit(
      Overloaded{
          [](const PortState::Empty&) { return std::string("Empty"); },
          [](const PortState::Full&) { return std::string("Full"); },
          [](const PortState::NonEmpty&) { return std::string("NonEmpty"); },
          [](const PortState::NonFull&) { return std::string("NonFull"); },
          [&](const PortState::Equals& v) { return numbered("Equals", v.n); },
          [&](const PortState::LessThan& v) { return numbered("LessThan", v.n); },
          [&](const PortState::GreaterThan& v) { return numbered("GreaterThan", v.n); },
          [&](const PortState::EqualsOrLessThan& v) { return numbered("EqualsOrLessThan", v.n); },
          [&](const PortState::EqualsOrGreaterThan& v) {
            return numbered("EqualsOrGreaterThan", v.n);
          },
      },
      s.value);
}

std::string diagnostic(const MaxSalvos& m) {
  if (const auto* f = std::get_if<MaxSalvos::Finite>(&m.value)) {
    return "Finite(" + std::to_string(f->n) + ")";
  }
  return "Infinite";
}

bool SalvoConditionTerm::And::operator==(const And& o) const { return terms == o.terms; }
bool SalvoConditionTerm::Or::operator==(const Or& o) const { return terms == o.terms; }
bool SalvoConditionTerm::Not::operator==(const Not& o) const { return inner == o.inner; }

bool DependencyRequestConfig::has_trigger(DependencyRequestTrigger t) const {
  for (DependencyRequestTrigger x : triggers) {
    if (x == t) return true;
  }
  return false;
}

}  // namespace vornix
