#include "pointio/lasreaderbuffered.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "pointio/lasreaderwrapping.h"

LASreaderBuffered::LASreaderBuffered() = default;
LASreaderBuffered::~LASreaderBuffered() = default;

namespace {

bool can_open(const std::string& name) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) {
    print_message("ERROR: file '%s' cannot be opened\n", name.c_str());
    return false;
  }
  std::fclose(f);
  return true;
}

}  // namespace

bool LASreaderBuffered::set_file_name(const std::string& name) {
  if (!can_open(name)) return false;
  main_name_ = name;
  return true;
}

bool LASreaderBuffered::add_neighbor_file_name(const std::string& name) {
  if (!can_open(name)) return false;
  neighbors_.push_back(name);
  return true;
}

bool LASreaderBuffered::open_main() {
  main_ = opener_ ? opener_(main_name_, nullptr) : nullptr;
  if (!main_) {
    print_message("ERROR: opening '%s'\n", main_name_.c_str());
    return false;
  }
  main_done_ = false;
  buffer_read_ = 0;
  p_count = 0;
  return true;
}

bool LASreaderBuffered::open() {
  if (main_name_.empty()) {
    print_message_text("ERROR: no input name\n");
    return false;
  }
  if (!open_main()) return false;
  main_header_ = main_->header;
  header = main_->header;
  if (!init_point_for_records(header, point)) return false;
  extra_size_ = point.extra_bytes.size();
  buffer_.clear();
  buffer_extra_.clear();
  incomplete = false;
  for (const std::string& name : neighbors_) {
    if (!add_neighbor(name)) return false;
  }
  if (!neighbors_.empty()) {
    print_message("LASreaderBuffered: adding %u buffer points.\n", static_cast<uint32_t>(buffer_.size()));
  }
  npoints = main_->get_npoints() + static_cast<int64_t>(buffer_.size());
  return bind_stages();
}

bool LASreaderBuffered::add_neighbor(const std::string& name) {
  std::unique_ptr<LASreader> neighbor = opener_ ? opener_(name, &main_header_) : nullptr;
  if (!neighbor) {
    print_message("ERROR: opening neighbor '%s'\n", name.c_str());
    return false;
  }
  const LASheader& h = neighbor->header;
  warn_of_different_records(header, h);
  const double b = buffer_size_;
  neighbor->inside_rectangle(main_header_.min_x - b, main_header_.min_y - b, main_header_.max_x + b,
                             main_header_.max_y + b);
  while (neighbor->read_point()) append(neighbor->point, h);
  // A neighbour that ends early would leave the tile with a silently thinner buffer and contours
  // that no longer meet the next tile's.
  if (neighbor->is_incomplete()) {
    print_message("ERROR: neighbor '%s' could not be read to its end\n", name.c_str());
    return false;
  }
  return true;
}

// Converts a neighbour's point to the main point format: the fields both formats have are kept,
// the return numbers and classification move between their legacy and extended forms.
void LASreaderBuffered::append(const LASpoint& p, const LASheader& from) {
  LASpointFields f = p;
  const bool main_extended = header.point_data_format >= 6;
  const bool from_extended = from.point_data_format >= 6;
  if (main_extended && !from_extended) {
    f.extended_return_number = p.return_number;
    f.extended_number_of_returns = p.number_of_returns;
    f.extended_classification = p.classification;
    f.extended_classification_flags =
        static_cast<uint8_t>((p.synthetic_flag | (p.keypoint_flag << 1) | (p.withheld_flag << 2)) & 0x7);
    f.extended_scan_angle = static_cast<int16_t>(std::lround(p.scan_angle_rank / 0.006));
    f.extended_point_type = 1;
  }
  if (!point.have_gps_time) f.gps_time = 0;
  if (!point.have_rgb) std::fill(std::begin(f.rgb), std::end(f.rgb), uint16_t{0});
  if (!point.have_nir) f.rgb[3] = 0;
  if (!point.have_wavepacket) f.wavepacket = LASwavepacket();
  buffer_.push_back(f);
  const size_t n = std::min(extra_size_, p.extra_bytes.size());
  buffer_extra_.insert(buffer_extra_.end(), p.extra_bytes.begin(),
                       p.extra_bytes.begin() + static_cast<long>(n));
  buffer_extra_.resize(buffer_.size() * extra_size_, 0);
  // The header describes main and buffer together.
  const double x = p.get_x(), y = p.get_y(), z = p.get_z();
  header.min_x = std::min(header.min_x, x), header.max_x = std::max(header.max_x, x);
  header.min_y = std::min(header.min_y, y), header.max_y = std::max(header.max_y, y);
  header.min_z = std::min(header.min_z, z), header.max_z = std::max(header.max_z, z);
  const int r = main_extended ? f.extended_return_number : f.return_number;
  if (header.number_of_point_records && header.number_of_point_records < UINT32_MAX)
    header.number_of_point_records++;
  header.extended_number_of_point_records++;
  if (r >= 1 && r <= 5 && header.number_of_points_by_return[r - 1] < UINT32_MAX)
    header.number_of_points_by_return[r - 1]++;
  if (r >= 1 && r <= 15) header.extended_number_of_points_by_return[r - 1]++;
}

bool LASreaderBuffered::read_point_unfiltered() {
  if (!main_done_) {
    if (main_ && main_->read_point()) {
      copy_wrapped_point(main_->point, point);
      p_count++;
      return true;
    }
    incomplete = incomplete || (main_ && main_->is_incomplete());
    main_done_ = true;
  }
  if (buffer_read_ >= buffer_.size()) return false;
  static_cast<LASpointFields&>(point) = buffer_[buffer_read_];
  if (extra_size_) {
    std::copy_n(buffer_extra_.begin() + static_cast<long>(buffer_read_ * extra_size_), extra_size_,
                point.extra_bytes.begin());
  }
  buffer_read_++;
  p_count++;
  return true;
}

bool LASreaderBuffered::reopen() {
  if (main_) main_->close();
  if (!open_main()) return false;
  incomplete = false;
  return true;
}

void LASreaderBuffered::remove_buffer() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  buffer_extra_.clear();
  buffer_extra_.shrink_to_fit();
  buffer_read_ = 0;
  header.min_x = main_header_.min_x, header.max_x = main_header_.max_x;
  header.min_y = main_header_.min_y, header.max_y = main_header_.max_y;
  header.min_z = main_header_.min_z, header.max_z = main_header_.max_z;
  header.number_of_point_records = main_header_.number_of_point_records;
  header.extended_number_of_point_records = main_header_.extended_number_of_point_records;
  std::copy(std::begin(main_header_.number_of_points_by_return),
            std::end(main_header_.number_of_points_by_return), header.number_of_points_by_return);
  std::copy(std::begin(main_header_.extended_number_of_points_by_return),
            std::end(main_header_.extended_number_of_points_by_return),
            header.extended_number_of_points_by_return);
  npoints = main_ ? main_->get_npoints() : 0;
}

void LASreaderBuffered::close(bool close_stream) {
  if (main_) main_->close(close_stream);
}
