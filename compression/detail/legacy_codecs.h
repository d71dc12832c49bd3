#pragma once
// The version 2 codecs of the items of LAS point types 0 to 3 (POINT10, GPSTIME11, RGB12). The
// item decoders run them one item at a time; the whole-record decoder of those point types runs
// them together, point after point, so that nothing comes between the items of a point.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

#include "compression/detail/bytes.h"
#include "compression/detail/coding_side.h"
#include "compression/detail/gps_sequences.h"
#include "compression/detail/rgb_codec.h"

namespace legacy_codecs {

// Field offsets inside the 20-byte item.
constexpr int kX = 0, kY = 4, kZ = 8, kIntensity = 12, kReturnByte = 14, kClassByte = 15, kScanAngle = 16,
              kUserData = 17, kPointSource = 18;

// Models of a byte field, one per value of the field in the last point, created when first met.
class ByteModels {
 public:
  explicit ByteModels(bool for_decoder) : for_decoder_(for_decoder) {}
  SymbolModel& get(uint8_t last) {
    auto& m = models_[last];
    if (!m) {
      m = std::make_unique<SymbolModel>(256, for_decoder_);
      m->init();
    }
    return *m;
  }
  void reset() {
    for (auto& m : models_)
      if (m) m->init();
  }

 private:
  bool for_decoder_;
  std::array<std::unique_ptr<SymbolModel>, 256> models_;
};

// The user data and the point source ID, when the changed bits 2 and 1 of a POINT10 say so:
// both versions code them alike.
template <class Side>
void code_user_data_and_source(Side& side, uint32_t changed, ByteModels& user_data,
                               IntegerCoder& point_source, uint8_t* last, const uint8_t* item) {
  if (changed & 2) {
    last[kUserData] = static_cast<uint8_t>(side.symbol(user_data.get(last[kUserData]), item[kUserData]));
  }
  if (changed & 1) {
    const int32_t v = side.integer(point_source, load_le<uint16_t>(last + kPointSource),
                                   Side::kEncode ? load_le<uint16_t>(item + kPointSource) : 0);
    store_le(last + kPointSource, static_cast<uint16_t>(v));
  }
}

// Return number r and number of returns n select the statistics of a point (map) and the last
// height it is predicted from (level |n - r|).
constexpr uint8_t kReturnMap[8][8] = {{15, 14, 13, 12, 11, 10, 9, 8},  {14, 0, 1, 3, 6, 10, 10, 9},
                                      {13, 1, 2, 4, 7, 11, 11, 10},    {12, 3, 4, 5, 8, 12, 12, 11},
                                      {11, 6, 7, 8, 9, 13, 13, 12},    {10, 10, 11, 12, 13, 14, 14, 13},
                                      {9, 10, 11, 12, 13, 14, 15, 14}, {8, 9, 10, 11, 12, 13, 14, 15}};

class Point10V2 {
 public:
  static constexpr uint32_t kItemSize = 20;
  Point10V2(uint32_t, bool for_decoder)
      : changed_(64, for_decoder),
        intensity_(16, 4),
        scan_angle_{SymbolModel(256, for_decoder), SymbolModel(256, for_decoder)},
        point_source_(16, 1),
        dx_(32, 2),
        dy_(32, 22),
        z_(32, 20),
        return_byte_(for_decoder),
        classification_(for_decoder),
        user_data_(for_decoder) {}

  void init(const uint8_t* item, bool for_decoder) {
    for (auto& m : x_median_) m.reset();
    for (auto& m : y_median_) m.reset();
    std::fill(std::begin(last_intensity_), std::end(last_intensity_), uint16_t(0));
    std::fill(std::begin(last_height_), std::end(last_height_), 0);
    changed_.init();
    scan_angle_[0].init();
    scan_angle_[1].init();
    for (IntegerCoder* ic : {&intensity_, &point_source_, &dx_, &dy_, &z_})
      for_decoder ? ic->init_decompressor() : ic->init_compressor();
    return_byte_.reset();
    classification_.reset();
    user_data_.reset();
    std::memcpy(last_, item, 20);
    // Intensities are predicted from last_intensity_, and an unchanged point keeps the last
    // item's intensity: the zero keeps the two in step.
    store_le(last_ + kIntensity, uint16_t(0));
  }

