#include "pointio/detail/lasreadertxt.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "common/messages.h"

namespace {

// Reads `n` numbers separated by blanks, tabs or commas from the start of a header line; what
// follows them is ignored.
bool read_numbers(std::string_view line, double* values, int n) {
  const char* p = line.data();
  const char* const end = p + line.size();
  for (int k = 0; k < n; k++) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == ',')) p++;
    if (p < end && *p == '+') p++;
    const auto result = std::from_chars(p, end, values[k]);
    if (result.ec != std::errc() || !std::isfinite(values[k])) return false;
    p = result.ptr;
  }
  return true;
}

bool read_count(std::string_view line, int64_t& value) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p < end && (*p == ' ' || *p == '\t')) p++;
  if (p < end && *p == '+') p++;
  return std::from_chars(p, end, value, 10).ec == std::errc();
}

template <class T>
void put(std::vector<uint8_t>& payload, size_t at, T value) {
  std::memcpy(payload.data() + at, &value, sizeof(T));
}

void copy_name(char* destination, size_t capacity, const std::string& text) {
  std::memset(destination, 0, capacity);
  std::memcpy(destination, text.data(), std::min(capacity, text.size()));
}

}  // namespace

LASreaderTXT::LASreaderTXT() = default;

LASreaderTXT::~LASreaderTXT() {
  close(true);
}

bool LASreaderTXT::add_attribute(int data_type, const std::string& name, const std::string& description,
                                 double scale, double offset, double pre_scale, double pre_offset,
                                 double no_data) {
  if (data_type < 1 || data_type > 10) {
    print_message("ERROR: initializing attribute %s\n", name.c_str());
    return false;
  }
  LASattribute a;
  a.data_type = static_cast<uint8_t>(data_type);
  copy_name(a.name, sizeof a.name, name);
  copy_name(a.description, sizeof a.description, description);
  if (scale != 1.0 || offset != 0.0) {
    a.options |= 8;
    a.scale[0] = scale;
  }
  if (offset != 0.0) {
    a.options |= 16;
    a.offset[0] = offset;
  }
  if (no_data != 2e307) {
    a.options |= 1;
    if (data_type <= 8) {
      const int64_t whole = static_cast<int64_t>(std::clamp(no_data, -9.2e18, 9.2e18));
      std::memcpy(a.no_data, &whole, sizeof whole);
    } else {
      std::memcpy(a.no_data, &no_data, sizeof no_data);
    }
  }
  attribute_list_.push_back(a);
  prescales_.push_back({pre_scale, pre_offset});
  return true;
}

bool LASreaderTXT::open(const char* file_name, int point_type, const char* parse_string, uint32_t skip_lines,
                        bool populate) {
  close(true);
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return false;
  }
  bool piped = false;
  std::unique_ptr<DecompressingFile> file = open_decompressing_file(file_name, "rb", &piped);
  if (!file) return false;
  file_name_ = file_name;
  piped_ = piped;
  return open_input(std::move(file), file_name, point_type, parse_string, skip_lines, populate);
}

bool LASreaderTXT::open_stdin(int point_type, const char* parse_string, uint32_t skip_lines, bool populate) {
  close(true);
  if (populate) {
    print_message_text(
        "WARNING: cannot populate the header of text read from stdin. counts and bounds are taken at the "
        "end\n");
  }
  piped_ = true;
  return open_input(open_standard_input(), nullptr, point_type, parse_string, skip_lines, false);
}

bool LASreaderTXT::prepare_header(int point_type, const char* parse_string) {
  header.clear();
  header.set_attributes(attribute_list_);
  add_attributes_vlr(header);
  parse_string_ = parse_string ? parse_string : "xyz";
  if (point_type == 0) {
    point_type = text_point_type(parse_string_);
  } else if (point_type != 1 && point_type != 2 && point_type != 3 && point_type != 6 && point_type != 7 &&
             point_type != 8) {
    print_message("ERROR: unknown point type %d with point size %d\n", point_type, 0);
    return false;
  }
  if (!set_point_type(header, point, static_cast<uint8_t>(point_type))) return false;
  return parser_.compile(parse_string_, point_type, header, prescales_, adjustments_);
}

