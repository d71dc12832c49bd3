#pragma once
// GPS times of version 2 point items and of LAS 1.4 points follow up to four interleaved time
// sequences (flight lines) and switch between them without coding a full value. Within a
// sequence the next time is coded as a difference predicted from the last one, a multiple of it
// chosen by the encoder. The two codecs number their symbols differently, but share this state
// and every step that codes a difference or a full value.

#include <cmath>
#include <cstdint>

#include "compression/detail/bytes.h"
#include "compression/integer_coder.h"

inline bool fits_int32(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

inline int64_t time_difference(uint64_t a, uint64_t b) {
  return static_cast<int64_t>(a - b);
}

// The multiplier an encoder picks: how many last differences make up the new one.
inline int64_t multiplier(int32_t difference, int32_t last_difference) {
  const double ratio = double(difference) / double(last_difference);
  return std::llround(std::fmax(-1e6, std::fmin(1e6, ratio)));
}

struct GpsSequences {
  uint32_t current = 0, next = 0;
  uint64_t last_time[4] = {};
  int32_t last_difference[4] = {};
  int32_t extreme_counter[4] = {};

  void reset(uint64_t first_time) {
    *this = GpsSequences{};
    last_time[0] = first_time;
  }
  uint64_t time() const { return last_time[current]; }

  // Encoder only: 1 to 3 when another sequence is the one to continue, 0 when none is.
  uint32_t other_sequence(uint64_t actual) const {
    for (uint32_t i = 1; i < 4; i++) {
      const uint32_t j = (current + i) & 3;
      if (last_time[j] != 0 && fits_int32(time_difference(actual, last_time[j]))) return i;
    }
    return 0;
  }

  // Encoder only: the multiplier symbol (0 to 510) of a difference within 32 bits.
  uint32_t multiplier_symbol(int32_t difference) const {
    const int64_t m = multiplier(difference, last_difference[current]);
    if (m == 1) return 1;
    if (m >= 2) return m < 500 ? static_cast<uint32_t>(m) : 500;
    if (m <= -10) return 510;
    if (m < 0) return static_cast<uint32_t>(500 - m);
    return 0;
  }

  // The first difference after a full value or a restart: it becomes the sequence's last one.
  template <class Side>
  void code_first_difference(Side& side, IntegerCoder& gps, int32_t difference) {
    const uint32_t t = current;
    last_difference[t] = side.integer(gps, 0, difference, 0);
    last_time[t] += static_cast<uint64_t>(int64_t(last_difference[t]));
    extreme_counter[t] = 0;
  }

  // A difference under multiplier symbol s (0 to 510). The last difference only changes after
  // several extreme ones in a row, so that one outlier does not spoil the predictions after it.
  template <class Side>
  void code_difference(Side& side, IntegerCoder& gps, uint32_t s, int32_t difference) {
    const uint32_t t = current;
    const int32_t last = last_difference[t];
    if (s == 1) {
      last_time[t] += static_cast<uint64_t>(int64_t(side.integer(gps, last, difference, 1)));
      extreme_counter[t] = 0;
      return;
    }
    int32_t prediction;
    uint32_t context;
    bool extreme = false;
    if (s == 0) {
      prediction = 0, context = 7, extreme = true;
    } else if (s < 10) {
      prediction = wrap_mul(static_cast<int32_t>(s), last), context = 2;
    } else if (s < 500) {
      prediction = wrap_mul(static_cast<int32_t>(s), last), context = 3;
    } else if (s == 500) {
      prediction = wrap_mul(500, last), context = 4, extreme = true;
    } else if (s < 510) {
      prediction = wrap_mul(500 - static_cast<int32_t>(s), last), context = 5;
    } else {
      prediction = wrap_mul(-10, last), context = 6, extreme = true;
    }
    const int32_t d = side.integer(gps, prediction, difference, context);
    if (extreme && ++extreme_counter[t] > 3) {
      last_difference[t] = d;
      extreme_counter[t] = 0;
    }
    last_time[t] += static_cast<uint64_t>(int64_t(d));
  }

  // A time no sequence reaches: its high half predicted from the current time, its low half raw.
  // It starts a new sequence in the next of the four places.
  template <class Side>
  void code_full_value(Side& side, IntegerCoder& gps, uint64_t actual) {
    next = (next + 1) & 3;
    const int32_t high = side.integer(gps, static_cast<int32_t>(last_time[current] >> 32),
                                      static_cast<int32_t>(actual >> 32), 8);
    const uint32_t low = side.raw_int(static_cast<uint32_t>(actual));
    last_time[next] = (uint64_t(static_cast<uint32_t>(high)) << 32) | low;
    current = next;
    last_difference[current] = 0;
    extreme_counter[current] = 0;
  }

  void switch_by(uint32_t steps) { current = (current + steps) & 3; }
};