  template <class Side>
  void code(Side& side, uint8_t* item) {
    uint32_t changed = 0;
    if constexpr (Side::kEncode) {
      const uint8_t rb = item[kReturnByte];
      const uint32_t m = kReturnMap[(rb >> 3) & 7][rb & 7];
      changed = (rb != last_[kReturnByte] ? 32u : 0u) |
                (load_le<uint16_t>(item + kIntensity) != last_intensity_[m] ? 16u : 0u) |
                (item[kClassByte] != last_[kClassByte] ? 8u : 0u) |
                (item[kScanAngle] != last_[kScanAngle] ? 4u : 0u) |
                (item[kUserData] != last_[kUserData] ? 2u : 0u) |
                (std::memcmp(item + kPointSource, last_ + kPointSource, 2) != 0 ? 1u : 0u);
    }
    changed = side.symbol(changed_, changed);
    uint32_t r, n, m, l;
    if (changed) {
      if (changed & 32) {
        last_[kReturnByte] =
            static_cast<uint8_t>(side.symbol(return_byte_.get(last_[kReturnByte]), item[kReturnByte]));
      }
      r = last_[kReturnByte] & 7u;
      n = (last_[kReturnByte] >> 3) & 7u;
      m = kReturnMap[n][r];
      l = n > r ? n - r : r - n;
      if (changed & 16) {
        last_intensity_[m] = static_cast<uint16_t>(
            side.integer(intensity_, last_intensity_[m],
                         Side::kEncode ? load_le<uint16_t>(item + kIntensity) : 0, std::min(m, 3u)));
      }
      store_le(last_ + kIntensity, last_intensity_[m]);
      if (changed & 8) {
        last_[kClassByte] =
            static_cast<uint8_t>(side.symbol(classification_.get(last_[kClassByte]), item[kClassByte]));
      }
      if (changed & 4) {
        const uint32_t s = side.symbol(scan_angle_[(last_[kReturnByte] >> 6) & 1],
                                       fold_byte(uint32_t(item[kScanAngle]) - last_[kScanAngle]));
        last_[kScanAngle] = fold_byte(last_[kScanAngle] + s);
      }
      code_user_data_and_source(side, changed, user_data_, point_source_, last_, item);
    } else {
      r = last_[kReturnByte] & 7u;
      n = (last_[kReturnByte] >> 3) & 7u;
      m = kReturnMap[n][r];
      l = n > r ? n - r : r - n;
    }
    const uint32_t single = n == 1 ? 1 : 0;
    const int32_t last_x = load_le<int32_t>(last_ + kX);
    const int32_t dx = side.integer(
        dx_, x_median_[m].get(), Side::kEncode ? wrap_sub(load_le<int32_t>(item + kX), last_x) : 0, single);
    store_le(last_ + kX, wrap_add(last_x, dx));
    x_median_[m].add(dx);
    const uint32_t kx = dx_.get_k();
    const int32_t last_y = load_le<int32_t>(last_ + kY);
    const int32_t dy = side.integer(dy_, y_median_[m].get(),
                                    Side::kEncode ? wrap_sub(load_le<int32_t>(item + kY), last_y) : 0,
                                    single + (kx < 20 ? kx & ~1u : 20u));
    store_le(last_ + kY, wrap_add(last_y, dy));
    y_median_[m].add(dy);
    const uint32_t kk = (kx + dy_.get_k()) / 2;
    last_height_[l] = side.integer(z_, last_height_[l], Side::kEncode ? load_le<int32_t>(item + kZ) : 0,
                                   single + (kk < 18 ? kk & ~1u : 18u));
    store_le(last_ + kZ, last_height_[l]);
    if constexpr (!Side::kEncode) std::memcpy(item, last_, 20);
  }

