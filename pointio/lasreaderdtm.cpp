#include "pointio/detail/lasreaderdtm.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/messages.h"
#include "pointio/detail/lasvlrraster.h"

namespace {

constexpr char kSignature[] = "PLANS-PC BINARY .DTM";
constexpr int64_t kPaddedHeader = 200;
constexpr int64_t kPackedHeader = 164;

struct ZoneCode {
  int zone;
  int32_t epsg;
};
constexpr ZoneCode kNad83StatePlanes[] = {
#include "pointio/detail/dtm_state_planes.inc"
};

}  // namespace

int32_t nad83_state_plane_epsg(int zone) {
  for (const ZoneCode& z : kNad83StatePlanes) {
    if (z.zone == zone) return z.epsg;
  }
  return 0;
}

LASreaderDTM::~LASreaderDTM() {
  close(true);
}

bool LASreaderDTM::read_header(const char* file_name) {
  std::FILE* f = file_.get();
  const auto get = [&](void* to, size_t n, const char* what) {
    if (std::fread(to, 1, n, f) == n) return true;
    print_message("ERROR: reading %s for '%s'\n", what, file_name);
    return false;
  };
  char signature[21];
  if (!get(signature, 21, "21 byte signature")) return false;
  if (std::memcmp(signature, kSignature, 20) != 0) {
    print_message("ERROR: cannot open DTM file '%s', wrong signature '%.21s'\n", file_name, signature);
    return false;
  }
  if (!get(dtm_.description, 61, "61 byte description") || !get(&dtm_.version, 4, "4 byte version"))
    return false;
  if (std::fabs(static_cast<double>(dtm_.version) - 3.1) > 1e-6) {
    print_message("WARNING: expected 3.1 but version is %1.1f\n", static_cast<double>(dtm_.version));
  }
  if (!get(&dtm_.ll_x, 8, "8 byte lower left x") || !get(&dtm_.ll_y, 8, "8 byte lower left y") ||
      !get(&dtm_.min_z, 8, "8 byte min z") || !get(&dtm_.max_z, 8, "8 byte max z") ||
      !get(&dtm_.rotation, 8, "8 byte rotation") || !get(&dtm_.xdim, 8, "8 byte column spacing") ||
      !get(&dtm_.ydim, 8, "8 byte row spacing") || !get(&dtm_.ncols, 4, "4 byte number of columns") ||
      !get(&dtm_.nrows, 4, "4 byte number of rows") ||
      !get(&dtm_.horizontal_units, 2, "2 byte horizontal_units") ||
      !get(&dtm_.vertical_units, 2, "2 byte vertical_units") ||
      !get(&dtm_.data_type, 2, "2 byte data_type") ||
      !get(&dtm_.coordinate_system, 2, "2 byte coordinate_system") ||
      !get(&dtm_.coordinate_zone, 2, "2 byte coordinate_zone") ||
      !get(&dtm_.horizontal_datum, 2, "2 byte horizontal_datum") ||
      !get(&dtm_.vertical_datum, 2, "2 byte vertical_datum")) {
    return false;
  }
  if (dtm_.rotation != 0.0) print_message("WARNING: expected 0.0 but rotation is %g\n", dtm_.rotation);
  if (!std::isfinite(dtm_.ll_x) || !std::isfinite(dtm_.ll_y)) {
    print_message("ERROR: DTM lower left corner of '%s' is not a number\n", file_name);
    return false;
  }
  if (!(dtm_.xdim != 0.0 && std::isfinite(dtm_.xdim))) {
    print_message("WARNING: xdim was %g. setting to 1.0\n", dtm_.xdim);
    dtm_.xdim = 1.0;
  }
  if (!(dtm_.ydim != 0.0 && std::isfinite(dtm_.ydim))) {
    print_message("WARNING: ydim was %g. setting to 1.0\n", dtm_.ydim);
    dtm_.ydim = 1.0;
  }
  if (dtm_.data_type < 0 || dtm_.data_type > 3) {
    print_message("ERROR: unknown data type %d\n", dtm_.data_type);
    return false;
  }
  if (dtm_.ncols <= 0 || dtm_.nrows <= 0) {
    print_message("ERROR: DTM grid of %d by %d cells in '%s' is not valid\n", dtm_.ncols, dtm_.nrows,
                  file_name);
    return false;
  }
  static constexpr int kBytes[4] = {2, 4, 4, 8};
  cell_bytes_ = kBytes[dtm_.data_type];
  // Writers pad the header to 200 bytes; a file that holds its cells right after the fields
  // (and no more) was written without the padding.
  if (fseeko(f, 0, SEEK_END) != 0) return false;
  const int64_t size = ftello(f);
  const int64_t cells_bytes = int64_t{dtm_.ncols} * dtm_.nrows * cell_bytes_;
  data_start_ = size - kPackedHeader == cells_bytes ? kPackedHeader : kPaddedHeader;
  return true;
}

