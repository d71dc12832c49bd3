// POINT14 items of layered chunks: the LAS 1.4 point core in nine layers (channel, returns and
// XY; Z; classification; flags; intensity; scan angle; user data; point source ID; GPS time),
// with separate statistics for each of the four scanner channels.
#include <algorithm>
#include <array>
#include <cmath>

#include "compression/detail/bytes.h"
#include "compression/detail/gps_sequences.h"
#include "compression/detail/layered_coders.h"
#include "compression/detail/layered_items.h"
#include "compression/detail/layers.h"

namespace {

enum Layer : size_t {
  XY = 0,
  Z,
  CLASSIFICATION,
  FLAGS,
  INTENSITY,
  SCAN_ANGLE,
  USER_DATA,
  POINT_SOURCE,
  GPS_TIME
};
constexpr size_t kLayers = 9;

// Offsets in the 30-byte record.
constexpr int kX = 0, kY = 4, kZ = 8, kIntensity = 12, kReturns = 14, kFlags = 15, kClass = 16,
              kUserData = 17, kScanAngle = 18, kPointSource = 20, kGpsTime = 22;

constexpr uint8_t kReturnMap[16][16] = {
    {0, 1, 2, 3, 4, 5, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5}, {1, 0, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
    {2, 1, 2, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3}, {3, 3, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, {5, 3, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {3, 3, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4}, {4, 3, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4}, {5, 3, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4, 4}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5}};

// Symbol models indexed by a small value, created the first time their index is met.
template <uint32_t kModels, uint32_t kSymbols>
class OnDemandModels {
 public:
  SymbolModel& get(uint32_t index, bool for_decoder) {
    auto& m = models_[index];
    if (!m) {
      m = std::make_unique<SymbolModel>(kSymbols, for_decoder);
      m->init();
    }
    return *m;
  }
  void reset() {
    for (auto& m : models_)
      if (m) m->init();
  }

 private:
  std::array<std::unique_ptr<SymbolModel>, kModels> models_;
};

struct Point14Models {
  explicit Point14Models(bool d)
      : changed_values{SymbolModel(128, d), SymbolModel(128, d), SymbolModel(128, d), SymbolModel(128, d),
                       SymbolModel(128, d), SymbolModel(128, d), SymbolModel(128, d), SymbolModel(128, d)},
        scanner_channel(3, d),
        return_number_same_time(13, d),
        dx(32, 2),
        dy(32, 22),
        z(32, 20),
        intensity(16, 4),
        scan_angle(16, 2),
        point_source(16, 1),
        gps_multi(515, d),
        gps_zero(5, d),
        gps(32, 9) {}

  void init(bool d) {
    for (auto& m : changed_values) m.init();
    scanner_channel.init();
    number_of_returns.reset();
    return_number.reset();
    return_number_same_time.init();
    classification.reset();
    flags.reset();
    user_data.reset();
    gps_multi.init();
    gps_zero.init();
    for (IntegerCoder* ic : {&dx, &dy, &z, &intensity, &scan_angle, &point_source, &gps})
      d ? ic->init_decompressor() : ic->init_compressor();
  }

  SymbolModel changed_values[8];
  SymbolModel scanner_channel;
  OnDemandModels<16, 16> number_of_returns, return_number;
  SymbolModel return_number_same_time;
  IntegerCoder dx, dy, z;
  OnDemandModels<64, 256> classification;
  OnDemandModels<64, 64> flags;
  OnDemandModels<64, 256> user_data;
  IntegerCoder intensity, scan_angle, point_source;
  SymbolModel gps_multi, gps_zero;
  IntegerCoder gps;
};

struct Point14Context {
  bool fresh = true;
  uint8_t last[30] = {};
  bool time_changed = false;
  uint16_t last_intensity[8];
  int32_t last_z[8];
  Median5 x_median[12], y_median[12];
  GpsSequences times;
  std::unique_ptr<Point14Models> models;
};

class Point14Codec {
 public:
  Point14Codec(uint16_t version, bool for_decoder) : version_(version), decoder_(for_decoder) {}

  void init(const uint8_t* item, uint32_t& context) {
    for (auto& c : contexts_) c.fresh = true;
    current_ = (item[kFlags] >> 4) & 3;
    context = current_;
    init_context(current_, item);
  }

  // sides[i] codes layer i; changed[i] says whether layer i is coded at this chunk. On the
  // encoding side every layer is coded and mark() records which ones held a change.
  template <class Side, class Mark>
  void code(Side* sides, const uint8_t* changed, uint8_t* item, uint32_t& context, Mark mark) {
    Point14Context* ctx = &contexts_[current_];
    uint8_t* L = ctx->last;
    const uint32_t last_r = L[kReturns] & 15u, last_n = L[kReturns] >> 4;
    const uint32_t lpr =
        (last_r == 1 ? 1u : 0u) + (last_r >= last_n ? 2u : 0u) + (ctx->time_changed ? 4u : 0u);

    // The point's changes, against the last item of its own channel.
    uint32_t c = 0;
    uint32_t channel = current_;
    const uint8_t* target = L;
    if constexpr (Side::kEncode) {
      channel = (item[kFlags] >> 4) & 3;
      if (channel != current_) {
        c |= 64;
        if (!contexts_[channel].fresh) target = contexts_[channel].last;
      }
      const uint32_t r = item[kReturns] & 15u, n = item[kReturns] >> 4;
      const uint32_t tr = target[kReturns] & 15u, tn = target[kReturns] >> 4;
      if (std::memcmp(item + kPointSource, target + kPointSource, 2) != 0) c |= 32;
      if (std::memcmp(item + kGpsTime, target + kGpsTime, 8) != 0) c |= 16;
      if (std::memcmp(item + kScanAngle, target + kScanAngle, 2) != 0) c |= 8;
      if (n != tn) c |= 4;
      if (r == ((tr + 1) & 15)) {
        c |= 1;
      } else if (r == ((tr + 15) & 15)) {
        c |= 2;
      } else if (r != tr) {
        c |= 3;
      }
    }
    c = sides[XY].symbol(ctx->models->changed_values[lpr], c);

    if (c & 64) {
      const uint32_t d = sides[XY].symbol(ctx->models->scanner_channel, (channel + 4 - current_ - 1) & 3);
      channel = (current_ + d + 1) & 3;
      if (contexts_[channel].fresh) init_context(channel, L);
      current_ = channel;
      ctx = &contexts_[current_];
      L = ctx->last;
      L[kFlags] = static_cast<uint8_t>((L[kFlags] & ~0x30u) | (channel << 4));
    }
    if (version_ >= 4 || (c & 64)) context = current_;
    Point14Models& m = *ctx->models;

    uint32_t n = L[kReturns] >> 4;
    if (c & 4) n = sides[XY].symbol(m.number_of_returns.get(n, decoder_), item[kReturns] >> 4);
    uint32_t r = L[kReturns] & 15u;
    switch (c & 3) {
      case 1:
        r = (r + 1) & 15;
        break;
      case 2:
        r = (r + 15) & 15;
        break;
      case 3:
        if (c & 16) {
          r = sides[XY].symbol(m.return_number.get(r, decoder_), item[kReturns] & 15u);
        } else {
          r = (r + sides[XY].symbol(m.return_number_same_time, ((item[kReturns] & 15u) + 16 - r - 2) & 15) +
               2) &
              15;
        }
        break;
      default:
        break;
    }
    L[kReturns] = static_cast<uint8_t>(r | (n << 4));
    const uint32_t map = kReturnMap[n][r];
    const uint32_t level = std::min(n > r ? n - r : r - n, 7u);
    const uint32_t g = (c >> 4) & 1;
    const uint32_t cpr = (r == 1 ? 2u : 0u) + (r >= n ? 1u : 0u);
    const uint32_t single = n == 1 ? 1 : 0;

    const int32_t last_x = load_le<int32_t>(L + kX);
    const int32_t dx =
        sides[XY].integer(m.dx, ctx->x_median[2 * map + g].get(),
                          Side::kEncode ? wrap_sub(load_le<int32_t>(item + kX), last_x) : 0, single);
    store_le(L + kX, wrap_add(last_x, dx));
    ctx->x_median[2 * map + g].add(dx);
    const uint32_t kx = m.dx.get_k();
    const int32_t last_y = load_le<int32_t>(L + kY);
    const int32_t dy = sides[XY].integer(m.dy, ctx->y_median[2 * map + g].get(),
                                         Side::kEncode ? wrap_sub(load_le<int32_t>(item + kY), last_y) : 0,
                                         single + (kx < 20 ? kx & ~1u : 20u));
    store_le(L + kY, wrap_add(last_y, dy));
    ctx->y_median[2 * map + g].add(dy);

    if (changed[Z]) {
      const uint32_t kk = (kx + m.dy.get_k()) / 2;
      if constexpr (Side::kEncode)
        if (std::memcmp(item + kZ, L + kZ, 4) != 0) mark(Z);
      ctx->last_z[level] =
          sides[Z].integer(m.z, ctx->last_z[level], Side::kEncode ? load_le<int32_t>(item + kZ) : 0,
                           single + (kk < 18 ? kk & ~1u : 18u));
      store_le(L + kZ, ctx->last_z[level]);
    }
    if (changed[CLASSIFICATION]) {
      if constexpr (Side::kEncode)
        if (item[kClass] != L[kClass]) mark(CLASSIFICATION);
      const uint32_t index = 2 * (L[kClass] & 31u) + (cpr == 3 ? 1u : 0u);
      L[kClass] = static_cast<uint8_t>(
          sides[CLASSIFICATION].symbol(m.classification.get(index, decoder_), item[kClass]));
    }
    if (changed[FLAGS]) {
      const auto flag_symbol = [](uint8_t b) { return uint32_t(((b >> 2) & 0x30) | (b & 0x0F)); };
      if constexpr (Side::kEncode)
        if (flag_symbol(item[kFlags]) != flag_symbol(L[kFlags])) mark(FLAGS);
      const uint32_t s =
          sides[FLAGS].symbol(m.flags.get(flag_symbol(L[kFlags]), decoder_), flag_symbol(item[kFlags]));
      L[kFlags] = static_cast<uint8_t>((s & 0x0F) | (L[kFlags] & 0x30) | ((s & 0x30) << 2));
    }
    if (changed[INTENSITY]) {
      if constexpr (Side::kEncode)
        if (std::memcmp(item + kIntensity, L + kIntensity, 2) != 0) mark(INTENSITY);
      uint16_t& last = ctx->last_intensity[2 * cpr + g];
      last = static_cast<uint16_t>(sides[INTENSITY].integer(
          m.intensity, last, Side::kEncode ? load_le<uint16_t>(item + kIntensity) : 0, cpr));
      store_le(L + kIntensity, last);
    }
    if (changed[SCAN_ANGLE] && (c & 8)) {
      if constexpr (Side::kEncode) mark(SCAN_ANGLE);
      const int32_t v =
          sides[SCAN_ANGLE].integer(m.scan_angle, load_le<uint16_t>(L + kScanAngle),
                                    Side::kEncode ? load_le<uint16_t>(item + kScanAngle) : 0, g);
      store_le(L + kScanAngle, static_cast<uint16_t>(v));
    }
    if (changed[USER_DATA]) {
      if constexpr (Side::kEncode)
        if (item[kUserData] != L[kUserData]) mark(USER_DATA);
      L[kUserData] = static_cast<uint8_t>(
          sides[USER_DATA].symbol(m.user_data.get(L[kUserData] / 4u, decoder_), item[kUserData]));
    }
    if (changed[POINT_SOURCE] && (c & 32)) {
      if constexpr (Side::kEncode) mark(POINT_SOURCE);
      const int32_t v =
          sides[POINT_SOURCE].integer(m.point_source, load_le<uint16_t>(L + kPointSource),
                                      Side::kEncode ? load_le<uint16_t>(item + kPointSource) : 0, 0);
      store_le(L + kPointSource, static_cast<uint16_t>(v));
    }
    if (changed[GPS_TIME] && g) {
      if constexpr (Side::kEncode) mark(GPS_TIME);
      code_time(sides[GPS_TIME], *ctx, Side::kEncode ? load_le<uint64_t>(item + kGpsTime) : 0);
      store_le(L + kGpsTime, ctx->times.time());
    }
    if constexpr (!Side::kEncode) std::memcpy(item, L, 30);
    ctx->time_changed = g != 0;
  }

 private:
  void init_context(uint32_t index, const uint8_t* source) {
    Point14Context& c = contexts_[index];
    if (!c.models) c.models = std::make_unique<Point14Models>(decoder_);
    c.models->init(decoder_);
    for (auto& m : c.x_median) m.reset();
    for (auto& m : c.y_median) m.reset();
    const int32_t z = load_le<int32_t>(source + kZ);
    const uint16_t intensity = load_le<uint16_t>(source + kIntensity);
    for (int i = 0; i < 8; i++) {
      c.last_z[i] = z;
      c.last_intensity[i] = intensity;
    }
    c.times.reset(load_le<uint64_t>(source + kGpsTime));
    if (c.last != source) std::memcpy(c.last, source, 30);
    c.time_changed = false;
    c.fresh = false;
  }

  template <class Side>
  void code_time(Side& side, Point14Context& c, uint64_t actual) {
    Point14Models& m = *c.models;
    GpsSequences& q = c.times;
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
          s = other ? other + 1 : (fits ? 0 : 1);
        }
        s = side.symbol(m.gps_zero, s);
        if (s == 0) {
          q.code_first_difference(side, m.gps, static_cast<int32_t>(difference));
        } else if (s == 1) {
          q.code_full_value(side, m.gps, actual);
        } else {
          q.switch_by(s - 1);
          continue;
        }
        return;
      }
      uint32_t s = 0;
      if constexpr (Side::kEncode) {
        const uint32_t other = fits ? 0 : q.other_sequence(actual);
        s = fits ? q.multiplier_symbol(static_cast<int32_t>(difference)) : (other ? other + 511 : 511);
      }
      s = side.symbol(m.gps_multi, s);
      if (s == 511) {
        q.code_full_value(side, m.gps, actual);
      } else if (s > 511) {
        q.switch_by(s - 511);
        continue;
      } else {
        q.code_difference(side, m.gps, s, static_cast<int32_t>(difference));
      }
      return;
    }
  }

  uint16_t version_;
  bool decoder_;
  uint32_t current_ = 0;
  Point14Context contexts_[4];
};

const std::vector<uint32_t> kPoint14Masks = {0,
                                             field_mask::kZ,
                                             field_mask::kClassification,
                                             field_mask::kFlags,
                                             field_mask::kIntensity,
                                             field_mask::kScanAngle,
                                             field_mask::kUserData,
                                             field_mask::kPointSource,
                                             field_mask::kGpsTime};

}  // namespace

std::unique_ptr<ItemDecoder> make_point14_decoder(uint16_t version, uint32_t selection) {
  return std::make_unique<LayeredDecoder<Point14Codec>>(kPoint14Masks, selection, version, true);
}
std::unique_ptr<ItemEncoder> make_point14_encoder(uint16_t version) {
  // The layer of the returns and x and y is stored in every chunk, even one of a single point.
  return std::make_unique<LayeredEncoder<Point14Codec>>(kLayers, XY, version, false);
}
