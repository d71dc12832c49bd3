#include "pointio/lasreadermerged.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "pointio/lasreaderlas.h"
#include "pointio/lasreaderwrapping.h"
#include "pointio/lasrequantize.h"
#include "pointio/spatialindex.h"

namespace {

// Every sub-reader re-expresses its integers in the merged header's scale and offset, so points
// of files with other quantizations keep their real coordinates.
std::unique_ptr<LASreaderLAS> make_requantizing_reader(const LASquantizer& q) {
  auto reader = std::make_unique<LASreaderLAS>();
  reader->set_stage(LASreader::STAGE_REQUANTIZE,
                    std::make_unique<LASrequantizeStage>(LASrequantizeStage::Request{
                        std::array<double, 3>{q.x_scale_factor, q.y_scale_factor, q.z_scale_factor},
                        std::array<double, 3>{q.x_offset, q.y_offset, q.z_offset}, false}));
  return reader;
}

// A file that failed with its own ERROR line gets that file's name on an indented line, so the run
// still prints one ERROR line for the cause.
void report_unopened(const std::string& kind, const std::string& name, unsigned long errors_before) {
  if (error_message_count() == errors_before) {
    print_message("ERROR: could not open lasreader%s for file '%s'\n", kind.c_str(), name.c_str());
  } else {
    print_message("       in file '%s'\n", name.c_str());
  }
}

bool fits_i32(double v) {
  return v >= -2147483648.0 && v <= 2147483647.0;
}

}  // namespace

LASreaderMerged::LASreaderMerged() = default;
LASreaderMerged::~LASreaderMerged() = default;

bool LASreaderMerged::add_file_name(const std::string& name) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) {
    print_message("ERROR: file '%s' cannot be opened\n", name.c_str());
    return false;
  }
  std::fclose(f);
  file_names_.push_back(name);
  return true;
}

int32_t LASreaderMerged::get_format() const {
  return reader_ ? reader_->get_format() : FORMAT_LAS;
}

bool LASreaderMerged::open() {
  if (file_names_.empty()) {
    print_message("ERROR: no valid file names\n");
    return false;
  }
  if (!read_headers()) return false;
  fit_quantization();
  if (!init_point_for_records(header, point)) return false;
  return open_file(0);
}

// The source of one file: as the opener says, else LAS (requantized to `quantization` if given).
std::unique_ptr<LASreader> LASreaderMerged::open_source(const std::string& name,
                                                        const LASquantizer* quantization) const {
  if (source_opener_) return source_opener_(name, quantization);
  std::unique_ptr<LASreaderLAS> reader =
      quantization ? make_requantizing_reader(*quantization) : std::make_unique<LASreaderLAS>();
  const uint32_t buffer = quantization ? io_ibuffer_size_ : 512;
  if (!reader->open(name.c_str(), buffer, false, LASreaderLAS::kDecompressAll)) return nullptr;
  return reader;
}

bool LASreaderMerged::read_headers() {
  extents_.clear();
  bounds_complete_ = true;
  npoints = 0;
  for (size_t i = 0; i < file_names_.size(); i++) {
    const unsigned long errors_before = error_message_count();
    std::unique_ptr<LASreader> peek = open_source(file_names_[i], nullptr);
    if (!peek) {
      report_unopened(kind_, file_names_[i], errors_before);
      return false;
    }
    const LASheader& h = peek->header;
    FileExtent e;
    // Count only the records the file can hold, so a lying header cannot inflate the total.
    e.npoints = peek->get_npoints();
    const int64_t available = peek->max_points_in_file();
    if (available >= 0 && available < e.npoints) e.npoints = available;
    if (e.npoints > 0) e.min_x = h.min_x, e.min_y = h.min_y, e.max_x = h.max_x, e.max_y = h.max_y;
    extents_.push_back(e);
    bounds_complete_ = bounds_complete_ && peek->bounds_are_complete();
    merge_header(h, i == 0);
    npoints += e.npoints;
    peek->close();
  }
  const bool legacy_only = header.version_minor < 4;
  if (legacy_only && npoints > static_cast<int64_t>(UINT32_MAX)) {
    print_message("WARNING: on-the-fly merged LAS 1.%d files contain too many points (%" PRId64
                  ") for single LAS 1.%d file.\n",
                  header.version_minor, npoints, header.version_minor);
  }
  p_count = 0;
  return true;
}

