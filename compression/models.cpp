#include "compression/models.h"

#include <algorithm>

bool SymbolModel::init(const uint32_t* initial_counts) {
  if (storage_.empty()) {
    if (symbols_ < 2 || symbols_ > kMaxSymbols) return false;
    uint32_t table_bits = 0;
    if (decoder_) {
      // About four cells per symbol: the symbols that matter are the likely ones, and a cell
      // that one of them covers alone needs no search at all, so nearly every lookup ends at the
      // table. The size is capped to keep the models of a chunk within the first-level cache.
      // Small alphabets get a table too, so that decoding never chooses between two searches.
      table_bits = 3;
      while (table_bits < kSymbolTableMaxBits && symbols_ > (1u << (table_bits - 2))) table_bits++;
      table_size = 1u << table_bits;
      table_shift = kSymbolLengthShift - table_bits;
      storage_.assign(2 * size_t(symbols_) + table_size + 2, 0);
      table = storage_.data() + 2 * size_t(symbols_);
    } else {
      table_size = table_shift = 0;
      storage_.assign(2 * size_t(symbols_), 0);
    }
    distribution = storage_.data();
    counts = distribution + symbols_;
  }
  // The first update adds its cycle to the total, so the cycle starts as the sum of the counts.
  total_count = 0;
  update_cycle = 0;
  for (uint32_t k = 0; k < symbols_; k++) {
    counts[k] = initial_counts ? initial_counts[k] : 1;
    update_cycle += counts[k];
  }
  update();
  update_cycle = symbols_until_update = (symbols_ + 6) >> 1;
  return true;
}

void SymbolModel::update() {
  total_count += update_cycle;
  if (total_count > kSymbolMaxCount) {
    total_count = 0;
    for (uint32_t k = 0; k < symbols_; k++) {
      counts[k] = (counts[k] + 1) >> 1;
      total_count += counts[k];
    }
  }
  const uint32_t scale = 0x80000000u / total_count;
  uint32_t sum = 0;
  if (table == nullptr) {
    for (uint32_t k = 0; k < symbols_; k++) {
      distribution[k] = (scale * sum) >> (31 - kSymbolLengthShift);
      sum += counts[k];
    }
  } else {
    // table[t] is the last symbol whose range starts at or below cell t.
    uint32_t s = 0;
    for (uint32_t k = 0; k < symbols_; k++) {
      distribution[k] = (scale * sum) >> (31 - kSymbolLengthShift);
      sum += counts[k];
      const uint32_t w = distribution[k] >> table_shift;
      if (w > s) {
        std::fill(table + s + 1, table + w + 1, k - 1);
        s = w;
      }
    }
    table[0] = 0;
    std::fill(table + s + 1, table + table_size + 2, symbols_ - 1);
  }
  update_cycle = std::min((5 * update_cycle) >> 2, (symbols_ + 6) << 3);
  symbols_until_update = update_cycle;
}

void BitModel::update() {
  bit_count += update_cycle;
  if (bit_count > kBitModelMaxCount) {
    bit_count = (bit_count + 1) >> 1;
    bit_0_count = (bit_0_count + 1) >> 1;
    if (bit_0_count == bit_count) ++bit_count;
  }
  const uint32_t scale = 0x80000000u / bit_count;
  bit_0_prob = (bit_0_count * scale) >> (31 - kBitModelLengthShift);
  update_cycle = std::min((5 * update_cycle) >> 2, 64u);
  bits_until_update = update_cycle;
}
