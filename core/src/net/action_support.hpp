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

// A success with response data D made from `fields`. Each layer is built in
// place: the data (an epoch, often) is copied or moved once, from `fields`
// into its place in the response. The events are taken by reference: a
// list taken by value would be one more list to destroy, and destroying one
// is a call.
template <class D, class... Fields>
NetActionResponse succeed(EventList&& events, Fields&&... fields) {
  using Data = decltype(NetActionResponseData::value);
  using Response = decltype(NetActionResponse::value);
  return NetActionResponse{Response(std::in_place_index<0>, BuiltBy{[&] {
                                      return NetActionResponseData{Data(
                                          std::in_place_type<D>, std::forward<Fields>(fields)...)};
                                    }},
                                    std::move(events))};
}

}  // namespace vornix::action_support