void LASreaderDTM::add_geo_keys() {
  std::vector<uint16_t> keys;  // key id, value pairs
  const int zone = dtm_.coordinate_zone;
  if (dtm_.coordinate_system == 1) {
    int epsg = 0;
    if (dtm_.horizontal_datum == 1) {
      if (zone >= 3 && zone <= 22) {
        epsg = 26700 + zone;
      } else {
        print_message("UTM zone %d for NAD27 out-of-range\n", zone);
      }
    } else if (dtm_.horizontal_datum == 2) {
      if (zone >= 3 && zone <= 22) {
        epsg = 26900 + zone;
      } else if (zone >= 28 && zone <= 38) {
        epsg = 25800 + zone;
      } else {
        print_message("UTM zone %d for NAD83 out-of-range\n", zone);
      }
    } else if (dtm_.horizontal_datum == 3 && zone >= 1 && zone <= 60) {
      epsg = 32600 + zone;
    }
    if (epsg) keys.insert(keys.end(), {1024, 1, 3072, static_cast<uint16_t>(epsg)});
  } else if (dtm_.coordinate_system == 2 && dtm_.horizontal_datum == 2) {
    const int32_t epsg = nad83_state_plane_epsg(zone);
    if (epsg) {
      keys.insert(keys.end(), {1024, 1, 3072, static_cast<uint16_t>(epsg)});
    } else {
      print_message("state plane NAD83 zone %d not implemented\n", zone);
    }
  }
  if (dtm_.horizontal_units == 0 || dtm_.horizontal_units == 1) {
    keys.insert(keys.end(), {3076, static_cast<uint16_t>(dtm_.horizontal_units == 0 ? 9002 : 9001)});
  }
  if (dtm_.vertical_datum >= 1 && dtm_.vertical_datum <= 3) {
    static constexpr uint16_t kVertical[3] = {5102, 5103, 5030};
    keys.insert(keys.end(), {4096, kVertical[dtm_.vertical_datum - 1]});
  }
  if (dtm_.vertical_units == 0 || dtm_.vertical_units == 1) {
    keys.insert(keys.end(), {4099, static_cast<uint16_t>(dtm_.vertical_units == 0 ? 9002 : 9001)});
  }
  if (keys.empty()) return;
  std::vector<uint16_t> directory = {1, 1, 0, static_cast<uint16_t>(keys.size() / 2)};
  for (size_t k = 0; k < keys.size(); k += 2) directory.insert(directory.end(), {keys[k], 0, 1, keys[k + 1]});
  std::vector<uint8_t> payload(directory.size() * 2);
  std::memcpy(payload.data(), directory.data(), payload.size());
  header.add_vlr("LASF_Projection", 34735, std::move(payload), kVlrDescription);
  header.set_view(LASheader::GEO_KEYS, {LASpayloadRef::VLR, static_cast<uint32_t>(header.vlrs.size() - 1)});
}

bool LASreaderDTM::next_cell(double& value) {
  uint8_t b[8];
  if (std::fread(b, 1, static_cast<size_t>(cell_bytes_), file_.get()) != static_cast<size_t>(cell_bytes_)) {
    return false;
  }
  cell_++;
  switch (dtm_.data_type) {
    case 0: {
      int16_t v;
      std::memcpy(&v, b, 2);
      value = v;
      break;
    }
    case 1: {
      int32_t v;
      std::memcpy(&v, b, 4);
      value = v;
      break;
    }
    case 2: {
      float v;
      std::memcpy(&v, b, 4);
      value = static_cast<double>(v);
      break;
    }
    default:
      std::memcpy(&value, b, 8);
      break;
  }
  return true;
}

