// Small builders shared by the action implementations (actions.cpp,
// transport.cpp). Internal to the engine.
#pragma once

#include <utility>
#include <vector>

#include "net/errors.hpp"
#include "net/events.hpp"

namespace vornix::action_support {

// A refusal: the error and no events (a refused action changed nothing).
template <class E>
NetActionResponse refuse(E error) {
  return NetActionResponse{NetActionResponse::Error{NetActionError{std::move(error)}, {}}};
}

template <class D>
NetActionResponse succeed(D data, std::vector<NetEvent> events) {
  return NetActionResponse{
      NetActionResponse::Success{NetActionResponseData{std::move(data)}, std::move(events)}};
}

// The capacity check shared by loading and transport: a Finite port holding
// `count` packets or more has no room. An Infinite port always has room.
inline bool port_is_full(const PortSlotSpec& spec, std::uint64_t count) {
  const std::optional<std::uint64_t> cap = spec.capacity();
  return cap && count >= *cap;
}

}  // namespace vornix::action_support
