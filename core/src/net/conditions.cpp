// A node's salvo conditions compiled to port indices, and their evaluation.
#include <string_view>

#include "base/result.hpp"
#include "net/state.hpp"

namespace vornix {

namespace {

using TermOp = CompiledCondition::Op;
using Index = CompiledCondition::Port;

// Appends `term` in prefix order. A chain of Nots becomes the flag of the
// term under it, so a long chain costs one op, as it costs the term's own
// evaluator one loop.
template <class Resolve>
void compile(const SalvoConditionTerm& term, std::vector<TermOp>& ops, Resolve resolve) {
  using T = SalvoConditionTerm;
  bool negate = false;
  const T* t = &term;
  while (const auto* n = std::get_if<T::Not>(&t->value)) {
    negate = !negate;
    t = &*n->inner;
  }
  const std::size_t at = ops.size();
  ops.push_back(TermOp{});
  TermOp op;
  op.negate = negate;
  if (std::holds_alternative<T::True>(t->value)) {
    op.kind = TermOp::Kind::True;
  } else if (std::holds_alternative<T::False>(t->value)) {
    op.kind = TermOp::Kind::False;
  } else if (const auto* leaf = std::get_if<T::Port>(&t->value)) {
    op.kind = TermOp::Kind::Port;
    op.port = resolve(leaf->port_name);
    op.state = kind_of(leaf->state);
    op.n = number_of(leaf->state);
  } else if (const auto* all = std::get_if<T::And>(&t->value)) {
    op.kind = TermOp::Kind::And;
    for (const T& sub : all->terms) compile(sub, ops, resolve);
  } else if (const auto* any = std::get_if<T::Or>(&t->value)) {
    op.kind = TermOp::Kind::Or;
    for (const T& sub : any->terms) compile(sub, ops, resolve);
  }
  op.end = static_cast<std::uint32_t>(ops.size());
  ops[at] = op;
}

template <class Resolve>
std::vector<CompiledCondition> compile_all(const OrderedMap<SalvoCondition>& conditions,
                                           Resolve resolve) {
  std::vector<CompiledCondition> out;
  out.reserve(conditions.size());
  for (const auto& [name, condition] : conditions) {
    CompiledCondition& c = out.emplace_back();
    compile(condition.term, c.term, resolve);
    for (const auto& [port, count] : condition.ports) c.ports.emplace_back(resolve(port), count);
  }
  return out;
}

// `count(port)` gives a port's packets and `capacity(port)` its bound
// (kNoBound for none); both take kNoPort.
template <class Count, class Capacity>
bool port_holds(const TermOp& op, Count count, Capacity capacity) {
  return state_holds(op.state, op.n, count(op.port), [&]() -> std::optional<std::uint64_t> {
    const std::uint64_t cap = capacity(op.port);
    if (cap == CompiledCondition::kNoBound) return std::nullopt;
    return cap;
  });
}

// Evaluates the op at `i` and moves `i` past its subterms.
template <class Count, class Capacity>
[[gnu::noinline]] bool holds(const std::vector<TermOp>& ops, std::size_t& i, Count count,
                             Capacity capacity) {
  const TermOp& op = ops[i];
  bool result = true;
  switch (op.kind) {
    case TermOp::Kind::True: break;
    case TermOp::Kind::False: result = false; break;
    case TermOp::Kind::Port: result = port_holds(op, count, capacity); break;
    case TermOp::Kind::And:
    case TermOp::Kind::Or: {
      // And stops at the first false subterm, Or at the first true one.
      const bool stop_on = op.kind == TermOp::Kind::Or;
      result = !stop_on;
      for (std::size_t j = i + 1; j < op.end;) {
        if (holds(ops, j, count, capacity) == stop_on) {
          result = stop_on;
          break;
        }
      }
      break;
    }
  }
  i = op.end;
  return result != op.negate;
}

// A term that is one port's state, as most are, is judged here; only an And
// or an Or calls the evaluator, which recurses. The usual judgement then
// makes no call and saves no registers.
template <class Count, class Capacity>
bool term_holds(const std::vector<TermOp>& ops, Count count, Capacity capacity) {
  const TermOp& op = ops.front();  // a compiled term has at least its own op
  if (op.kind == TermOp::Kind::Port) return port_holds(op, count, capacity) != op.negate;
  std::size_t i = 0;
  return holds(ops, i, count, capacity);
}

}  // namespace

const NetSim::NodeConditions& NetSim::compile_conditions(Index node) const {
  if (node_conditions_.empty()) node_conditions_.resize(nodes_.size());
  std::unique_ptr<NodeConditions>& compiled = node_conditions_[node];
  if (!compiled) {
    const Node& n = *nodes_[node].node;
    compiled = std::make_unique<NodeConditions>();
    compiled->in = compile_all(n.in_salvo_conditions,
                               [&](std::string_view p) { return in_port_index(node, p); });
    compiled->out = compile_all(n.out_salvo_conditions,
                                [&](std::string_view p) { return out_port_position(node, p); });
    for (const auto& entry : n.in_salvo_conditions) compiled->in_names.emplace_back(entry.first);
    for (const auto& entry : n.out_salvo_conditions) compiled->out_names.emplace_back(entry.first);
  }
  return *compiled;
}

bool NetSim::input_term_holds(const CompiledCondition& c) const {
  return term_holds(
      c.term,
      [&](Index p) -> std::uint64_t {
        if (p == kNone) return 0;
        const PacketQueue* q = in_ports_[p].queue.get();
        return q != nullptr ? q->size() : 0;
      },
      [&](Index p) { return p == kNone ? kUnbounded : in_ports_[p].capacity; });
}

bool NetSim::output_term_holds(const EpochRec& rec, const CompiledCondition& c) const {
  const Index first = out_begin(rec.node);
  return term_holds(
      c.term, [&](Index p) -> std::uint64_t { return p == kNone ? 0 : rec.out[p].size(); },
      [&](Index p) { return p == kNone ? kUnbounded : out_ports_[first + p].capacity; });
}

}  // namespace vornix
