#include "pointio/detail/lasreaderbil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "common/messages.h"
#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/lasvlrraster.h"

namespace {

std::string lower(std::string_view word) {
  std::string s(word);
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  return s;
}

bool read_real(std::string_view word, double& value) {
  const char* p = word.data();
  const char* const end = p + word.size();
  if (p < end && *p == '+') p++;
  const auto result = std::from_chars(p, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool read_whole(std::string_view word, int64_t& value) {
  double v = 0;
  if (!read_real(word, v) || !(std::fabs(v) < 9e15) || v != std::floor(v)) return false;
  value = static_cast<int64_t>(v);
  return true;
}

// The first two words of a line.
void split(std::string_view line, std::string_view& key, std::string_view& value) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  while (i < line.size() && blank(line[i])) i++;
  size_t j = i;
  while (j < line.size() && !blank(line[j])) j++;
  key = line.substr(i, j - i);
  while (j < line.size() && blank(line[j])) j++;
  size_t k = j;
  while (k < line.size() && !blank(line[k])) k++;
  value = line.substr(j, k - j);
}

// A companion (.hdr, .blw) is looked for under both spellings of its ending, so one that does not
// exist is no fault and prints nothing: the caller reports it when neither spelling exists. Opening
// it is not tried then, because a failed open prints an error, and any error printed fails the run.
// A companion that exists but cannot be read is a fault and is reported as one.
std::unique_ptr<BufferedInput> open_companion(const std::string& name) {
  std::error_code absent;
  if (!std::filesystem::exists(name, absent)) return nullptr;
  std::unique_ptr<DecompressingFile> file = open_decompressing_file(name.c_str(), "r");
  return file ? std::make_unique<BufferedInput>(std::move(file), 0) : nullptr;
}

}  // namespace

bool read_bil_header(BufferedInput& input, BILheader& h) {
  h = BILheader{};
  bool have_ncols = false, have_nrows = false;
  std::string_view line;
  while (input.next_line(line)) {
    std::string_view raw_key, value;
    split(line, raw_key, value);
    if (raw_key.empty()) continue;
    const std::string key = lower(raw_key);
    const std::string text(value);
    if (value.empty()) {
      print_message("WARNING: argument of %s missing for LASreader_bil\n", key.c_str());
      continue;
    }
    int64_t whole = 0;
    double real = 0;
    const auto integer_key = [&](int64_t low, int64_t high) {
      if (read_whole(value, whole) && whole >= low && whole <= high) return true;
      print_message("WARNING: %s '%s' not recognized by LASreader_bil\n", key.c_str(), text.c_str());
      return false;
    };
    const auto real_key = [&]() {
      if (read_real(value, real) && std::isfinite(real)) return true;
      print_message("WARNING: %s '%s' not recognized by LASreader_bil\n", key.c_str(), text.c_str());
      return false;
    };
    if (key == "ncols") {
      if (integer_key(1, INT32_MAX)) h.ncols = static_cast<int32_t>(whole), have_ncols = true;
    } else if (key == "nrows") {
      if (integer_key(1, INT32_MAX)) h.nrows = static_cast<int32_t>(whole), have_nrows = true;
    } else if (key == "nbands") {
      if (integer_key(1, 65535)) h.nbands = static_cast<int32_t>(whole);
    } else if (key == "nbits") {
      if (integer_key(1, 64)) h.nbits = static_cast<int32_t>(whole);
    } else if (key == "byteorder") {
      const std::string v = lower(value);
      if (v == "i" || v == "intel" || v == "lsbfirst") {
        h.big_endian = false;
      } else if (v == "m" || v == "motorola" || v == "msbfirst") {
        h.big_endian = true;
      } else {
        print_message("WARNING: byteorder '%s' not recognized by LASreader_bil\n", text.c_str());
      }
    } else if (key == "pixeltype") {
      const std::string v = lower(value);
      if (v == "float") {
        h.pixel_type = BILheader::kFloat;
      } else if (v == "signedint" || v == "signedbyte") {
        h.pixel_type = BILheader::kSignedInt;
      } else if (v == "unsignedint") {
        h.pixel_type = BILheader::kUnsignedInt;
      } else {
        print_message("WARNING: pixeltype '%s' not recognized by LASreader_bil\n", text.c_str());
      }
    } else if (key == "layout") {
      const std::string v = lower(value);
      if (v == "bil") {
        h.layout = BILheader::kBil;
      } else if (v == "bip") {
        h.layout = BILheader::kBip;
      } else if (v == "bsq") {
        h.layout = BILheader::kBsq;
      } else {
        print_message("WARNING: %s '%s' not recognized by LASreader_bil\n", key.c_str(), text.c_str());
      }
    } else if (key == "nodata" || key == "nodata_value") {
      if (read_real(value, real)) h.nodata = real, h.has_nodata = true;
    } else if (key == "ulxmap") {
      if (real_key()) h.ulxmap = real, h.has_ulxmap = true;
    } else if (key == "ulymap") {
      if (real_key()) h.ulymap = real, h.has_ulymap = true;
    } else if (key == "xdim") {
      if (real_key()) h.xdim = real, h.has_xdim = true;
    } else if (key == "ydim") {
      if (real_key()) h.ydim = real, h.has_ydim = true;
    } else if (key == "skipbytes" || key == "bandrowbytes" || key == "totalrowbytes" ||
               key == "bandgapbytes") {
      if (!integer_key(0, int64_t{1} << 40)) continue;
      int64_t* target = key == "skipbytes"       ? &h.skipbytes
                        : key == "bandrowbytes"  ? &h.bandrowbytes
                        : key == "totalrowbytes" ? &h.totalrowbytes
                                                 : &h.bandgapbytes;
      *target = whole;
    } else {
      print_message("WARNING: %s '%s' not recognized by LASreader_bil\n", key.c_str(), text.c_str());
    }
  }
  if (input.failed()) return false;
  if (!have_ncols || !have_nrows) {
    print_message_text("WARNING: not able to find all entries in HDR file\n");
    print_message("       ncols  = %d\n", h.ncols);
    print_message("       nrows  = %d\n", h.nrows);
    print_message("       nbands = %d\n", h.nbands);
    print_message("       nbits  = %d\n", h.nbits);
    return false;
  }
  return true;
}

LASreaderBIL::~LASreaderBIL() {
  close(true);
}

bool LASreaderBIL::read_companions(const std::string& base) {
  std::unique_ptr<BufferedInput> hdr = open_companion(base + ".hdr");
  if (!hdr) hdr = open_companion(base + ".HDR");
  if (!hdr) {
    print_message("ERROR: cannot open files '%s.hdr' or '%s.HDR'\n", base.c_str(), base.c_str());
    return false;
  }
  if (!read_bil_header(*hdr, bil_)) {
    print_message("ERROR: reading the *.hdr file for '%s'\n", file_name_.c_str());
    return false;
  }
  read_world_file(base);
  return true;
}

void LASreaderBIL::read_world_file(const std::string& base) {
  xdim_ = bil_.xdim;
  ydim_ = bil_.ydim;
  ulxcenter_ = bil_.ulxmap;
  ulycenter_ = bil_.ulymap;
  bool has_xdim = bil_.has_xdim, has_ydim = bil_.has_ydim, has_ulx = bil_.has_ulxmap,
       has_uly = bil_.has_ulymap;
  std::unique_ptr<BufferedInput> blw = open_companion(base + ".blw");
  if (!blw) blw = open_companion(base + ".BLW");
  if (!blw) {
    print_message("WARNING: cannot open files '%s.blw' or '%s.BLW'\n", base.c_str(), base.c_str());
  } else {
    double w[6];
    int n = 0;
    std::string_view line;
    while (n < 6 && blw->next_line(line)) {
      std::string_view word, rest;
      split(line, word, rest);
      if (word.empty()) continue;
      if (!read_real(word, w[n]) || !std::isfinite(w[n])) break;
      n++;
    }
    if (blw->failed()) {
      print_message("WARNING: reading the *.blw file for '%s'\n", file_name_.c_str());
    } else if (n < 6 || !(w[0] > 0) || !(w[3] < 0)) {
      print_message_text("WARNING: corrupt world file\n");
    } else {
      xdim_ = w[0], ydim_ = -w[3], ulxcenter_ = w[4], ulycenter_ = w[5];
      has_xdim = has_ydim = has_ulx = has_uly = true;
    }
  }
  if (!has_xdim || !(xdim_ > 0)) {
    xdim_ = 1.0;
    print_message("WARNING: xdim was not set. setting to %g\n", xdim_);
  }
  if (!has_ydim || !(ydim_ > 0)) {
    ydim_ = 1.0;
    print_message("WARNING: ydim was not set. setting to %g\n", ydim_);
  }
  // Without placement the lower-left cell's centre is the origin of the map.
  if (!has_ulx) {
    ulxcenter_ = 0.0;
    print_message("WARNING: ulxcenter was not set. setting to %g\n", ulxcenter_);
  }
  if (!has_uly) {
    ulycenter_ = (bil_.nrows - 1) * ydim_;
    print_message("WARNING: ulycenter was not set. setting to %g\n", ulycenter_);
  }
}

bool LASreaderBIL::open(const char* file_name) {
  close(true);
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return false;
  }
  file_name_ = file_name;
  const std::string name(file_name);
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    print_message("ERROR: file name '%s' is not a valid BIL file\n", file_name);
    return false;
  }
  if (!read_companions(name.substr(0, dot))) return false;
  const bool floats = bil_.pixel_type == BILheader::kFloat;
  if (!(bil_.nbits == 8 || bil_.nbits == 16 || bil_.nbits == 32 || (bil_.nbits == 64 && floats)) ||
      (floats && bil_.nbits < 32)) {
    print_message("ERROR: BIL cells of %d bits%s are not supported\n", bil_.nbits, floats ? " (float)" : "");
    return false;
  }
  std::FILE* f = open_binary_file(file_name, 524288);
  if (!f) return false;
  file_.reset(f);
  if (fseeko(f, 0, SEEK_END) != 0 || (file_size_ = ftello(f)) < 0) return false;
  bytes_ = bil_.nbits / 8;
  const int64_t band_row = bil_.bandrowbytes ? bil_.bandrowbytes : int64_t{bil_.ncols} * bytes_;
  const int64_t row_cells = int64_t{bil_.ncols} * (bil_.layout == BILheader::kBip ? bil_.nbands : 1);
  switch (bil_.layout) {
    case BILheader::kBil:
      row_stride_ = bil_.totalrowbytes ? bil_.totalrowbytes : band_row * bil_.nbands;
      break;
    case BILheader::kBip:
      row_stride_ = bil_.totalrowbytes ? bil_.totalrowbytes : row_cells * bytes_;
      break;
    case BILheader::kBsq:
      row_stride_ = band_row;
      break;
  }
  // A row larger than the whole file is a header that does not describe this file.
  if (row_cells * bytes_ > file_size_ || row_stride_ < row_cells * bytes_) {
    print_message("ERROR: BIL rows of %d cells do not fit the %lld bytes of '%s'\n", bil_.ncols,
                  static_cast<long long>(file_size_), file_name);
    return false;
  }
  row_.assign(static_cast<size_t>(row_cells * bytes_), 0);
  npoints = p_count = 0;
  incomplete = false;
  quantizer_.reset();
  header.clear();
  if (!scan_cells() || !set_point_type(header, point, 0)) return false;
  set_creation_date(header, file_name);
  header.min_x = ulxcenter_;
  header.max_x = ulxcenter_ + (bil_.ncols - 1) * xdim_;
  header.max_y = ulycenter_;
  header.min_y = ulycenter_ - (bil_.nrows - 1) * ydim_;
  header.number_of_point_records = static_cast<uint32_t>(std::min<int64_t>(npoints, UINT32_MAX));
  header.number_of_points_by_return[0] = header.number_of_point_records;
  choose_quantization(header, requested_scale_, requested_offset_);
  snap_bounds(header);
  LASvlrRasterRKP raster;
  raster.nbands = bil_.nbands;
  raster.nbits = bil_.nbits;
  raster.ncols = bil_.ncols;
  raster.nrows = bil_.nrows;
  raster.stepx = xdim_;
  raster.stepy = ydim_;
  raster.llx = header.min_x;
  raster.lly = ulycenter_ - (bil_.nrows - 1) * ydim_;
  add_raster_vlr(header, LASvlrRasterRKP::kRecordBil, raster);
  next_row_ = next_col_ = 0;
  row_index_ = -1;
  return bind_stages();
}

