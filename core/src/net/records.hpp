// The runtime records of a simulation: packets, epochs, salvos, requests.
// Plain values; events and responses carry copies of them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/small_vector.hpp"
#include "net/location.hpp"
#include "net/ulid.hpp"

namespace vornix {

struct Packet {
  Ulid id;
  PacketLocation location;
  bool operator==(const Packet&) const = default;
};

enum class EpochState : std::uint8_t { Startable = 0, Running = 1, Finished = 2 };

// The condition name used for the input salvo of an epoch made by a request.
inline constexpr std::string_view kRequestSalvoCondition = "__request__";

// Salvos and an epoch's list of them keep their usual few entries in place, and
// names are the graph's, shared (as locations carry them): the copies that
// responses and events carry allocate nothing and copy no text.
struct Salvo {
  Name salvo_condition;
  // Defaulted here: a salvo made from its name alone (Salvo(name)) starts
  // with no packets, built empty in place.
  SmallVector<std::pair<Name, Ulid>, 2> packets{};  // (port name, packet id), in order
  bool operator==(const Salvo&) const = default;
};

struct OrphanedPacketInfo {
  Ulid packet_id;
  std::string from_port;
  std::string salvo_condition;
  bool operator==(const OrphanedPacketInfo&) const = default;
};

struct Epoch {
  Ulid id;
  Name node_name;
  Salvo in_salvo;
  SmallVector<Salvo, 1> out_salvos;
  EpochState state = EpochState::Startable;
  std::vector<OrphanedPacketInfo> orphaned_packets;
  bool operator==(const Epoch&) const = default;
};

// The blocks of epoch snapshots. A hop takes and drops a few snapshots, and
// the heap's malloc and free would cost more than copying the epoch, so the
// blocks freed are kept, per thread, for the next ones (events.cpp).
void* take_snapshot_block(std::size_t bytes);
void give_snapshot_block(void* block, std::size_t bytes) noexcept;

template <class T>
struct SnapshotAllocator {
  using value_type = T;
  SnapshotAllocator() noexcept = default;
  template <class U>
  SnapshotAllocator(const SnapshotAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(take_snapshot_block(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { give_snapshot_block(p, n * sizeof(T)); }
  template <class U>
  friend bool operator==(const SnapshotAllocator&, const SnapshotAllocator<U>&) {
    return true;
  }
};

// An epoch as an event or a response carries it: a copy taken when it was
// recorded, held out of line and shared by every copy of the event, since no
// one changes it after. Events stay small (an epoch is several hundred bytes;
// most events are a few words), and handing the snapshot on copies nothing.
// Reads like a pointer to the epoch; compares by value.
//
//   EpochSnapshot s = rec.epoch;   // the one copy
//   s->state; const Epoch& e = s;
class EpochSnapshot {
 public:
  EpochSnapshot() : EpochSnapshot(Epoch{}) {}
  // Shares an epoch no one will change while this holds it (LiveEpoch).
  explicit EpochSnapshot(std::shared_ptr<const Epoch> epoch) : epoch_(std::move(epoch)) {}
  EpochSnapshot(const Epoch& epoch)
      : epoch_(std::allocate_shared<const Epoch>(SnapshotAllocator<Epoch>(), epoch)) {}
  EpochSnapshot(Epoch&& epoch)
      : epoch_(std::allocate_shared<const Epoch>(SnapshotAllocator<Epoch>(), std::move(epoch))) {}

  const Epoch& operator*() const { return *epoch_; }
  const Epoch* operator->() const { return epoch_.get(); }
  operator const Epoch&() const { return *epoch_; }
  // For holders that keep the epoch beyond the event (the Python binding).
  const std::shared_ptr<const Epoch>& shared() const { return epoch_; }

  friend bool operator==(const EpochSnapshot& a, const EpochSnapshot& b) {
    return a.epoch_ == b.epoch_ || *a.epoch_ == *b.epoch_;
  }

 private:
  std::shared_ptr<const Epoch> epoch_;  // never null
};

// An epoch as the state holds it: shared, unchanged, with the snapshots
// taken of it since it last changed, so that a response or an event that
// carries the epoch as it is copies nothing. A change first takes a copy of
// its own when a snapshot still holds the current one: a snapshot never
// sees a later change. Most snapshots are let go before the next change to
// their epoch (a host reads the response and moves on), and then the change
// is made in place.
//
//   LiveEpoch live;
//   live.edit().state = EpochState::Running;
//   EpochSnapshot s = live.snapshot();    // shares, copies nothing
//   live.edit().out_salvos.emplace_back();  // copies, since s holds it
class LiveEpoch {
 public:
  LiveEpoch() : epoch_(std::allocate_shared<Epoch>(SnapshotAllocator<Epoch>())) {}

  const Epoch& operator*() const { return *epoch_; }
  const Epoch* operator->() const { return epoch_.get(); }

  // The epoch to change: this holder's own. Inline when it already is, as
  // it is for most changes; the copy is out of line.
  Epoch& edit() {
    if (!owned()) take_copy();
    return *epoch_;
  }
  // The epoch to fill anew: its strings and lists keep their storage when
  // no snapshot holds it.
  Epoch& renew() {
    if (!owned()) epoch_ = std::allocate_shared<Epoch>(SnapshotAllocator<Epoch>());
    return *epoch_;
  }
  void assign(Epoch epoch) { renew() = std::move(epoch); }

  EpochSnapshot snapshot() const { return EpochSnapshot(epoch_); }

 private:
  // Whether no snapshot holds the epoch. A holder on another thread lets go
  // with a release; the fence makes its last reads happen before our writes.
  bool owned() const {
    if (epoch_.use_count() != 1) return false;
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
  }

  // Replaces the epoch, which a snapshot holds, by a copy of it.
  [[gnu::noinline]] void take_copy() {
    epoch_ = std::allocate_shared<Epoch>(SnapshotAllocator<Epoch>(), *epoch_);
  }

  std::shared_ptr<Epoch> epoch_;  // never null
};

struct PendingRequest {
  std::string node_name;
  std::string label;
  bool operator==(const PendingRequest&) const = default;
};

}  // namespace vornix