void LASreaderMerged::merge_header(const LASheader& h, bool first) {
  if (first) {
    header = h;
    return;
  }
  warn_of_different_records(header, h);
  if (h.number_attributes != header.number_attributes) {
    print_message("WARNING: files have different number of attributes: %d vs %d\n", header.number_attributes,
                  h.number_attributes);
  } else {
    for (int32_t a = 0; a < h.number_attributes; a++) {
      if (std::memcmp(&h.attributes[a], &header.attributes[a], sizeof(LASattribute)) != 0) {
        print_message("WARNING: files have different attribute %d\n", a);
      }
    }
  }
  // Legacy counters saturate rather than wrap; the extended ones carry the true sums.
  const uint64_t legacy = uint64_t{header.number_of_point_records} + h.number_of_point_records;
  header.number_of_point_records = legacy > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(legacy);
  for (int r = 0; r < 5; r++) {
    const uint64_t sum = uint64_t{header.number_of_points_by_return[r]} + h.number_of_points_by_return[r];
    header.number_of_points_by_return[r] = sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
  }
  header.extended_number_of_point_records += h.extended_number_of_point_records;
  for (int r = 0; r < 15; r++)
    header.extended_number_of_points_by_return[r] += h.extended_number_of_points_by_return[r];
  if (h.min_x < header.min_x) header.min_x = h.min_x;
  if (h.min_y < header.min_y) header.min_y = h.min_y;
  if (h.min_z < header.min_z) header.min_z = h.min_z;
  if (h.max_x > header.max_x) header.max_x = h.max_x;
  if (h.max_y > header.max_y) header.max_y = h.max_y;
  if (h.max_z > header.max_z) header.max_z = h.max_z;
}

// Files far apart may not fit the first file's offset and scale in 32-bit integers: move the
// offset to the centre and coarsen the scale by factors of ten until they do.
void LASreaderMerged::fit_quantization() {
  double* scale[3] = {&header.x_scale_factor, &header.y_scale_factor, &header.z_scale_factor};
  double* offset[3] = {&header.x_offset, &header.y_offset, &header.z_offset};
  const double mins[3] = {header.min_x, header.min_y, header.min_z};
  const double maxs[3] = {header.max_x, header.max_y, header.max_z};
  static const char* const scale_msg[3] = {
      "WARNING: i changed x_scale_factor from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed y_scale_factor from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed  z_scale_factor from %g to %g to accommodate enlarged bounding box\n"};
  static const char* const offset_msg[3] = {
      "WARNING: i changed x_offset from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed y_offset from %g to %g to accommodate enlarged bounding box\n",
      "WARNING: i changed z_offset from %g to %g to accommodate enlarged bounding box\n"};
  for (int a = 0; a < 3; a++) {
    if (requested_scale_ && (*requested_scale_)[a] != 0.0) *scale[a] = (*requested_scale_)[a];
    if (requested_offset_) *offset[a] = (*requested_offset_)[a];
    if (requested_scale_ || requested_offset_) continue;
    if (!(*scale[a] > 0.0) || !std::isfinite(mins[a]) || !std::isfinite(maxs[a])) continue;
    const auto fits = [&](double o, double s) {
      return fits_i32((maxs[a] - o) / s) && fits_i32((mins[a] - o) / s);
    };
    if (fits(*offset[a], *scale[a])) continue;
    const double centre = std::round((mins[a] + maxs[a]) / 2.0);  // half away from zero
    double s = *scale[a];
    for (int k = 0; k < 30 && !fits(centre, s); k++) s *= 10.0;
    if (s != *scale[a]) {
      print_message(scale_msg[a], *scale[a], s);
      *scale[a] = s;
    }
    if (!fits(*offset[a], s)) {
      print_message(offset_msg[a], *offset[a], centre);
      *offset[a] = centre;
    }
  }
}

