// Shared<T>: an immutable value held by reference count.
//
// Copying one costs a count increment, never a copy of the value: locations
// carry names and edges into every event, and the engine hands out the same
// few values over and over. The value never changes once made, so sharing it
// is invisible to holders. A default Shared holds T's default value without
// allocating. Counts are atomic: copies may be dropped on different threads.
//
//   Name a = std::string("in");   // one allocation
//   Name b = a;                   // no allocation
//   std::string_view v = b;       // "in"
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace vornix {

template <class T>
class Shared {
 public:
  Shared() noexcept = default;
  // From anything T is made from (a T, a string literal for a name, ...).
  template <class U>
  requires(!std::is_same_v<std::remove_cvref_t<U>, Shared> && std::is_constructible_v<T, U&&>)
      Shared(U&& value)
      : block_(new Block(std::forward<U>(value))) {}
  Shared(const Shared& other) noexcept : block_(other.block_) {
    if (block_ != nullptr) block_->refs.fetch_add(1, std::memory_order_relaxed);
  }
  Shared(Shared&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  Shared& operator=(Shared other) noexcept {
    std::swap(block_, other.block_);
    return *this;
  }
  ~Shared() {
    if (block_ != nullptr && block_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
      delete block_;
  }

  const T& get() const { return block_ != nullptr ? block_->value : empty(); }
  operator const T&() const { return get(); }
  operator std::string_view() const requires std::is_same_v<T, std::string> { return get(); }
  const T& operator*() const { return get(); }
  const T* operator->() const { return &get(); }
  // Whether a value was given (a default Shared holds none of its own).
  bool made() const { return block_ != nullptr; }
  // Where the value is held; null for a default Shared. Copies of one value
  // share it, so while a holder keeps the block alive (no other value can
  // then be given its address) equal identities mean the same value.
  const void* identity() const { return block_; }

  friend bool operator==(const Shared& a, const Shared& b) {
    return a.block_ == b.block_ || a.get() == b.get();
  }
  // A name against plain text, without making a Shared of the text.
  template <class U>
  friend bool operator==(const Shared& a, const U& text) requires(
      std::is_same_v<T, std::string> && !std::is_same_v<U, Shared> &&
      std::is_convertible_v<const U&, std::string_view>) {
    return std::string_view(a.get()) == std::string_view(text);
  }

 private:
  struct Block {
    template <class U>
    explicit Block(U&& v) : value(std::forward<U>(v)) {}
    std::atomic<std::size_t> refs{1};
    const T value;
  };
  static const T& empty() {
    static const T value{};
    return value;
  }

  Block* block_ = nullptr;
};

// A name (node, port) as locations carry it.
using Name = Shared<std::string>;

}  // namespace vornix
