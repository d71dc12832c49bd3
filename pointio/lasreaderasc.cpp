#include "pointio/detail/lasreaderasc.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "common/messages.h"
#include "pointio/detail/lasvlrraster.h"

namespace {

inline bool is_separator(char c) {
  return static_cast<unsigned char>(c) < '!';
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

// The whole word as a number; "nan" and "inf" are numbers too (a grid may mark no data so).
bool read_whole_word(std::string_view word, double& value) {
  const char* p = word.data();
  const char* const end = p + word.size();
  if (p < end && *p == '+') p++;
  const auto result = std::from_chars(p, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// Cells without data: the no-data value, and values that are no finite elevation.
bool is_no_data(const ASCgrid& grid, double value) {
  return !std::isfinite(value) || (grid.has_nodata && value == grid.nodata);
}

enum Key {
  kNcols,
  kNrows,
  kXllcorner,
  kYllcorner,
  kXllcenter,
  kYllcenter,
  kCellsize,
  kNodata,
  kDx,
  kDy,
  kKeys
};
constexpr const char* kKeyNames[kKeys] = {"ncols",     "nrows",    "xllcorner",    "yllcorner", "xllcenter",
                                          "yllcenter", "cellsize", "nodata_value", "dx",        "dy"};

int key_of(std::string_view word) {
  for (int k = 0; k < kKeys; k++) {
    if (equals_ignoring_case(word, kKeyNames[k])) return k;
  }
  return -1;
}

}  // namespace

bool read_asc_header(BufferedInput& input, ASCgrid& grid, std::string& first_values, bool comma_not_point) {
  grid = ASCgrid{};
  first_values.clear();
  bool seen[kKeys] = {};
  double values[kKeys] = {};
  std::string_view line;
  std::string decimal_points;
  bool values_begin = false;
  while (!values_begin && input.next_line(line)) {
    if (comma_not_point) {
      decimal_points.assign(line);
      std::replace(decimal_points.begin(), decimal_points.end(), ',', '.');
      line = decimal_points;
    }
    size_t i = 0;
    for (;;) {
      while (i < line.size() && is_separator(line[i])) i++;
      if (i == line.size()) break;
      size_t j = i;
      while (j < line.size() && !is_separator(line[j])) j++;
      const int key = key_of(line.substr(i, j - i));
      if (key < 0) {
        first_values.assign(line.substr(i));
        values_begin = true;
        break;
      }
      size_t v = j;
      while (v < line.size() && is_separator(line[v])) v++;
      size_t w = v;
      while (w < line.size() && !is_separator(line[w])) w++;
      if (v == w || !read_whole_word(line.substr(v, w - v), values[key]) ||
          (key != kNodata && !std::isfinite(values[key]))) {
        print_message("ERROR: ASC header value of '%s' is not a number\n", kKeyNames[key]);
        return false;
      }
      seen[key] = true;
      i = w;
    }
  }
  if (input.failed()) return false;
  const bool have_x = seen[kXllcorner] || seen[kXllcenter];
  const bool have_y = seen[kYllcorner] || seen[kYllcenter];
  const bool have_step = seen[kCellsize] || (seen[kDx] && seen[kDy]);
  if (!seen[kNcols] || !seen[kNrows] || !have_x || !have_y || !have_step) {
    print_message_text("ERROR: was not able to find header\n");
    return false;
  }
  const auto dimension = [&](Key key, int32_t& out) {
    const double v = values[key];
    if (!(v >= 1 && v <= 2147483647.0) || v != std::floor(v)) {
      print_message("ERROR: ASC header %s %g is not a positive whole number\n", kKeyNames[key], v);
      return false;
    }
    out = static_cast<int32_t>(v);
    return true;
  };
  if (!dimension(kNcols, grid.ncols) || !dimension(kNrows, grid.nrows)) return false;
  grid.step_x = seen[kDx] ? values[kDx] : values[kCellsize];
  grid.step_y = seen[kDy] ? values[kDy] : values[kCellsize];
  if (!(grid.step_x > 0) || !(grid.step_y > 0)) {
    print_message("ERROR: ASC cell size %g by %g is not positive\n", grid.step_x, grid.step_y);
    return false;
  }
  // Corners are turned into the centre of the lower-left cell.
  grid.xllcenter = seen[kXllcenter] ? values[kXllcenter] : values[kXllcorner] + 0.5 * grid.step_x;
  grid.yllcenter = seen[kYllcenter] ? values[kYllcenter] : values[kYllcorner] + 0.5 * grid.step_y;
  grid.has_nodata = seen[kNodata];
  if (grid.has_nodata) grid.nodata = values[kNodata];
  return true;
}

LASreaderASC::~LASreaderASC() {
  close(true);
}

bool LASreaderASC::start_pass() {
  bool piped = false;
  std::unique_ptr<DecompressingFile> file = open_decompressing_file(file_name_.c_str(), "rb", &piped);
  if (!file) return false;
  input_ = std::make_unique<BufferedInput>(std::move(file));
  if (!read_asc_header(*input_, grid_, pending_, comma_not_point_)) return false;
  line_ = pending_;
  at_ = 0;
  cell_ = next_col_ = next_row_ = 0;
  bad_value_ = false;
  return true;
}

bool LASreaderASC::next_value(double& value) {
  const int64_t cells = int64_t{grid_.ncols} * grid_.nrows;
  while (cell_ < cells) {
    while (at_ < line_.size() && is_separator(line_[at_])) at_++;
    if (at_ == line_.size()) {
      std::string_view next;
      if (!input_->next_line(next)) return false;
      if (comma_not_point_) {
        pending_.assign(next);
        std::replace(pending_.begin(), pending_.end(), ',', '.');
        next = pending_;
      }
      line_ = next;
      at_ = 0;
      continue;
    }
    size_t end = at_;
    while (end < line_.size() && !is_separator(line_[end])) end++;
    const std::string_view word = line_.substr(at_, end - at_);
    at_ = end;
    if (!read_whole_word(word, value)) {
      print_message("ERROR: ASC value '%.*s' in row %lld of '%s' is not a number\n",
                    static_cast<int>(std::min<size_t>(word.size(), 40)), word.data(),
                    static_cast<long long>(cell_ / grid_.ncols + 1), file_name_.c_str());
      bad_value_ = true;
      return false;
    }
    cell_++;
    value_col_ = next_col_, value_row_ = next_row_;
    if (++next_col_ == grid_.ncols) next_col_ = 0, next_row_++;
    return true;
  }
  return false;
}

// Reads every value once: the elevation range and the number of points make the header exact.
bool LASreaderASC::scan_values() {
  int64_t count = 0;
  double value;
  while (next_value(value)) {
    if (is_no_data(grid_, value)) continue;
    if (count == 0) {
      header.min_z = header.max_z = value;
    } else {
      header.min_z = std::min(header.min_z, value);
      header.max_z = std::max(header.max_z, value);
    }
    count++;
  }
  if (bad_value_ || input_->failed()) return false;
  const int64_t cells = int64_t{grid_.ncols} * grid_.nrows;
  short_grid_ = cell_ < cells;
  if (short_grid_) {
    print_message("WARNING: end-of-file after %d of %d rows and %d of %d cols. read %lld points\n",
                  static_cast<int>(cell_ / grid_.ncols), grid_.nrows, static_cast<int>(cell_ % grid_.ncols),
                  grid_.ncols, static_cast<long long>(count));
  }
  if (count == 0) print_message_text("WARNING: ASC raster contains only no data values\n");
  npoints = count;
  return true;
}

bool LASreaderASC::open(const char* file_name, bool comma_not_point) {
  close(true);
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return false;
  }
  file_name_ = file_name;
  comma_not_point_ = comma_not_point;
  npoints = p_count = 0;
  incomplete = false;
  quantizer_.reset();
  header.clear();
  if (!start_pass() || !scan_values()) return false;
  if (!set_point_type(header, point, 0)) return false;
  set_creation_date(header, file_name);
  header.min_x = grid_.xllcenter;
  header.min_y = grid_.yllcenter;
  header.max_x = grid_.xllcenter + (grid_.ncols - 1) * grid_.step_x;
  header.max_y = grid_.yllcenter + (grid_.nrows - 1) * grid_.step_y;
  header.number_of_point_records = static_cast<uint32_t>(std::min<int64_t>(npoints, UINT32_MAX));
  header.number_of_points_by_return[0] = header.number_of_point_records;
  choose_quantization(header, requested_scale_, requested_offset_);
  snap_bounds(header);
  LASvlrRasterRKP raster;
  raster.nbits = 32;
  raster.ncols = grid_.ncols;
  raster.nrows = grid_.nrows;
  raster.stepx = grid_.step_x;
  raster.stepy = grid_.step_y;
  raster.llx = grid_.xllcenter;
  raster.lly = grid_.yllcenter;
  add_raster_vlr(header, LASvlrRasterRKP::kRecordAsc, raster);
  if (!start_pass()) return false;
  return bind_stages();
}

bool LASreaderASC::read_point_unfiltered() {
  if (!input_) return false;
  double value;
  while (next_value(value)) {
    if (is_no_data(grid_, value)) continue;
    const double x = grid_.xllcenter + static_cast<double>(value_col_) * grid_.step_x;
    const double y = grid_.yllcenter + static_cast<double>(grid_.nrows - 1 - value_row_) * grid_.step_y;
    if (!quantizer_.quantize(header, x, y, value, point)) continue;
    p_count++;
    return true;
  }
  // The counting pass saw the same values; a difference now is a file that changed or broke.
  if (short_grid_ || bad_value_ || input_->failed()) incomplete = true;
  input_.reset();
  return false;
}

void LASreaderASC::close(bool close_stream) {
  quantizer_.report();
  quantizer_.reset();
  if (close_stream) input_.reset();
}