bool LASreaderMerged::open_file(size_t index) {
  current_ = index;
  const unsigned long errors_before = error_message_count();
  reader_ = open_source(file_names_[index], &header);
  if (!reader_) {
    report_unopened(kind_, file_names_[index], errors_before);
    return false;
  }
  apply_area(*reader_, file_names_[index]);
  if (files_are_flightlines_) {
    const int64_t id =
        int64_t{files_are_flightlines_} + files_are_flightlines_index_ + static_cast<int64_t>(index) + 1;
    reader_->header.file_source_ID = static_cast<uint16_t>(id);
  }
  return true;
}

void LASreaderMerged::apply_area(LASreader& reader, const std::string& name) const {
  if (area_ == INSIDE_NONE) return;
  auto index = std::make_unique<LASspatialIndex>();
  if (index->read(name)) reader.set_index(std::move(index));
  const double* a = area_values_;
  if (area_ == INSIDE_TILE) {
    reader.inside_tile(static_cast<float>(a[0]), static_cast<float>(a[1]), static_cast<float>(a[2]));
  } else if (area_ == INSIDE_CIRCLE) {
    reader.inside_circle(a[0], a[1], a[2]);
  } else {
    reader.inside_rectangle(a[0], a[1], a[2], a[3]);
  }
}

bool LASreaderMerged::inside_none() {
  area_ = INSIDE_NONE;
  if (reader_) reader_->inside_none();
  return LASreader::inside_none();
}

bool LASreaderMerged::inside_tile(float ll_x, float ll_y, float size) {
  area_ = INSIDE_TILE;
  area_values_[0] = ll_x, area_values_[1] = ll_y, area_values_[2] = size;
  if (reader_) apply_area(*reader_, file_names_[current_]);
  return LASreader::inside_tile(ll_x, ll_y, size);
}

bool LASreaderMerged::inside_circle(double center_x, double center_y, double radius) {
  area_ = INSIDE_CIRCLE;
  area_values_[0] = center_x, area_values_[1] = center_y, area_values_[2] = radius;
  if (reader_) apply_area(*reader_, file_names_[current_]);
  return LASreader::inside_circle(center_x, center_y, radius);
}

bool LASreaderMerged::inside_rectangle(double min_x, double min_y, double max_x, double max_y) {
  area_ = INSIDE_RECTANGLE;
  area_values_[0] = min_x, area_values_[1] = min_y, area_values_[2] = max_x, area_values_[3] = max_y;
  if (reader_) apply_area(*reader_, file_names_[current_]);
  return LASreader::inside_rectangle(min_x, min_y, max_x, max_y);
}

bool LASreaderMerged::read_point_unfiltered() {
  while (reader_) {
    if (reader_->read_point()) {
      // The sub-reader already expressed the integers in this header's quantization.
      copy_wrapped_point(reader_->point, point);
      if (apply_file_source_ID_ || files_are_flightlines_)
        point.point_source_ID = reader_->header.file_source_ID;
      p_count++;
      return true;
    }
    // The merged cloud lacks the rest of this file: say which, the run ends with an error.
    if (reader_->is_incomplete()) {
      print_message("ERROR: merged file '%s' could not be read to its end\n", file_names_[current_].c_str());
      incomplete = true;
    }
    reader_->close();
    reader_.reset();
    if (current_ + 1 < file_names_.size() && !open_file(current_ + 1)) return false;
  }
  return false;
}

bool LASreaderMerged::reopen() {
  if (reader_) reader_->close();
  reader_.reset();
  p_count = 0;
  incomplete = false;
  return !file_names_.empty() && open_file(0);
}

void LASreaderMerged::close(bool) {
  if (reader_) reader_->close();
  reader_.reset();
}