bool LASreaderTXT::open_input(std::unique_ptr<DecompressingFile> file, const char* file_name, int point_type,
                              const char* parse_string, uint32_t skip_lines, bool populate) {
  npoints = p_count = 0;
  incomplete = false;
  populated_ = false;
  stated_count_ = false;
  reached_end_ = false;
  have_first_point_ = false;
  quantization_chosen_ = false;
  quantizer_.reset();
  by_return_.fill(0);
  above_five_ = false;
  requested_point_type_ = point_type;
  skip_lines_ = skip_lines;
  if (ptx_transform_) ptx_ = true;
  if (!prepare_header(point_type, parse_string)) return false;
  set_creation_date(header, file_name);
  set_header_version(header, header.point_data_format >= 6 ? 4 : 2);
  if (populate && file_name) {
    if (!populate_pass()) return false;
    populated_ = true;
    choose_quantization(header, requested_scale_, requested_offset_);
    quantization_chosen_ = true;
    snap_bounds(header);
  }
  input_ = std::make_unique<BufferedInput>(std::move(file));
  if (!read_preamble(*input_, false) || !read_first_point()) return false;
  return bind_stages();
}

bool LASreaderTXT::populate_pass() {
  std::unique_ptr<DecompressingFile> file = open_decompressing_file(file_name_.c_str(), "rb");
  if (!file) return false;
  BufferedInput input(std::move(file));
  if (!read_preamble(input, true)) return false;
  TXTlineParser counter = parser_;
  counter.reduce_to_coordinates_and_returns();
  int64_t count = 0;
  std::array<int64_t, 15> by_return{};
  bool above_five = false;
  double xyz[3];
  while (next_parsed(input, counter, xyz)) {
    widen_bounds(header, count == 0, xyz[0], xyz[1], xyz[2]);
    const int r = counter.last_return_number();
    if (r >= 1 && r <= 15) by_return[static_cast<size_t>(r - 1)]++;
    above_five = above_five || r > 5;
    count++;
  }
  if (input.failed()) return false;
  if (count == 0) {
    print_message("ERROR: could not parse any lines with '%s'\n", parse_string_.c_str());
    return false;
  }
  print_message("counted %lld points in populate pass.\n", static_cast<long long>(count));
  finish_counts(count, by_return, above_five);
  npoints = count;
  return true;
}

void LASreaderTXT::finish_counts(int64_t count, const std::array<int64_t, 15>& by_return, bool above_five) {
  const bool fits = count <= static_cast<int64_t>(UINT32_MAX);
  if (header.point_data_format < 6 && fits && !above_five) {
    if (header.version_minor >= 4) set_header_version(header, 2);
  } else if (header.version_minor < 4) {
    set_header_version(header, 4);
  }
  const auto saturated = [](int64_t v) {
    return v > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(v);
  };
  const bool legacy = header.point_data_format < 6 && fits;
  header.number_of_point_records = legacy ? saturated(count) : 0;
  for (size_t r = 0; r < 5; r++) header.number_of_points_by_return[r] = legacy ? saturated(by_return[r]) : 0;
  if (header.version_minor >= 4) {
    header.extended_number_of_point_records = static_cast<uint64_t>(count);
    for (size_t r = 0; r < 15; r++)
      header.extended_number_of_points_by_return[r] = static_cast<uint64_t>(by_return[r]);
  }
}

