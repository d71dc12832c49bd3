#pragma once
// The adaptive probability models of the range coder: SymbolModel for alphabets of 2 to 2048
// symbols and BitModel for single bits. Both rescale their statistics only every update cycle,
// a period that grows by 5/4 per update, so coding stays division-light.

#include <cstdint>
#include <vector>

inline constexpr uint32_t kBitModelLengthShift = 13;
inline constexpr uint32_t kBitModelMaxCount = 1u << kBitModelLengthShift;
inline constexpr uint32_t kSymbolLengthShift = 15;
inline constexpr uint32_t kSymbolMaxCount = 1u << kSymbolLengthShift;
inline constexpr uint32_t kMaxSymbols = 2048;
inline constexpr uint32_t kSymbolTableMaxBits = 8;

class SymbolModel {
 public:
  // Decoder models get a lookup table that replaces most of the bisection.
  explicit SymbolModel(uint32_t symbols, bool for_decoder = true)
      : symbols_(symbols), decoder_(for_decoder) {}
  // The pointers refer into storage_, whose heap block moves along with it.
  SymbolModel(SymbolModel&&) noexcept = default;
  SymbolModel& operator=(SymbolModel&&) noexcept = default;
  SymbolModel(const SymbolModel&) = delete;
  SymbolModel& operator=(const SymbolModel&) = delete;

  // Resets the statistics (every symbol counted once, or the given counts, each at least 1 and
  // together at most 2^15). False, and the model stays unusable, unless 2 <= symbols <= 2048.
  bool init(const uint32_t* initial_counts = nullptr);
  void update();

  uint32_t symbols() const { return symbols_; }
  uint32_t last_symbol() const { return symbols_ - 1; }

  // Cumulative frequencies scaled to 2^15 (distribution[0] == 0), symbol counts and, for decoder
  // models, the table that maps the top bits of a value to the first
  // symbol to try. They share one allocation.
  uint32_t* distribution = nullptr;
  uint32_t* counts = nullptr;
  uint32_t* table = nullptr;
  uint32_t table_size = 0;
  uint32_t table_shift = 0;
  uint32_t total_count = 0;
  uint32_t update_cycle = 0;
  uint32_t symbols_until_update = 0;

 private:
  uint32_t symbols_;
  bool decoder_;
  std::vector<uint32_t> storage_;
};

struct BitModel {
  void init() {
    bit_0_count = 1;
    bit_count = 2;
    bit_0_prob = 1u << (kBitModelLengthShift - 1);
    update_cycle = bits_until_update = 4;
  }
  void update();

  uint32_t update_cycle = 4;
  uint32_t bits_until_update = 4;
  uint32_t bit_0_prob = 1u << (kBitModelLengthShift - 1);  // probability of a 0, scaled to 2^13
  uint32_t bit_0_count = 1;
  uint32_t bit_count = 2;
};
