// SmallVector<T, N>: a vector that holds its first N elements in place.
//
// Salvos and epochs are copied into every response and event that shows
// them, and nearly all of them hold one or two packets and one output salvo:
// with those in place, such a copy allocates nothing. Past N the elements
// move to the heap like a std::vector's. The members are the std::vector ones
// the engine and the binding use; iterators are plain pointers, invalidated
// as a std::vector's are (a move also invalidates them while inline).
//
//   SmallVector<std::pair<std::string, Ulid>, 2> packets{{"in", id}};
//   packets.emplace_back("in", other);   // still in place, no allocation
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

namespace vornix {

template <class T, std::size_t N>
class SmallVector {
  static_assert(N > 0, "use std::vector for no inline elements");

 public:
  using value_type = T;
  using size_type = std::size_t;
  using iterator = T*;
  using const_iterator = const T*;
  using reference = T&;
  using const_reference = const T&;

  // Written out, not defaulted: a defaulted constructor would make every
  // value-initialized SmallVector (`v{}`, or the packets of a `Salvo{name}`)
  // zero its whole inline room first. An aggregate that holds one is still
  // zeroed whole when value-initialized itself (`Salvo()`): make such values
  // from their fields.
  SmallVector() noexcept {}  // NOLINT(modernize-use-equals-default)
  SmallVector(std::initializer_list<T> items) { append(items.begin(), items.end()); }
  SmallVector(const std::vector<T>& items) { append(items.begin(), items.end()); }
  SmallVector(const SmallVector& other) { append(other.begin(), other.end()); }
  SmallVector(SmallVector&& other) noexcept { take(std::move(other)); }
  SmallVector& operator=(const SmallVector& other) {
    if (this != &other) {
      clear();
      append(other.begin(), other.end());
    }
    return *this;
  }
  SmallVector& operator=(SmallVector&& other) noexcept {
    if (this != &other) {
      clear();
      release();
      take(std::move(other));
    }
    return *this;
  }
  ~SmallVector() {
    clear();
    release();
  }

  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return capacity_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& front() { return data_[0]; }
  const T& front() const { return data_[0]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }

  void reserve(std::size_t n) {
    if (n > capacity_) grow_to(n);
  }
  template <class... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == capacity_) {
      // Built before the move, so an argument referring into this vector
      // stays valid.
      T value(std::forward<Args>(args)...);
      grow_to(capacity_ * 2);
      return *std::construct_at(data_ + size_++, std::move(value));
    }
    return *std::construct_at(data_ + size_++, std::forward<Args>(args)...);
  }
  void push_back(const T& value) { emplace_back(value); }
  void push_back(T&& value) { emplace_back(std::move(value)); }
  void pop_back() { std::destroy_at(data_ + --size_); }
  void clear() {
    std::destroy(begin(), end());
    size_ = 0;
  }

  friend bool operator==(const SmallVector& a, const SmallVector& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  T* inline_data() { return reinterpret_cast<T*>(inline_); }
  bool on_heap() const { return capacity_ > N; }

  template <class It>
  void append(It first, It last) {
    reserve(size_ + static_cast<std::size_t>(last - first));
    for (; first != last; ++first) std::construct_at(data_ + size_++, *first);
  }
  // Moves the elements to a heap block of `n` places.
  void grow_to(std::size_t n) {
    T* block = std::allocator<T>().allocate(n);
    std::uninitialized_move(begin(), end(), block);
    std::destroy(begin(), end());
    release();
    data_ = block;
    capacity_ = static_cast<std::uint32_t>(n);
  }
  // Gives back a heap block (the elements must be gone) and goes inline.
  void release() {
    if (on_heap()) std::allocator<T>().deallocate(data_, capacity_);
    data_ = inline_data();
    capacity_ = N;
  }
  // Takes other's elements; this one must be empty and inline.
  void take(SmallVector&& other) noexcept {
    if (other.on_heap()) {
      data_ = std::exchange(other.data_, other.inline_data());
      capacity_ = std::exchange(other.capacity_, N);
      size_ = std::exchange(other.size_, 0);
      return;
    }
    std::uninitialized_move(other.begin(), other.end(), data_);
    size_ = other.size_;
    other.clear();
  }

  T* data_ = inline_data();
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = N;
  alignas(T) unsigned char inline_[N * sizeof(T)];
};

}  // namespace vornix
