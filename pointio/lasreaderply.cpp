#include "pointio/detail/lasreaderply.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/messages.h"

namespace {

// A property's value as a real number, from its bytes in the file's order.
double value_of(const uint8_t* p, const PLYproperty& property, bool big_endian) {
  uint8_t b[8];
  const int n = property.size();
  if (big_endian) {
    std::reverse_copy(p, p + n, b);
  } else {
    std::memcpy(b, p, static_cast<size_t>(n));
  }
  switch (property.type) {
    case PLYproperty::kChar:
      return static_cast<int8_t>(b[0]);
    case PLYproperty::kUchar:
      return b[0];
    case PLYproperty::kShort: {
      int16_t v;
      std::memcpy(&v, b, 2);
      return v;
    }
    case PLYproperty::kUshort: {
      uint16_t v;
      std::memcpy(&v, b, 2);
      return v;
    }
    case PLYproperty::kInt: {
      int32_t v;
      std::memcpy(&v, b, 4);
      return v;
    }
    case PLYproperty::kUint: {
      uint32_t v;
      std::memcpy(&v, b, 4);
      return v;
    }
    case PLYproperty::kFloat: {
      float v;
      std::memcpy(&v, b, 4);
      return static_cast<double>(v);
    }
    case PLYproperty::kDouble: {
      double v;
      std::memcpy(&v, b, 8);
      return v;
    }
  }
  return 0.0;
}

uint16_t to_u16(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 65535.0) return 65535;
  return static_cast<uint16_t>(v + 0.5);
}

}  // namespace

LASreaderPLY::~LASreaderPLY() {
  close(true);
}

std::unique_ptr<BufferedInput> LASreaderPLY::open_input(const char* file_name, PLYheader& ply) {
  bool piped = false;
  std::unique_ptr<DecompressingFile> file = open_decompressing_file(file_name, "rb", &piped);
  if (!file) return nullptr;
  piped_ = piped;
  file_size_ = piped ? -1 : file->size();
  auto input = std::make_unique<BufferedInput>(std::move(file));
  if (!read_ply_header(*input, ply)) return nullptr;
  return input;
}

bool LASreaderPLY::open(const char* file_name, int point_type, bool populate) {
  close(true);
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return false;
  }
  input_ = open_input(file_name, ply_);
  if (!input_) return false;
  file_name_ = file_name;
  npoints = p_count = 0;
  incomplete = false;
  populated_ = quantization_chosen_ = have_first_point_ = reached_end_ = false;
  quantizer_.reset();
  if (!prepare_header(point_type)) return false;
  set_creation_date(header, file_name);
  if (populate) {
    if (!populate_pass()) return false;
    populated_ = true;
    choose_quantization(header, requested_scale_, requested_offset_);
    quantization_chosen_ = true;
    snap_bounds(header);
  } else {
    npoints = ply_.vertex_count;
  }
  left_ = ply_.vertex_count;
  if (!read_first_point()) return false;
  return bind_stages();
}