bool LASreaderTXT::read_preamble(BufferedInput& input, bool populating) {
  std::string_view line;
  for (uint32_t i = 0; i < skip_lines_ && input.next_line(line); i++) {
  }
  if (input.failed()) return false;
  if (ptx_) {
    if (!read_ptx_header(input)) return false;
    const int64_t count = int64_t{ptx_header_.columns} * ptx_header_.rows;
    if (populating) {
      print_message("PTX header states %d cols by %d rows aka %lld points. ignoring ...\n",
                    ptx_header_.columns, ptx_header_.rows, static_cast<long long>(count));
      return true;
    }
    if (!populated_) {
      npoints = count;
      stated_count_ = true;
    }
    add_scan_vlr();
  } else if (pts_) {
    if (!input.next_line(line)) {
      if (!input.failed()) print_message_text("ERROR: reading PTS header for '-itps'\n");
      return false;
    }
    int64_t count = 0;
    if (!read_count(line, count) || count < 0) {
      print_message_text("ERROR: parsing number of points for '-itps'\n");
      return false;
    }
    if (populating) {
      print_message("PTS header states %lld points. ignoring ...\n", static_cast<long long>(count));
      return true;
    }
    pts_count_ = count;
    if (!populated_) {
      npoints = count;
      stated_count_ = true;
    }
    add_scan_vlr();
  }
  return true;
}

bool LASreaderTXT::read_ptx_header(BufferedInput& input) {
  std::string_view line;
  const auto next = [&](const char* what) {
    if (input.next_line(line)) return true;
    if (!input.failed()) print_message("ERROR: reading line with %s\n", what);
    return false;
  };
  const auto dimension = [&](const char* what, int32_t& value) {
    if (!next(what)) return false;
    int64_t v = 0;
    if (!read_count(line, v) || v < 0 || v > INT32_MAX) {
      print_message("ERROR: parsing %s\n", what);
      return false;
    }
    value = static_cast<int32_t>(v);
    return true;
  };
  const auto row = [&](const char* what, double* values, int n) {
    if (!next(what)) return false;
    if (!read_numbers(line, values, n)) {
      print_message("ERROR: parsing %s\n", what);
      return false;
    }
    return true;
  };
  static const char* const kRotation[3] = {"rotation row 0", "rotation row 1", "rotation row 2"};
  static const char* const kTransformation[4] = {"transformation row 0", "transformation row 1",
                                                 "transformation row 2", "transformation row 3"};
  if (!dimension("number of cols", ptx_header_.columns) || !dimension("number of rows", ptx_header_.rows) ||
      !row("ptx_scan_pos", ptx_header_.scan_position, 3)) {
    return false;
  }
  for (int r = 0; r < 3; r++) {
    if (!row(kRotation[r], ptx_header_.rotation[r], 3)) return false;
  }
  for (int r = 0; r < 4; r++) {
    if (!row(kTransformation[r], ptx_header_.transformation[r], 4)) return false;
  }
  return true;
}

void LASreaderTXT::add_scan_vlr() {
  const bool ptx = ptx_;
  std::vector<uint8_t> payload(ptx ? 272 : 40, 0);
  put(payload, 0, adjustments_.translate_intensity);
  put(payload, 4, adjustments_.scale_intensity);
  std::memcpy(payload.data() + 16, parse_string_.data(), std::min<size_t>(16, parse_string_.size()));
  if (!ptx) {
    put(payload, 32, pts_count_);
    header.add_vlr("Quorvane", 2000, std::move(payload), kVlrDescription);
    return;
  }
  put(payload, 32, int64_t{ptx_header_.columns});
  put(payload, 40, int64_t{ptx_header_.rows});
  size_t at = 48;
  for (double v : ptx_header_.scan_position) put(payload, (at += 8) - 8, v);
  for (const auto& r : ptx_header_.rotation) {
    for (double v : r) put(payload, (at += 8) - 8, v);
  }
  for (const auto& r : ptx_header_.transformation) {
    for (double v : r) put(payload, (at += 8) - 8, v);
  }
  header.add_vlr("Quorvane", 2001, std::move(payload), kVlrDescription);
}

