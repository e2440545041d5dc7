// Resolving the port names of a node's salvo conditions to port indices.
#include <string_view>

#include "net/state.hpp"

namespace vornix {

namespace {

using Aliases = std::vector<std::pair<const char*, std::uint32_t>>;

template <class Resolve>
void add_alias(Aliases& aliases, std::string_view name, Resolve resolve) {
  aliases.emplace_back(name.data(), resolve(name));
}

template <class Resolve>
void add_term_ports(Aliases& aliases, const SalvoConditionTerm& term, Resolve resolve) {
  using T = SalvoConditionTerm;
  if (const auto* leaf = std::get_if<T::Port>(&term.value)) {
    add_alias(aliases, leaf->port_name, resolve);
  } else if (const auto* all = std::get_if<T::And>(&term.value)) {
    for (const T& t : all->terms) add_term_ports(aliases, t, resolve);
  } else if (const auto* any = std::get_if<T::Or>(&term.value)) {
    for (const T& t : any->terms) add_term_ports(aliases, t, resolve);
  } else if (const auto* inverse = std::get_if<T::Not>(&term.value)) {
    add_term_ports(aliases, *inverse->inner, resolve);
  }
}

template <class Resolve>
Aliases aliases_of(const OrderedMap<SalvoCondition>& conditions, Resolve resolve) {
  Aliases aliases;
  for (const auto& [name, condition] : conditions) {
    for (const auto& [port, count] : condition.ports) add_alias(aliases, port, resolve);
    add_term_ports(aliases, condition.term, resolve);
  }
  return aliases;
}

}  // namespace

const NetSim::ConditionPorts& NetSim::resolve_condition_ports(Index node) const {
  if (condition_ports_.empty()) condition_ports_.resize(nodes_.size());
  std::unique_ptr<ConditionPorts>& ports = condition_ports_[node];
  if (!ports) {
    const Node& n = *nodes_[node].node;
    ports = std::make_unique<ConditionPorts>();
    ports->in = aliases_of(n.in_salvo_conditions,
                           [&](std::string_view p) { return in_port_index(node, p); });
    ports->out = aliases_of(n.out_salvo_conditions,
                            [&](std::string_view p) { return out_port_position(node, p); });
    for (const auto& entry : n.in_salvo_conditions) ports->in_names.emplace_back(entry.first);
    for (const auto& entry : n.out_salvo_conditions) ports->out_names.emplace_back(entry.first);
  }
  return *ports;
}

}  // namespace vornix