bool LASreaderPLY::prepare_header(int point_type) {
  header.clear();
  fields_.clear();
  parse_string_.clear();
  bool colour = false;
  int attributes = 0;
  uint16_t offset = 0;
  for (const PLYproperty& p : ply_.properties) {
    Field f{Role::kAttribute, offset, 0};
    offset = static_cast<uint16_t>(offset + p.size());
    if (p.name == "x") {
      f.role = Role::kX;
      parse_string_ += 'x';
    } else if (p.name == "y") {
      f.role = Role::kY;
      parse_string_ += 'y';
    } else if (p.name == "z") {
      f.role = Role::kZ;
      parse_string_ += 'z';
    } else if (p.name == "red" || p.name == "green" || p.name == "blue") {
      f.role = p.name == "red" ? Role::kRed : p.name == "green" ? Role::kGreen : Role::kBlue;
      parse_string_ += p.name == "red" ? 'R' : p.name == "green" ? 'G' : 'B';
      colour = true;
    } else if (p.name == "gray") {
      f.role = Role::kGray;
      parse_string_ += 'i';
    } else {
      LASattribute a;
      a.data_type = p.las_data_type();
      const std::string name = p.name == "nx"   ? "normal x coordinate"
                               : p.name == "ny" ? "normal y coordinate"
                               : p.name == "nz" ? "normal z coordinate"
                                                : p.name;
      std::memcpy(a.name, name.data(), std::min(sizeof a.name, name.size()));
      header.add_attribute(a);
      f.attribute_start = static_cast<uint16_t>(header.attribute_starts.back());
      parse_string_ += attributes < 10 ? std::string(1, static_cast<char>('0' + attributes))
                                       : "(" + std::to_string(attributes) + ")";
      attributes++;
    }
    fields_.push_back(f);
  }
  const auto has = [&](Role r) {
    return std::any_of(fields_.begin(), fields_.end(), [r](const Field& f) { return f.role == r; });
  };
  if (!has(Role::kX) || !has(Role::kY)) {
    print_message("ERROR: PLY vertices of '%s' have no x or no y\n", file_name_.c_str());
    return false;
  }
  add_attributes_vlr(header);
  const int type = point_type ? point_type : colour ? 2 : 0;
  if (type < 0 || type > 10 || !set_point_type(header, point, static_cast<uint8_t>(type))) return false;
  record_.assign(ply_.record_size, 0);
  if (ply_.format == PLYheader::kAscii) {
    return parser_.compile(parse_string_, type, header, std::vector<TXTattributePrescale>(),
                           TXTvalueAdjustments());
  }
  return true;
}

bool LASreaderPLY::decode_binary(const uint8_t* record, double xyz[3]) {
  const bool big = ply_.format == PLYheader::kBinaryBigEndian;
  xyz[2] = 0.0;
  for (size_t i = 0; i < fields_.size(); i++) {
    const Field& f = fields_[i];
    const PLYproperty& p = ply_.properties[i];
    const uint8_t* at = record + f.offset;
    switch (f.role) {
      case Role::kX:
        xyz[0] = value_of(at, p, big);
        break;
      case Role::kY:
        xyz[1] = value_of(at, p, big);
        break;
      case Role::kZ:
        xyz[2] = value_of(at, p, big);
        break;
      case Role::kRed:
        point.rgb[0] = to_u16(value_of(at, p, big));
        break;
      case Role::kGreen:
        point.rgb[1] = to_u16(value_of(at, p, big));
        break;
      case Role::kBlue:
        point.rgb[2] = to_u16(value_of(at, p, big));
        break;
      case Role::kGray:
        point.intensity = to_u16(value_of(at, p, big));
        break;
      case Role::kAttribute: {
        // The attribute has the property's own type: its bytes are copied in host order.
        uint8_t* to = point.extra_bytes.data() + f.attribute_start;
        const auto n = static_cast<size_t>(p.size());
        if (big) {
          std::reverse_copy(at, at + n, to);
        } else {
          std::memcpy(to, at, n);
        }
        break;
      }
    }
  }
  return std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
}

bool LASreaderPLY::next_vertex(BufferedInput& input, int64_t& left, double xyz[3]) {
  while (left > 0) {
    left--;
    if (ply_.format != PLYheader::kAscii) {
      if (input.read(record_.data(), record_.size()) != record_.size()) {
        if (!input.failed()) {
          print_message("ERROR: reading PLY vertex %lld of %lld of '%s': the file ends inside the vertices\n",
                        static_cast<long long>(ply_.vertex_count - left),
                        static_cast<long long>(ply_.vertex_count), file_name_.c_str());
        }
        incomplete = true;
        left = 0;
        return false;
      }
      if (decode_binary(record_.data(), xyz)) return true;
      continue;
    }
    std::string_view line;
    if (!input.next_line(line)) {
      if (!input.failed()) {
        print_message("ERROR: reading PLY vertex %lld of %lld of '%s': the file ends inside the vertices\n",
                      static_cast<long long>(ply_.vertex_count - left),
                      static_cast<long long>(ply_.vertex_count), file_name_.c_str());
      }
      incomplete = true;
      left = 0;
      return false;
    }
    xyz[2] = 0.0;
    if (parser_.parse(line, xyz, point)) return true;
    print_message("WARNING: cannot parse '%.*s' with '%s'. skipping ...\n", static_cast<int>(line.size()),
                  line.data(), parse_string_.c_str());
  }
  return false;
}

