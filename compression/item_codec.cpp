#include "compression/item_codec.h"

#include "compression/detail/layered_items.h"
#include "compression/detail/legacy_items.h"

bool item_is_layered(const RkpItem& item) {
  switch (item.type) {
    case RkpItem::POINT14:
    case RkpItem::RGB14:
    case RkpItem::RGBNIR14:
    case RkpItem::BYTE14:
      return item.version >= 2 && item.version <= 4;
    case RkpItem::WAVEPACKET14:
      return item.version == 3 || item.version == 4;
    default:
      return false;
  }
}

bool item_is_codable(const RkpItem& item) {
  switch (item.type) {
    case RkpItem::POINT10:
      return item.size == 20 && (item.version == 1 || item.version == 2);
    case RkpItem::GPSTIME11:
      return item.size == 8 && (item.version == 1 || item.version == 2);
    case RkpItem::RGB12:
      return item.size == 6 && (item.version == 1 || item.version == 2);
    case RkpItem::WAVEPACKET13:
      return item.size == 29 && item.version == 1;
    case RkpItem::BYTE:
      return item.size >= 1 && (item.version == 1 || item.version == 2);
    case RkpItem::POINT14:
      return item.size == 30 && item_is_layered(item);
    case RkpItem::RGB14:
      return item.size == 6 && item_is_layered(item);
    case RkpItem::RGBNIR14:
      return item.size == 8 && item_is_layered(item);
    case RkpItem::WAVEPACKET14:
      return item.size == 29 && item_is_layered(item);
    case RkpItem::BYTE14:
      return item.size >= 1 && item_is_layered(item);
    default:
      return false;
  }
}

std::unique_ptr<ItemDecoder> make_item_decoder(const RkpItem& item, RangeDecoder* decoder,
                                               uint32_t selection) {
  if (!item_is_codable(item)) return nullptr;
  switch (item.type) {
    case RkpItem::POINT10:
      return make_point10_decoder(item.version, decoder);
    case RkpItem::GPSTIME11:
      return make_gpstime11_decoder(item.version, decoder);
    case RkpItem::RGB12:
      return make_rgb12_decoder(item.version, decoder);
    case RkpItem::WAVEPACKET13:
      return make_wavepacket13_decoder(decoder);
    case RkpItem::BYTE:
      return make_byte_decoder(item.version, item.size, decoder);
    default:
      return make_layered_decoder(item, selection);
  }
}

std::unique_ptr<ItemEncoder> make_item_encoder(const RkpItem& item, RangeEncoder* encoder) {
  if (!item_is_codable(item)) return nullptr;
  switch (item.type) {
    case RkpItem::POINT10:
      return make_point10_encoder(item.version, encoder);
    case RkpItem::GPSTIME11:
      return make_gpstime11_encoder(item.version, encoder);
    case RkpItem::RGB12:
      return make_rgb12_encoder(item.version, encoder);
    case RkpItem::WAVEPACKET13:
      return make_wavepacket13_encoder(encoder);
    case RkpItem::BYTE:
      return make_byte_encoder(item.version, item.size, encoder);
    default:
      return make_layered_encoder(item);
  }
}
