#include "pointio/detail/lasreadershp.h"

#include <algorithm>
#include <cstring>

#include "common/messages.h"
#include "pointio/detail/unaligned.h"

namespace {

constexpr size_t kHeaderSize = 100;
// Records are read in pieces of this size, so memory follows the bytes that really arrive.
constexpr size_t kContentPiece = size_t{1} << 20;

int32_t big_i32(const uint8_t* p) {
  return static_cast<int32_t>((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]);
}

using pointio_detail::load;

bool is_point_type(int32_t type) {
  return type == 1 || type == 11 || type == 21 || type == 8 || type == 18 || type == 28;
}

bool is_multipoint(int32_t type) {
  return type == 8 || type == 18 || type == 28;
}

// The most points a file of `words` 16-bit words can hold in records of its type. The M values of
// Z and M records are optional (GDAL writes PointZ and MultiPointZ without them), so the smallest
// record counts: an estimate that assumed M values would fall short of the points such a file
// holds, and the points past it would be lost.
int64_t estimated_points(int32_t type, int64_t words) {
  int64_t n = 0;
  switch (type) {
    case 1:
      n = (words - 50) / 14;
      break;
    case 11:
    case 21:
      n = (words - 50) / 18;
      break;
    case 8:
    case 28:
      n = (words - 70) / 8;
      break;
    case 18:
      n = (words - 82) / 12;
      break;
    default:
      break;
  }
  return std::max<int64_t>(0, n);
}

}  // namespace

LASreaderSHP::~LASreaderSHP() {
  close(true);
}

bool LASreaderSHP::open(const char* file_name) {
  close(true);
  bool piped = false;
  std::unique_ptr<DecompressingFile> file = open_decompressing_file(file_name, "rb", &piped);
  if (!file) return false;
  const int64_t size = piped ? -1 : file->size();
  file_name_ = file_name;
  input_ = std::make_unique<BufferedInput>(std::move(file), size_t{1} << 20);
  npoints = p_count = 0;
  incomplete = false;
  ended_ = false;
  record_number_ = 0;
  record_points_ = next_point_ = 0;
  quantizer_.reset();
  if (!read_header()) return false;
  max_points_ = size < 0 ? -1 : estimated_points(shape_type_, size / 2);
  set_creation_date(header, file_name);
  return bind_stages();
}

bool LASreaderSHP::read_header() {
  uint8_t h[kHeaderSize];
  if (input_->read(h, kHeaderSize) != kHeaderSize) {
    if (!input_->failed()) print_message_text("ERROR: reading shapefile header\n");
    return false;
  }
  const int32_t code = big_i32(h);
  if (code != 9994) {
    print_message("ERROR: wrong shapefile code %d != 9994\n", code);
    return false;
  }
  const int32_t file_length = big_i32(h + 24);
  const int32_t version = load<int32_t>(h + 28);
  if (version != 1000) {
    print_message("ERROR: wrong shapefile version %d != 1000\n", version);
    return false;
  }
  shape_type_ = load<int32_t>(h + 32);
  if (!is_point_type(shape_type_)) {
    print_message("ERROR: wrong shape type %d != 1,11,21,8,18,28\n", shape_type_);
    return false;
  }
  header.clear();
  if (!set_point_type(header, point, 0)) return false;
  header.min_x = load<double>(h + 36);
  header.min_y = load<double>(h + 44);
  header.max_x = load<double>(h + 52);
  header.max_y = load<double>(h + 60);
  header.min_z = load<double>(h + 68);
  header.max_z = load<double>(h + 76);
  choose_quantization(header, requested_scale_, requested_offset_);
  snap_bounds(header);
  npoints = estimated_points(shape_type_, file_length);
  stated_bytes_ = file_length > 0 ? 2 * static_cast<uint64_t>(file_length) : 0;
  header.number_of_point_records = static_cast<uint32_t>(std::min<int64_t>(npoints, UINT32_MAX));
  header.number_of_points_by_return[0] = header.number_of_point_records;
  return true;
}

