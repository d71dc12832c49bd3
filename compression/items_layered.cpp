#include "compression/detail/layered_items.h"

std::unique_ptr<ItemDecoder> make_layered_decoder(const RkpItem&, uint32_t) {
  return nullptr;
}
std::unique_ptr<ItemEncoder> make_layered_encoder(const RkpItem&) {
  return nullptr;
}
