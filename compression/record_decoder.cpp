#include "compression/detail/record_decoder.h"

#include <tuple>
#include <type_traits>
#include <utility>

#include "compression/detail/legacy_codecs.h"

namespace {

template <class... Codecs>
class LegacyRecordDecoder final : public RecordDecoder {
 public:
  explicit LegacyRecordDecoder(RangeDecoder* decoder)
      : codecs_(Codecs(Codecs::kItemSize, true)...), decoder_(decoder) {}

  void init(const uint8_t* record) override {
    std::apply(
        [record](auto&... codec) {
          uint32_t offset = 0;
          ((codec.init(record + offset, true), offset += std::remove_reference_t<decltype(codec)>::kItemSize),
           ...);
        },
        codecs_);
  }

  // Flattened: the codecs must be inlined here for the copy below to stay in registers, and the
  // compiler does not inline their large bodies on its own.
  [[gnu::flatten]] void read(uint8_t* out, uint32_t n, uint32_t& decoded) override {
    // A copy whose address never leaves this function keeps the coder's value and length in
    // registers; a throw abandons the chunk, so the copy need not be written back then.
    RangeDecoder local = *decoder_;
    DecodeSide side{&local};
    for (uint32_t i = 0; i < n; i++) {
      std::apply(
          [&side, out](auto&... codec) {
            uint8_t* item = out;
            ((codec.code(side, item), item += std::remove_reference_t<decltype(codec)>::kItemSize), ...);
          },
          codecs_);
      out += kLength;
      decoded++;
    }
    *decoder_ = local;
  }

 private:
  static constexpr uint32_t kLength = (Codecs::kItemSize + ...);
  std::tuple<Codecs...> codecs_;
  RangeDecoder* decoder_;
};

}  // namespace

std::unique_ptr<RecordDecoder> make_record_decoder(const std::vector<RkpItem>& items, RangeDecoder* decoder) {
  using namespace legacy_codecs;
  auto is = [&items](size_t i, uint16_t type) {
    return i < items.size() && items[i].type == type && items[i].version == 2 && item_is_codable(items[i]);
  };
  if (!is(0, RkpItem::POINT10)) return nullptr;
  if (items.size() == 1) return std::make_unique<LegacyRecordDecoder<Point10V2>>(decoder);
  if (items.size() == 2 && is(1, RkpItem::GPSTIME11))
    return std::make_unique<LegacyRecordDecoder<Point10V2, GpsTime11V2>>(decoder);
  if (items.size() == 2 && is(1, RkpItem::RGB12))
    return std::make_unique<LegacyRecordDecoder<Point10V2, Rgb12V2>>(decoder);
  if (items.size() == 3 && is(1, RkpItem::GPSTIME11) && is(2, RkpItem::RGB12))
    return std::make_unique<LegacyRecordDecoder<Point10V2, GpsTime11V2, Rgb12V2>>(decoder);
  return nullptr;
}
