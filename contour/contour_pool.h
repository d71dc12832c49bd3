// Free-list pool of small fixed-size records, allocated in blocks that double in size.
//
// Records never move once allocated, so plain pointers between them stay valid until release().
// A pool grows rarely (first block 512 records, then 1024, 2048, ...) and never shrinks during a
// file: the tracer takes and returns records millions of times without touching the allocator.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>

// `Link` names the pointer member that chains free records; the record does not use it while
// it is free, and take() resets the whole record.
template <typename T, T* T::*Link>
class RecordPool {
 public:
  static constexpr int MAX_BLOCKS = 16;

  // `what` names the pool in the failure message ("vertex" or "component").
  RecordPool(const char* what, uint32_t first_block, int max_blocks)
      : what_(what),
        first_block_(first_block > 0 ? first_block : 1),
        max_blocks_(max_blocks < MAX_BLOCKS ? max_blocks : MAX_BLOCKS),
        next_block_(first_block_) {}

  T* take() {
    if (free_ == nullptr) grow();
    T* record = free_;
    free_ = record->*Link;
    *record = T{};
    return record;
  }

  // Freed records go to the front of the free list, so the most recently used memory is reused.
  void give(T* record) {
    record->*Link = free_;
    free_ = record;
  }

  // Frees every block; the next take() starts again with a block of first_block records.
  void release() {
    for (auto& block : blocks_) block.reset();
    block_count_ = 0;
    next_block_ = first_block_;
    free_ = nullptr;
  }

  int block_count() const { return block_count_; }

 private:
  void grow() {
    const uint32_t size = next_block_;
    if (block_count_ >= max_blocks_) fail(size);
    try {
      blocks_[block_count_] = std::make_unique<T[]>(size);
    } catch (const std::bad_alloc&) {
      fail(size);
    }
    T* block = blocks_[block_count_].get();
    // Chained in index order so that consecutive takes walk the block sequentially.
    for (uint32_t i = 0; i + 1 < size; i++) block[i].*Link = &block[i + 1];
    block[size - 1].*Link = free_;
    free_ = block;
    block_count_++;
    next_block_ = size * 2;
  }

  [[noreturn]] void fail(uint32_t size) const {
    char message[96];
    std::snprintf(message, sizeof(message), "ERROR: malloc for %s buffer %d failed", what_,
                  static_cast<int>(size));
    throw std::runtime_error(message);
  }

  const char* what_;
  uint32_t first_block_;
  int max_blocks_;
  uint32_t next_block_;
  int block_count_ = 0;
  T* free_ = nullptr;
  std::array<std::unique_ptr<T[]>, MAX_BLOCKS> blocks_;
};
