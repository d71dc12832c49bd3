// Fuzz target: one chunk of compressed points for the item set named by CM_FUZZ_ITEMS (chosen at
// build time, one executable per item decoder). The first input byte picks the item versions and
// the layers to decode, the next two the number of points (up to 4096); the rest is the chunk: the raw first
// point, then the coded points (or, for layered items, the point count, layer sizes and layers).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "compression/detail/chunk_worker.h"

namespace {

std::vector<RkpItem> items_for(uint8_t selector) {
  [[maybe_unused]] const uint16_t legacy = (selector & 1) ? 1 : 2;
  [[maybe_unused]] const uint16_t layered = (selector & 2) ? 4 : 3;
  [[maybe_unused]] const uint16_t extra = static_cast<uint16_t>(1 + (selector >> 4));
  std::vector<RkpItem> items;
#if CM_FUZZ_ITEMS == 1  // POINT10
  items = {{RkpItem::POINT10, 20, legacy}};
#elif CM_FUZZ_ITEMS == 2  // GPSTIME11 after POINT10
  items = {{RkpItem::POINT10, 20, legacy}, {RkpItem::GPSTIME11, 8, legacy}};
#elif CM_FUZZ_ITEMS == 3  // RGB12
  items = {{RkpItem::POINT10, 20, legacy}, {RkpItem::RGB12, 6, legacy}};
#elif CM_FUZZ_ITEMS == 4  // WAVEPACKET13
  items = {{RkpItem::POINT10, 20, legacy}, {RkpItem::WAVEPACKET13, 29, 1}};
#elif CM_FUZZ_ITEMS == 5  // BYTE
  items = {{RkpItem::POINT10, 20, legacy}, {RkpItem::BYTE, extra, legacy}};
#elif CM_FUZZ_ITEMS == 6  // POINT14: the layered chunk header and the point core
  items = {{RkpItem::POINT14, 30, layered}};
#elif CM_FUZZ_ITEMS == 7  // RGB14 and RGBNIR14
  items = {{RkpItem::POINT14, 30, layered},
           (selector & 4) ? RkpItem{RkpItem::RGBNIR14, 8, layered} : RkpItem{RkpItem::RGB14, 6, layered}};
#elif CM_FUZZ_ITEMS == 8  // WAVEPACKET14
  items = {{RkpItem::POINT14, 30, layered}, {RkpItem::WAVEPACKET14, 29, layered}};
#elif CM_FUZZ_ITEMS == 9  // BYTE14
  items = {{RkpItem::POINT14, 30, layered}, {RkpItem::BYTE14, static_cast<uint16_t>(extra + 10), layered}};
#endif
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::vector<RkpItem> items = items_for(data[0]);
  const bool layered = items[0].type == RkpItem::POINT14;
  // Layers of every field, or of a few, as the field mask selects.
  const uint32_t selection = (data[0] & 8) ? 0xFFFFFFFFu : (1u | (uint32_t(data[0]) << 4) | 0x50000u);
  const uint32_t count = 1 + ((data[1] | (uint32_t(data[2]) << 8)) & 0xFFF);
  ChunkWorker worker(items, layered, selection);
  const std::vector<uint8_t> bytes(data + 3, data + size);
  std::vector<uint8_t> records(size_t(count) * worker.record_length());
  worker.memory.attach(bytes.data(), bytes.size());
  try {
    worker.begin(worker.memory, count);
  } catch (const CodecError&) {
    return 0;
  }
  ChunkWorker::Status status;
  const uint32_t decoded = worker.decode(count, records.data(), status);
  if (decoded > count) __builtin_trap();
  if (status == ChunkWorker::OK) worker.ended_at(static_cast<int64_t>(bytes.size()));
  return 0;
}
