// Open-addressing map from a non-negative edge key to the index of the contour vertex waiting on
// that edge.
//
// Linear probing with Fibonacci hashing and backward-shift deletion: no tombstones, so a map that
// sees millions of inserts and removals during one pass never degrades. A slot is two 32-bit
// words. The table follows the live count both ways: it doubles above half full and halves below
// 1/8 full (down to a small floor), so the map of an iso value the pass has left behind does not keep the
// table of its busiest moment.
#pragma once

#include <bit>
#include <cstdint>
#include <new>
#include <vector>

class EdgeMap {
 public:
  static constexpr uint32_t NOT_FOUND = UINT32_MAX;
  static constexpr uint32_t MIN_CAPACITY = 16;
  // Tables up to this many slots (2 KiB) are not worth shrinking: a map whose few entries come
  // and go would otherwise reallocate again and again.
  static constexpr uint32_t SHRINK_FLOOR = 256;

  // Answers the value stored under `key` and removes the entry, or NOT_FOUND.
  uint32_t take(int32_t key) {
    if (size_ == 0) return NOT_FOUND;
    for (uint32_t i = home(key);; i = (i + 1) & mask_) {
      const Slot slot = slots_[i];
      if (slot.key == key) {
        erase_at(i);
        if (size_ * 8 < slots_.size() && slots_.size() > SHRINK_FLOOR) shrink();
        return slot.value;
      }
      if (slot.key == EMPTY) return NOT_FOUND;
    }
  }

  // `key` must not be present.
  void put(int32_t key, uint32_t value) {
    if (2 * (size_ + 1) > slots_.size()) {
      rehash(slots_.empty() ? MIN_CAPACITY : slots_.size() * 2);
    }
    place(Slot{key, value});
    size_++;
  }

  // Frees the table itself.
  void release() {
    std::vector<Slot>().swap(slots_);
    size_ = 0;
    mask_ = 0;
    shift_ = 32;
  }

  uint32_t size() const { return size_; }
  size_t capacity() const { return slots_.size(); }

 private:
  static constexpr int32_t EMPTY = -1;
  struct Slot {
    int32_t key = EMPTY;
    uint32_t value = NOT_FOUND;
  };

  // Neighbouring triangles have consecutive keys; the multiplicative hash spreads them.
  uint32_t home(int32_t key) const {
    return static_cast<uint32_t>(
        (static_cast<uint64_t>(static_cast<uint32_t>(key)) * 0x9E3779B97F4A7C15ull) >> (32 + shift_));
  }

  void place(Slot slot) {
    uint32_t i = home(slot.key);
    while (slots_[i].key != EMPTY) i = (i + 1) & mask_;
    slots_[i] = slot;
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

  // Only saves memory: without room for the smaller table the map goes on with the larger one.
  void shrink() {
    try {
      rehash(slots_.size() / 2);
    } catch (const std::bad_alloc&) {
    }
  }

  // `capacity` is a power of two that holds size_ entries below the growth limit.
  void rehash(size_t capacity) {
    std::vector<Slot> old(capacity);  // allocated before anything changes, so a failure leaves the map intact
    old.swap(slots_);
    mask_ = static_cast<uint32_t>(capacity - 1);
    shift_ = 32 - std::countr_zero(static_cast<uint32_t>(capacity));
    for (const Slot& slot : old) {
      if (slot.key != EMPTY) place(slot);
    }
  }

  std::vector<Slot> slots_;
  uint32_t size_ = 0;
  uint32_t mask_ = 0;
  int shift_ = 32;  // 32 - log2(capacity): home() keeps the top log2(capacity) bits of the 64-bit product
};
