// Open-addressing map from a non-negative edge key to the contour vertex waiting on that edge.
//
// Linear probing with Fibonacci hashing and backward-shift deletion: no tombstones, so a map that
// sees millions of inserts and removals during one pass never degrades. The table keeps its
// storage between files; clear() costs nothing when the map is already empty.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

template <typename V>
class EdgeMap {
 public:
  // Answers the value stored under `key` and removes the entry, or nullptr.
  V* take(int32_t key) {
    if (size_ == 0) return nullptr;
    for (uint32_t i = home(key);; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.key == key) {
        V* value = slot.value;
        erase_at(i);
        return value;
      }
      if (slot.key == EMPTY) return nullptr;
    }
  }

  // `key` must not be present.
  void put(int32_t key, V* value) {
    if (2 * (size_ + 1) > slots_.size()) grow();
    uint32_t i = home(key);
    while (slots_[i].key != EMPTY) i = (i + 1) & mask_;
    slots_[i] = Slot{key, value};
    size_++;
  }

  void clear() {
    if (size_ == 0) return;
    for (Slot& slot : slots_) slot = Slot{};
    size_ = 0;
  }

  // Frees the table itself.
  void release() {
    std::vector<Slot>().swap(slots_);
    size_ = 0;
    mask_ = 0;
    shift_ = 32;
  }

  uint32_t size() const { return size_; }

 private:
  static constexpr int32_t EMPTY = -1;
  struct Slot {
    int32_t key = EMPTY;
    V* value = nullptr;
  };

  // Neighbouring triangles have consecutive keys; the multiplicative hash spreads them.
  uint32_t home(int32_t key) const {
    return static_cast<uint32_t>(
        (static_cast<uint64_t>(static_cast<uint32_t>(key)) * 0x9E3779B97F4A7C15ull) >> (32 + shift_));
  }

  void erase_at(uint32_t hole) {
    // Pull later members of the probe run back into the hole while that stays on their path.
    for (uint32_t j = (hole + 1) & mask_; slots_[j].key != EMPTY; j = (j + 1) & mask_) {
      const uint32_t wanted = home(slots_[j].key);
      if (((j - wanted) & mask_) >= ((j - hole) & mask_)) {
        slots_[hole] = slots_[j];
        hole = j;
      }
    }
    slots_[hole] = Slot{};
    size_--;
  }

  void grow() {
    const size_t capacity = slots_.empty() ? 16 : slots_.size() * 2;
    std::vector<Slot> old(capacity);  // allocated before anything changes, so a failure leaves the map intact
    old.swap(slots_);
    mask_ = static_cast<uint32_t>(capacity - 1);
    shift_ = 32 - std::countr_zero(static_cast<uint32_t>(capacity));
    size_ = 0;
    for (const Slot& slot : old) {
      if (slot.key == EMPTY) continue;
      uint32_t i = home(slot.key);
      while (slots_[i].key != EMPTY) i = (i + 1) & mask_;
      slots_[i] = slot;
      size_++;
    }
  }

  std::vector<Slot> slots_;
  uint32_t size_ = 0;
  uint32_t mask_ = 0;
  int shift_ = 32;  // 32 - log2(capacity): home() keeps the top log2(capacity) bits of the 64-bit product
};