 private:
  uint8_t last_[20] = {};
  Median5 x_median_[16], y_median_[16];
  uint16_t last_intensity_[16] = {};
  int32_t last_height_[8] = {};
  SymbolModel changed_;
  IntegerCoder intensity_;
  SymbolModel scan_angle_[2];
  IntegerCoder point_source_, dx_, dy_, z_;
  ByteModels return_byte_, classification_, user_data_;
};

// Version 2 follows up to four interleaved time sequences (flight lines) and switches between
// them without coding a full value.
class GpsTime11V2 {
 public:
  static constexpr uint32_t kItemSize = 8;
  GpsTime11V2(uint32_t, bool for_decoder) : multi_(516, for_decoder), zero_(6, for_decoder), gps_(32, 9) {}

  void init(const uint8_t* item, bool for_decoder) {
    multi_.init();
    zero_.init();
    for_decoder ? gps_.init_decompressor() : gps_.init_compressor();
    sequences_.reset(load_le<uint64_t>(item));
  }

  template <class Side>
  void code(Side& side, uint8_t* item) {
    GpsSequences& q = sequences_;
    const uint64_t actual = Side::kEncode ? load_le<uint64_t>(item) : 0;
    // A writer switches to the sequence it wants at once; a stream that keeps switching is
    // corrupt, and could otherwise spin on a nearly certain symbol for a very long time.
    for (int switches = 0;; switches++) {
      if (switches > 4) throw CodecError{kCodecCorrupt};
      const uint32_t t = q.current;
      const int64_t difference = time_difference(actual, q.last_time[t]);
      const bool fits = fits_int32(difference);
      if (q.last_difference[t] == 0) {
        uint32_t s = 0;
        if constexpr (Side::kEncode) {
          const uint32_t other = fits ? 0 : q.other_sequence(actual);
          s = actual == q.last_time[t] ? 0 : (other ? other + 2 : (fits ? 1 : 2));
        }
        s = side.symbol(zero_, s);
        if (s == 1) {
          q.code_first_difference(side, gps_, static_cast<int32_t>(difference));
        } else if (s == 2) {
          q.code_full_value(side, gps_, actual);
        } else if (s > 2) {
          q.switch_by(s - 2);
          continue;
        }
      } else {
        uint32_t s = 511;
        if constexpr (Side::kEncode) s = choose_multi(actual, difference, fits);
        s = side.symbol(multi_, s);
        if (s == 511) {
        } else if (s == 512) {
          q.code_full_value(side, gps_, actual);
        } else if (s > 512) {
          q.switch_by(s - 512);
          continue;
        } else {
          q.code_difference(side, gps_, s, static_cast<int32_t>(difference));
        }
      }
      break;
    }
    if constexpr (!Side::kEncode) store_le(item, q.time());
  }

 private:
  uint32_t choose_multi(uint64_t actual, int64_t difference, bool fits) const {
    if (actual == sequences_.time()) return 511;
    if (fits) return sequences_.multiplier_symbol(static_cast<int32_t>(difference));
    const uint32_t other = sequences_.other_sequence(actual);
    return other ? other + 512 : 512;
  }

  GpsSequences sequences_;
  SymbolModel multi_, zero_;
  IntegerCoder gps_;
};

class Rgb12V2 {
 public:
  static constexpr uint32_t kItemSize = 6;
  Rgb12V2(uint32_t, bool for_decoder) : rgb_(for_decoder) {}
  void init(const uint8_t* item, bool) {
    rgb_.init();
    std::memcpy(last_, item, 6);
  }
  template <class Side>
  void code(Side& side, uint8_t* item) {
    rgb_.code(side, last_, item);
    if constexpr (!Side::kEncode) std::memcpy(item, last_, 6);
  }

 private:
  uint8_t last_[6] = {};
  RgbCodec rgb_;
};

}  // namespace legacy_codecs
