// Fuzz target: arbitrary bytes as a LAS file, opened from memory and read for a bounded number of
// points, once plainly and once through the automatic re-offsetting reader.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "pointio/lasreaderlas.h"
#include "pointio/lasrequantize.h"

namespace {

void read_some(LASreaderLAS& reader, const uint8_t* data, size_t size) {
  ByteStreamInArray stream(data, static_cast<int64_t>(size));
  if (!reader.open(&stream)) return;
  double sum = 0;
  for (int n = 0; n < 2000 && reader.read_point(); n++) sum += reader.point.get_x() + reader.point.get_z();
  if (reader.get_npoints() > 1 && reader.seek(1)) reader.read_point();
  reader.header.vlr_geo_key_entries();
  reader.header.vlr_geo_double_params();
  for (int i = 1; i < 256; i++) reader.header.vlr_wave_packet_descr(i);
  reader.inside_rectangle(sum, sum, sum + 1, sum + 1);
  reader.read_point();
  reader.close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LASreaderLAS plain;
  read_some(plain, data, size);
  LASreaderLAS reoffset;
  reoffset.set_stage(LASreader::STAGE_REQUANTIZE,
                     std::make_unique<LASrequantizeStage>(LASrequantizeStage::auto_reoffset()));
  read_some(reoffset, data, size);
  return 0;
}