bool LASreaderSHP::read_content(size_t bytes) {
  content_.clear();
  while (content_.size() < bytes) {
    const size_t piece = std::min(kContentPiece, bytes - content_.size());
    const size_t at = content_.size();
    content_.resize(at + piece);
    if (input_->read(content_.data() + at, piece) != piece) return false;
  }
  return true;
}

bool LASreaderSHP::read_record() {
  for (;;) {
    uint8_t rh[8];
    const size_t got = input_->read(rh, 8);
    if (got == 0 && !input_->failed()) {
      // The end, between records: it must be where the header said the file ends.
      if (input_->consumed() < stated_bytes_) {
        print_message("ERROR: '%s' ends after %llu of the %llu bytes its header states\n", file_name_.c_str(),
                      static_cast<unsigned long long>(input_->consumed()),
                      static_cast<unsigned long long>(stated_bytes_));
        incomplete = true;
      }
      return false;
    }
    record_number_++;
    if (got != 8) {
      if (!input_->failed()) {
        print_message("ERROR: reading shapefile record %lld of '%s': the file ends inside it\n",
                      static_cast<long long>(record_number_), file_name_.c_str());
      }
      incomplete = true;
      return false;
    }
    const int32_t words = big_i32(rh + 4);
    if (words < 2) {
      print_message("ERROR: shapefile record %lld of '%s' has a content length of %d words\n",
                    static_cast<long long>(record_number_), file_name_.c_str(), words);
      incomplete = true;
      return false;
    }
    if (!read_content(static_cast<size_t>(words) * 2)) {
      if (!input_->failed()) {
        print_message("ERROR: reading shapefile record %lld of '%s': the file ends inside it\n",
                      static_cast<long long>(record_number_), file_name_.c_str());
      }
      incomplete = true;
      return false;
    }
    const int32_t type = load<int32_t>(content_.data());
    if (type != shape_type_)
      print_message("WARNING: wrong shape type %d != %d in record\n", type, shape_type_);
    const size_t size = content_.size();
    z_start_ = 0;
    next_point_ = 0;
    if (!is_multipoint(shape_type_)) {
      const size_t needed = shape_type_ == 11 ? 28 : 20;
      if (size < needed) continue;  // a null shape or a record too short for a point
      record_points_ = 1;
      if (shape_type_ == 11) z_start_ = 20;
      return true;
    }
    if (size < 40) continue;
    const int32_t count = load<int32_t>(content_.data() + 36);
    const size_t per_point = shape_type_ == 18 ? 24 : 16;
    const size_t fixed = shape_type_ == 18 ? 56 : 40;
    if (count < 0 || (size - fixed) / per_point < static_cast<size_t>(count)) {
      print_message("WARNING: shapefile record %lld claims %d points but holds fewer. skipping ...\n",
                    static_cast<long long>(record_number_), count);
      continue;
    }
    record_points_ = count;
    if (shape_type_ == 18) z_start_ = 56 + 16 * static_cast<size_t>(count);
    if (count > 0) return true;
  }
}

bool LASreaderSHP::read_point_unfiltered() {
  while (!ended_) {
    if (next_point_ >= record_points_ && !read_record()) {
      ended_ = true;
      break;
    }
    const auto k = static_cast<size_t>(next_point_++);
    const uint8_t* xy = content_.data() + (is_multipoint(shape_type_) ? 40 + 16 * k : 4);
    const double x = load<double>(xy);
    const double y = load<double>(xy + 8);
    const double z = z_start_ ? load<double>(content_.data() + z_start_ + 8 * k) : 0.0;
    if (!quantizer_.quantize(header, x, y, z, point)) continue;
    p_count++;
    return true;
  }
  if (input_ && input_->failed()) incomplete = true;
  return false;
}

void LASreaderSHP::close(bool close_stream) {
  quantizer_.report();
  quantizer_.reset();
  if (close_stream) {
    input_.reset();
    file_name_.clear();
  }
  content_ = std::vector<uint8_t>();
}
