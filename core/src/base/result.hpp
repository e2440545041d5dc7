// Result<T, E>: a value or an error, the engine's way of reporting refusals.
//
// A small stand-in for std::expected (not in this standard library) with the
// same core members, so switching later is a one-line alias.
#pragma once

#include <utility>
#include <variant>

namespace vornix {

template <class E>
struct Unexpected {
  E error;
};
template <class E>
Unexpected(E) -> Unexpected<E>;

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  template <class G>
  Result(Unexpected<G> u) : v_(std::in_place_index<1>, std::move(u.error)) {}  // NOLINT

  bool has_value() const noexcept { return v_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  E& error() & { return std::get<1>(v_); }
  const E& error() const& { return std::get<1>(v_); }
  E&& error() && { return std::get<1>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::variant<T, E> v_;
};

// Result with no value: success or an error.
template <class E>
class [[nodiscard]] Status {
 public:
  Status() = default;
  template <class G>
  Status(Unexpected<G> u) : error_(std::move(u.error)), failed_(true) {}  // NOLINT
  bool has_value() const noexcept { return !failed_; }
  explicit operator bool() const noexcept { return !failed_; }
  const E& error() const& { return error_; }
  E&& error() && { return std::move(error_); }

 private:
  E error_{};
  bool failed_ = false;
};

// Visitor helper for std::visit over an overload set.
template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace vornix