bool LASreaderTXT::next_parsed(BufferedInput& input, TXTlineParser& parser, double xyz[3]) {
  std::string_view line;
  while (input.next_line(line)) {
    if (line.empty()) continue;
    if (!parser.parse(line, xyz, point)) {
      print_message("WARNING: cannot parse '%.*s' with '%s'. skipping ...\n", static_cast<int>(line.size()),
                    line.data(), parse_string_.c_str());
      continue;
    }
    if (ptx_transform_) {
      // The scan's rows map a point given as a row vector (x y z 1) to the project.
      const auto& t = ptx_header_.transformation;
      const double x = xyz[0], y = xyz[1], z = xyz[2];
      xyz[0] = x * t[0][0] + y * t[1][0] + z * t[2][0] + t[3][0];
      xyz[1] = x * t[0][1] + y * t[1][1] + z * t[2][1] + t[3][1];
      xyz[2] = x * t[0][2] + y * t[1][2] + z * t[2][2] + t[3][2];
    }
    return true;
  }
  return false;
}

bool LASreaderTXT::read_first_point() {
  double xyz[3];
  for (;;) {
    if (!next_parsed(*input_, parser_, xyz)) {
      if (!input_->failed())
        print_message("ERROR: could not parse any lines with '%s'\n", parse_string_.c_str());
      return false;
    }
    if (!quantization_chosen_) {
      // Without a counting pass the first point stands for the whole file.
      widen_bounds(header, true, xyz[0], xyz[1], xyz[2]);
      choose_quantization(header, requested_scale_, requested_offset_);
      quantization_chosen_ = true;
    }
    if (quantizer_.quantize(header, xyz[0], xyz[1], xyz[2], point)) break;
  }
  have_first_point_ = true;
  return true;
}

void LASreaderTXT::count_point() {
  const bool extended = point.extended_point_type || header.version_minor >= 4;
  const int r = extended ? point.extended_return_number : point.return_number;
  if (r >= 1 && r <= 15) by_return_[static_cast<size_t>(r - 1)]++;
  above_five_ = above_five_ || r > 5;
  widen_bounds(header, false, point.coordinates[0], point.coordinates[1], point.coordinates[2]);
}

bool LASreaderTXT::read_point_unfiltered() {
  if (have_first_point_) {
    have_first_point_ = false;
    p_count++;
    if (!populated_) count_point();
    return true;
  }
  if (!input_ || reached_end_) return false;
  double xyz[3];
  while (next_parsed(*input_, parser_, xyz)) {
    if (!quantizer_.quantize(header, xyz[0], xyz[1], xyz[2], point)) continue;
    p_count++;
    if (!populated_) count_point();
    return true;
  }
  reached_end_ = true;
  if (input_->failed()) incomplete = true;
  if ((populated_ || stated_count_) && p_count != npoints) {
    print_message("WARNING: end-of-file after %lld of %lld points\n", static_cast<long long>(p_count),
                  static_cast<long long>(npoints));
  }
  if (!populated_) {
    npoints = p_count;
    finish_counts(p_count, by_return_, above_five_);
    snap_bounds(header);
  }
  return false;
}

bool LASreaderTXT::reopen(const char* file_name) {
  input_.reset();
  bool piped = false;
  std::unique_ptr<DecompressingFile> file =
      file_name ? open_decompressing_file(file_name, "rb", &piped) : nullptr;
  if (!file) {
    print_message("ERROR: cannot reopen file '%s'\n", file_name ? file_name : "");
    return false;
  }
  file_name_ = file_name;
  piped_ = piped;
  p_count = 0;
  incomplete = false;
  reached_end_ = false;
  have_first_point_ = false;
  by_return_.fill(0);
  above_five_ = false;
  input_ = std::make_unique<BufferedInput>(std::move(file));
  return read_preamble(*input_, false) && read_first_point();
}

bool LASreaderTXT::seek(int64_t p_index) {
  if (p_index < 0 || (populated_ && p_index >= npoints)) return false;
  if (p_index < p_count) {
    if (piped_ || file_name_.empty()) return false;
    const std::string name = file_name_;
    if (!reopen(name.c_str())) {
      input_.reset();
      return false;
    }
  }
  while (p_count < p_index) {
    if (!read_point_unfiltered()) return false;
  }
  return true;
}

void LASreaderTXT::close(bool close_stream) {
  quantizer_.report();
  quantizer_.reset();
  if (close_stream) {
    input_.reset();
    file_name_.clear();
  }
}
