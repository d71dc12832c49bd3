#pragma once
// Factories of the layered LAS 1.4 item codecs.

#include <cstdint>
#include <memory>

#include "compression/item_codec.h"

std::unique_ptr<ItemDecoder> make_layered_decoder(const RkpItem& item, uint32_t selection);
std::unique_ptr<ItemEncoder> make_layered_encoder(const RkpItem& item);

std::unique_ptr<ItemDecoder> make_point14_decoder(uint16_t version, uint32_t selection);
std::unique_ptr<ItemEncoder> make_point14_encoder(uint16_t version);
