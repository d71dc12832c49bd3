#include "pointio/detail/lasvlrraster.h"

#include "common/messages.h"
#include "pointio/bytestreamin.h"
#include "pointio/bytestreamout.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/lasheader.h"

namespace {

struct IntField {
  const char* name;
  int32_t LASvlrRasterRKP::*member;
};
struct RealField {
  const char* name;
  double LASvlrRasterRKP::*member;
};
constexpr IntField kInts[] = {
    {"nbands", &LASvlrRasterRKP::nbands},       {"nbits", &LASvlrRasterRKP::nbits},
    {"ncols", &LASvlrRasterRKP::ncols},         {"nrows", &LASvlrRasterRKP::nrows},
    {"reserved1", &LASvlrRasterRKP::reserved1}, {"reserved2", &LASvlrRasterRKP::reserved2},
};
constexpr RealField kReals[] = {
    {"stepx", &LASvlrRasterRKP::stepx},     {"stepx_y", &LASvlrRasterRKP::stepx_y},
    {"stepy", &LASvlrRasterRKP::stepy},     {"stepy_x", &LASvlrRasterRKP::stepy_x},
    {"llx", &LASvlrRasterRKP::llx},         {"lly", &LASvlrRasterRKP::lly},
    {"sigmaxy", &LASvlrRasterRKP::sigmaxy},
};

}  // namespace

bool LASvlrRasterRKP::read(ByteStreamIn& stream) {
  const char* field = "";
  try {
    for (const IntField& f : kInts) {
      field = f.name;
      stream.get32_le(reinterpret_cast<uint8_t*>(&(this->*f.member)));
    }
    for (const RealField& f : kReals) {
      field = f.name;
      stream.get64_le(reinterpret_cast<uint8_t*>(&(this->*f.member)));
    }
  } catch (const ByteStreamError&) {
    print_message("ERROR: reading LASvlrRasterRKP.%s\n", field);
    return false;
  }
  return true;
}

bool LASvlrRasterRKP::write(ByteStreamOut& stream) const {
  for (const IntField& f : kInts) {
    if (!stream.put32_le(reinterpret_cast<const uint8_t*>(&(this->*f.member)))) {
      print_message("ERROR: writing LASvlrRasterRKP.%s\n", f.name);
      return false;
    }
  }
  for (const RealField& f : kReals) {
    if (!stream.put64_le(reinterpret_cast<const uint8_t*>(&(this->*f.member)))) {
      print_message("ERROR: writing LASvlrRasterRKP.%s\n", f.name);
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> LASvlrRasterRKP::payload() const {
  ByteStreamOutArray out(kSize);
  write(out);
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

void add_raster_vlr(LASheader& header, uint16_t record_id, const LASvlrRasterRKP& raster) {
  header.add_vlr("Raster RKP", record_id, raster.payload(), kVlrDescription);
}