bool LASreaderBIL::read_row(int32_t row) {
  // Rows of a single band follow each other: seek only where bands or gaps lie between them.
  const int64_t at = bil_.skipbytes + row * row_stride_;
  if (ftello(file_.get()) != at && fseeko(file_.get(), at, SEEK_SET) != 0) return false;
  if (std::fread(row_.data(), 1, row_.size(), file_.get()) != row_.size()) return false;
  row_index_ = row;
  return true;
}

double LASreaderBIL::cell_value(int32_t col) const {
  const size_t stride = static_cast<size_t>(bil_.layout == BILheader::kBip ? bil_.nbands : 1);
  const uint8_t* p = row_.data() + static_cast<size_t>(col) * stride * static_cast<size_t>(bytes_);
  uint8_t b[8];
  if (bil_.big_endian) {
    std::reverse_copy(p, p + bytes_, b);
  } else {
    std::memcpy(b, p, static_cast<size_t>(bytes_));
  }
  const bool is_signed = bil_.pixel_type == BILheader::kSignedInt;
  switch (bytes_) {
    case 1:
      return is_signed ? static_cast<double>(static_cast<int8_t>(b[0])) : static_cast<double>(b[0]);
    case 2: {
      uint16_t u;
      std::memcpy(&u, b, 2);
      return is_signed ? static_cast<double>(static_cast<int16_t>(u)) : static_cast<double>(u);
    }
    case 4: {
      if (bil_.pixel_type == BILheader::kFloat) {
        float f;
        std::memcpy(&f, b, 4);
        return static_cast<double>(f);
      }
      uint32_t u;
      std::memcpy(&u, b, 4);
      return is_signed ? static_cast<double>(static_cast<int32_t>(u)) : static_cast<double>(u);
    }
    default: {
      double d;
      std::memcpy(&d, b, 8);
      return d;
    }
  }
}