bool LASreaderPLY::populate_pass() {
  PLYheader again;
  std::unique_ptr<BufferedInput> input = open_input(file_name_.c_str(), again);
  if (!input) return false;
  int64_t left = ply_.vertex_count;
  int64_t count = 0;
  double xyz[3];
  while (next_vertex(*input, left, xyz)) {
    widen_bounds(header, count == 0, xyz[0], xyz[1], xyz[2]);
    count++;
  }
  if (input->failed() || incomplete) return false;
  if (count == 0 && ply_.vertex_count > 0) {
    print_message("ERROR: could not parse any lines with '%s'\n", parse_string_.c_str());
    return false;
  }
  finish_counts(count);
  npoints = count;
  return true;
}

void LASreaderPLY::finish_counts(int64_t count) {
  const uint32_t legacy =
      count > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(count);
  header.number_of_point_records = legacy;
  header.number_of_points_by_return[0] = legacy;
  if (count > static_cast<int64_t>(UINT32_MAX)) {
    set_header_version(header, 4);
    header.extended_number_of_point_records = static_cast<uint64_t>(count);
    header.extended_number_of_points_by_return[0] = static_cast<uint64_t>(count);
  }
}

bool LASreaderPLY::read_first_point() {
  double xyz[3];
  for (;;) {
    if (!next_vertex(*input_, left_, xyz)) {
      if (input_->failed() || incomplete) return false;
      // A file without vertices is empty, not broken.
      reached_end_ = true;
      npoints = 0;
      return true;
    }
    if (!quantization_chosen_) {
      widen_bounds(header, true, xyz[0], xyz[1], xyz[2]);
      choose_quantization(header, requested_scale_, requested_offset_);
      quantization_chosen_ = true;
    }
    if (quantizer_.quantize(header, xyz[0], xyz[1], xyz[2], point)) break;
  }
  have_first_point_ = true;
  return true;
}

bool LASreaderPLY::read_point_unfiltered() {
  if (have_first_point_) {
    have_first_point_ = false;
    p_count++;
    return true;
  }
  if (!input_ || reached_end_) return false;
  double xyz[3];
  while (next_vertex(*input_, left_, xyz)) {
    if (!quantizer_.quantize(header, xyz[0], xyz[1], xyz[2], point)) continue;
    if (!populated_) widen_bounds(header, false, xyz[0], xyz[1], xyz[2]);
    p_count++;
    return true;
  }
  reached_end_ = true;
  if (input_->failed()) incomplete = true;
  if (p_count != npoints) {
    print_message("WARNING: end-of-file after %lld of %lld points\n", static_cast<long long>(p_count),
                  static_cast<long long>(npoints));
  }
  if (!populated_) {
    npoints = p_count;
    finish_counts(p_count);
    snap_bounds(header);
  }
  return false;
}

bool LASreaderPLY::reopen(const char* file_name) {
  PLYheader again;
  input_ = file_name ? open_input(file_name, again) : nullptr;
  if (!input_) {
    print_message("ERROR: cannot reopen file '%s'\n", file_name ? file_name : "");
    return false;
  }
  p_count = 0;
  incomplete = false;
  reached_end_ = have_first_point_ = false;
  left_ = ply_.vertex_count;
  return read_first_point();
}

bool LASreaderPLY::seek(int64_t p_index) {
  if (p_index < 0 || p_index >= npoints) return false;
  if (p_index < p_count) {
    if (piped_) return false;
    const std::string name = file_name_;
    if (!reopen(name.c_str())) return false;
  }
  while (p_count < p_index) {
    if (!read_point_unfiltered()) return false;
  }
  return true;
}

int64_t LASreaderPLY::max_points_in_file() const {
  if (populated_) return npoints;
  if (file_size_ < 0) return -1;
  // An ascii vertex takes at least one character and one separator per property.
  const int64_t per_vertex = ply_.format == PLYheader::kAscii
                                 ? 2 * static_cast<int64_t>(std::max<size_t>(1, ply_.properties.size()))
                                 : std::max<int64_t>(1, ply_.record_size);
  return std::min(ply_.vertex_count, file_size_ / per_vertex);
}

void LASreaderPLY::close(bool close_stream) {
  quantizer_.report();
  quantizer_.reset();
  if (close_stream) {
    input_.reset();
    file_name_.clear();
  }
}
