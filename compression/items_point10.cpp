// POINT10 items, versions 1 and 2: X, Y, Z, intensity, the return and classification bytes,
// scan angle rank, user data and point source ID of LAS point types 0 to 5.
#include <algorithm>
#include <array>
#include <memory>

#include "compression/detail/bytes.h"
#include "compression/detail/coding_side.h"
#include "compression/detail/legacy_items.h"

namespace {

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

int32_t median3(const int32_t* a) {
  if (a[0] < a[1]) {
    if (a[1] < a[2]) return a[1];
    return a[0] < a[2] ? a[2] : a[0];
  }
  if (a[0] < a[2]) return a[0];
  return a[1] < a[2] ? a[2] : a[1];
}

class Point10V1 {
 public:
  Point10V1(uint32_t, bool for_decoder)
      : dx_(32, 1),
        dy_(32, 20),
        z_(32, 20),
        intensity_(16, 1),
        scan_angle_(8, 2),
        point_source_(16, 1),
        changed_(64, for_decoder),
        return_byte_(for_decoder),
        classification_(for_decoder),
        user_data_(for_decoder) {}

  void init(const uint8_t* item, bool for_decoder) {
    std::fill(std::begin(last_dx_), std::end(last_dx_), 0);
    std::fill(std::begin(last_dy_), std::end(last_dy_), 0);
    oldest_ = 0;
    for (IntegerCoder* ic : {&dx_, &dy_, &z_, &intensity_, &scan_angle_, &point_source_})
      for_decoder ? ic->init_decompressor() : ic->init_compressor();
    changed_.init();
    return_byte_.reset();
    classification_.reset();
    user_data_.reset();
    std::memcpy(last_, item, 20);
  }

  template <class Side>
  void code(Side& side, uint8_t* item) {
    const int32_t last_x = load_le<int32_t>(last_ + kX), last_y = load_le<int32_t>(last_ + kY);
    const int32_t dx = side.integer(dx_, median3(last_dx_),
                                    Side::kEncode ? wrap_sub(load_le<int32_t>(item + kX), last_x) : 0);
    store_le(last_ + kX, wrap_add(last_x, dx));
    const uint32_t kx = dx_.get_k();
    const int32_t dy =
        side.integer(dy_, median3(last_dy_),
                     Side::kEncode ? wrap_sub(load_le<int32_t>(item + kY), last_y) : 0, std::min(kx, 19u));
    store_le(last_ + kY, wrap_add(last_y, dy));
    const uint32_t kk = kx + dy_.get_k();
    store_le(last_ + kZ,
             side.integer(z_, load_le<int32_t>(last_ + kZ), Side::kEncode ? load_le<int32_t>(item + kZ) : 0,
                          std::min(kk / 2, 19u)));

    uint32_t changed = 0;
    if constexpr (Side::kEncode) {
      changed = (std::memcmp(item + kIntensity, last_ + kIntensity, 2) != 0 ? 32u : 0u) |
                (item[kReturnByte] != last_[kReturnByte] ? 16u : 0u) |
                (item[kClassByte] != last_[kClassByte] ? 8u : 0u) |
                (item[kScanAngle] != last_[kScanAngle] ? 4u : 0u) |
                (item[kUserData] != last_[kUserData] ? 2u : 0u) |
                (std::memcmp(item + kPointSource, last_ + kPointSource, 2) != 0 ? 1u : 0u);
    }
    changed = side.symbol(changed_, changed);
    if (changed) {
      if (changed & 32) {
        const int32_t v = side.integer(intensity_, load_le<uint16_t>(last_ + kIntensity),
                                       Side::kEncode ? load_le<uint16_t>(item + kIntensity) : 0);
        store_le(last_ + kIntensity, static_cast<uint16_t>(v));
      }
      if (changed & 16) {
        last_[kReturnByte] =
            static_cast<uint8_t>(side.symbol(return_byte_.get(last_[kReturnByte]), item[kReturnByte]));
      }
      if (changed & 8) {
        last_[kClassByte] =
            static_cast<uint8_t>(side.symbol(classification_.get(last_[kClassByte]), item[kClassByte]));
      }
      if (changed & 4) {
        last_[kScanAngle] = static_cast<uint8_t>(
            side.integer(scan_angle_, last_[kScanAngle], item[kScanAngle], kk < 6 ? 1 : 0));
      }
      if (changed & 2) {
        last_[kUserData] =
            static_cast<uint8_t>(side.symbol(user_data_.get(last_[kUserData]), item[kUserData]));
      }
      if (changed & 1) {
        const int32_t v = side.integer(point_source_, load_le<uint16_t>(last_ + kPointSource),
                                       Side::kEncode ? load_le<uint16_t>(item + kPointSource) : 0);
        store_le(last_ + kPointSource, static_cast<uint16_t>(v));
      }
    }
    last_dx_[oldest_] = dx;
    last_dy_[oldest_] = dy;
    oldest_ = oldest_ == 2 ? 0 : oldest_ + 1;
    if constexpr (!Side::kEncode) std::memcpy(item, last_, 20);
  }

 private:
  uint8_t last_[20];
  int32_t last_dx_[3], last_dy_[3];
  int oldest_ = 0;
  IntegerCoder dx_, dy_, z_, intensity_, scan_angle_, point_source_;
  SymbolModel changed_;
  ByteModels return_byte_, classification_, user_data_;
};

// Return number r and number of returns n select the statistics of a point (map) and the last
// height it is predicted from (level |n - r|).
constexpr uint8_t kReturnMap[8][8] = {{15, 14, 13, 12, 11, 10, 9, 8},  {14, 0, 1, 3, 6, 10, 10, 9},
                                      {13, 1, 2, 4, 7, 11, 11, 10},    {12, 3, 4, 5, 8, 12, 12, 11},
                                      {11, 6, 7, 8, 9, 13, 13, 12},    {10, 10, 11, 12, 13, 14, 14, 13},
                                      {9, 10, 11, 12, 13, 14, 15, 14}, {8, 9, 10, 11, 12, 13, 14, 15}};

class Point10V2 {
 public:
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
      if (changed & 2) {
        last_[kUserData] =
            static_cast<uint8_t>(side.symbol(user_data_.get(last_[kUserData]), item[kUserData]));
      }
      if (changed & 1) {
        const int32_t v = side.integer(point_source_, load_le<uint16_t>(last_ + kPointSource),
                                       Side::kEncode ? load_le<uint16_t>(item + kPointSource) : 0);
        store_le(last_ + kPointSource, static_cast<uint16_t>(v));
      }
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
  uint8_t last_[20];
  Median5 x_median_[16], y_median_[16];
  uint16_t last_intensity_[16];
  int32_t last_height_[8];
  SymbolModel changed_;
  IntegerCoder intensity_;
  SymbolModel scan_angle_[2];
  IntegerCoder point_source_, dx_, dy_, z_;
  ByteModels return_byte_, classification_, user_data_;
};

}  // namespace

std::unique_ptr<ItemDecoder> make_point10_decoder(uint16_t version, RangeDecoder* decoder) {
  if (version == 1) return std::make_unique<LegacyDecoder<Point10V1>>(decoder, 20);
  return std::make_unique<LegacyDecoder<Point10V2>>(decoder, 20);
}

std::unique_ptr<ItemEncoder> make_point10_encoder(uint16_t version, RangeEncoder* encoder) {
  if (version == 1) return std::make_unique<LegacyEncoder<Point10V1>>(encoder, 20);
  return std::make_unique<LegacyEncoder<Point10V2>>(encoder, 20);
}
