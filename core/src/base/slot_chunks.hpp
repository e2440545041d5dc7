// SlotChunks<T, Bits>: records in dense slots, in fixed chunks of 2^Bits
// records, so a reference to one stays valid while others come and go. take
// hands out a free slot (the lowest first, adding a chunk when none is
// free); give takes one back for reuse. The records of freed slots keep
// whatever they held (a caller may reuse their storage).
//
//   SlotChunks<Rec, 6> slots;
//   const auto s = slots.take();
//   slots[s] = ...;
//   slots.give(s);
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vornix {

template <class T, unsigned Bits>
class SlotChunks {
 public:
  using Index = std::uint32_t;

  T& operator[](Index slot) { return chunks_[slot >> Bits][slot & kMask]; }
  const T& operator[](Index slot) const { return chunks_[slot >> Bits][slot & kMask]; }
  // Every slot made so far, free or not: [0, capacity()).
  std::size_t capacity() const { return chunks_.size() << Bits; }

  Index take() {
    if (free_.empty()) {
      const auto first = static_cast<Index>(capacity());
      chunks_.push_back(std::make_unique<T[]>(std::size_t{1} << Bits));
      // Lowest slots last, so they are handed out first.
      for (Index s = first + (1u << Bits); s-- > first;) free_.push_back(s);
    }
    const Index slot = free_.back();
    free_.pop_back();
    return slot;
  }
  void give(Index slot) { free_.push_back(slot); }

 private:
  static constexpr Index kMask = (1u << Bits) - 1;
  std::vector<std::unique_ptr<T[]>> chunks_;
  std::vector<Index> free_;
};

}  // namespace vornix