// Reads every cell once: the elevation range and the number of points make the header exact.
bool LASreaderDTM::scan_cells() {
  const int64_t cells = int64_t{dtm_.ncols} * dtm_.nrows;
  int64_t count = 0;
  double z;
  while (cell_ < cells && next_cell(z)) {
    if (!std::isfinite(z) || z == kNoData) continue;
    header.min_z = count ? std::min(header.min_z, z) : z;
    header.max_z = count ? std::max(header.max_z, z) : z;
    count++;
  }
  short_grid_ = cell_ < cells;
  if (short_grid_) {
    // Cells run column by column: the columns are the complete ones, the rows those of the last.
    print_message("WARNING: end-of-file after %d of %d rows and %d of %d cols. read %lld points\n",
                  static_cast<int>(cell_ % dtm_.nrows), dtm_.nrows, static_cast<int>(cell_ / dtm_.nrows),
                  dtm_.ncols, static_cast<long long>(count));
  }
  if (count == 0) print_message_text("WARNING: DTM raster contains only no data values\n");
  npoints = count;
  cell_ = 0;
  return fseeko(file_.get(), data_start_, SEEK_SET) == 0;
}

bool LASreaderDTM::open(const char* file_name) {
  close(true);
  std::FILE* f = open_binary_file(file_name, 524288);
  if (!f) return false;
  file_.reset(f);
  npoints = p_count = 0;
  incomplete = false;
  quantizer_.reset();
  header.clear();
  dtm_ = DTMheader{};
  if (!read_header(file_name) || fseeko(f, data_start_, SEEK_SET) != 0 || !scan_cells()) return false;
  if (!set_point_type(header, point, 0)) return false;
  set_creation_date(header, file_name);
  // The lower-left corner moves by half a spacing to the first cell's centre.
  const double first_x = dtm_.ll_x + 0.5 * dtm_.xdim, first_y = dtm_.ll_y + 0.5 * dtm_.ydim;
  const double last_x = first_x + (dtm_.ncols - 1) * dtm_.xdim,
               last_y = first_y + (dtm_.nrows - 1) * dtm_.ydim;
  header.min_x = std::min(first_x, last_x);
  header.max_x = std::max(first_x, last_x);
  header.min_y = std::min(first_y, last_y);
  header.max_y = std::max(first_y, last_y);
  header.number_of_point_records = static_cast<uint32_t>(std::min<int64_t>(npoints, UINT32_MAX));
  header.number_of_points_by_return[0] = header.number_of_point_records;
  choose_quantization(header, requested_scale_, requested_offset_);
  snap_bounds(header);
  add_geo_keys();
  LASvlrRasterRKP raster;
  raster.nbits = cell_bytes_ * 8;
  raster.ncols = dtm_.ncols;
  raster.nrows = dtm_.nrows;
  raster.stepx = dtm_.xdim;
  raster.stepy = dtm_.ydim;
  raster.llx = first_x;
  raster.lly = first_y;
  add_raster_vlr(header, LASvlrRasterRKP::kRecordDtm, raster);
  return bind_stages();
}

bool LASreaderDTM::read_point_unfiltered() {
  if (!file_) return false;
  const int64_t cells = int64_t{dtm_.ncols} * dtm_.nrows;
  double z;
  while (cell_ < cells && next_cell(z)) {
    if (!std::isfinite(z) || z == kNoData) continue;
    const int64_t cell = cell_ - 1;
    const double x = dtm_.ll_x + 0.5 * dtm_.xdim + static_cast<double>(cell / dtm_.nrows) * dtm_.xdim;
    const double y = dtm_.ll_y + 0.5 * dtm_.ydim + static_cast<double>(cell % dtm_.nrows) * dtm_.ydim;
    if (!quantizer_.quantize(header, x, y, z, point)) continue;
    p_count++;
    return true;
  }
  if (short_grid_) incomplete = true;
  return false;
}

void LASreaderDTM::close(bool close_stream) {
  quantizer_.report();
  quantizer_.reset();
  if (close_stream) file_.reset();
}