bool LASreaderBIL::is_no_data(double value) const {
  return !std::isfinite(value) || (bil_.has_nodata && value == bil_.nodata);
}

// Reads every cell once: the elevation range and the number of points make the header exact.
bool LASreaderBIL::scan_cells() {
  int64_t count = 0;
  int32_t row = 0;
  for (; row < bil_.nrows; row++) {
    if (!read_row(row)) break;
    for (int32_t col = 0; col < bil_.ncols; col++) {
      const double z = cell_value(col);
      if (is_no_data(z)) continue;
      header.min_z = count ? std::min(header.min_z, z) : z;
      header.max_z = count ? std::max(header.max_z, z) : z;
      count++;
    }
  }
  short_grid_ = row < bil_.nrows;
  if (short_grid_) {
    print_message("WARNING: end-of-file after %d of %d rows and %d of %d cols. read %lld points\n", row,
                  bil_.nrows, 0, bil_.ncols, static_cast<long long>(count));
  }
  if (count == 0) print_message_text("WARNING: BIL raster contains only no data values\n");
  npoints = count;
  return true;
}

bool LASreaderBIL::read_point_unfiltered() {
  if (!file_) return false;
  while (next_row_ < bil_.nrows) {
    if (row_index_ != next_row_ && !read_row(next_row_)) break;
    const int32_t col = next_col_;
    if (++next_col_ == bil_.ncols) {
      next_col_ = 0;
      next_row_++;
    }
    const double z = cell_value(col);
    if (is_no_data(z)) continue;
    const double x = ulxcenter_ + col * xdim_;
    const double y = ulycenter_ - row_index_ * ydim_;
    if (!quantizer_.quantize(header, x, y, z, point)) continue;
    p_count++;
    return true;
  }
  if (short_grid_) incomplete = true;
  return false;
}

void LASreaderBIL::close(bool close_stream) {
  quantizer_.report();
  quantizer_.reset();
  if (close_stream) file_.reset();
}
