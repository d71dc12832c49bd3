#include "app/breakline_reader.h"

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "common/messages.h"

BreaklineReader::~BreaklineReader() = default;

namespace {

int32_t i32_be(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                              static_cast<uint32_t>(p[2]) << 8 | p[3]);
}
int32_t i32_le(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[1]) << 8 | p[0]);
}
double f64_le(const uint8_t* p) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; i--) bits = bits << 8 | p[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

bool has_z(int type) {
  return type == 13 || type == 15;
}
bool has_m(int type) {
  return type == 13 || type == 15 || type == 23 || type == 25;
}

// Polylines and polygons, read one record at a time. A record is read whole (its content length
// checked against the bytes left in the file first), then its counts are checked against that
// content before any of them sizes or indexes anything.
class BreaklineShapefile : public BreaklineReader {
 public:
  BreaklineShapefile(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}
  ~BreaklineShapefile() override { close(); }

  bool open() { return read_header(); }
  bool reopen() override {
    if (!file_ || std::fseek(file_, 0, SEEK_SET) != 0)
      return fail("ERROR: could not re-open '%s' for read\n");
    failed_ = false;
    return read_header();
  }
  bool read_point() override;
  void close() override {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  bool fail(const char* format) {
    print_message(format, name_.c_str());
    failed_ = true;
    return false;
  }
  bool read_header();
  bool read_record();
  bool record_error(const char* what);

  std::FILE* file_;
  std::string name_;
  int shape_type_ = 0;
  int64_t file_size_ = 0;
  int64_t position_ = 0;
  int32_t record_number_ = 0;
  std::vector<uint8_t> content_;
  // The current record: its part starts and points (x, y, z).
  std::vector<int32_t> parts_;
  std::vector<double> xyz_;
  int32_t points_ = 0;
  int32_t next_point_ = 0;
  size_t part_ = 0;
};

bool BreaklineShapefile::read_header() {
  // The size bounds every record's content length.
  if (std::fseek(file_, 0, SEEK_END) != 0) return fail("ERROR: cannot open SHP file '%s'\n");
  file_size_ = std::ftell(file_);
  if (file_size_ < 0 || std::fseek(file_, 0, SEEK_SET) != 0)
    return fail("ERROR: cannot open SHP file '%s'\n");
  uint8_t h[100];
  if (std::fread(h, 1, sizeof h, file_) != sizeof h) {
    return fail("ERROR: SHP file '%s' is shorter than its 100-byte header\n");
  }
  position_ = 100;
  if (i32_be(h) != 9994) {
    print_message("ERROR: wrong file code %d != 9994\n", i32_be(h));
    failed_ = true;
    return false;
  }
  if (i32_le(h + 28) != 1000) {
    print_message("ERROR: wrong version %d != 1000\n", i32_le(h + 28));
    failed_ = true;
    return false;
  }
  shape_type_ = i32_le(h + 32);
  if (shape_type_ != 3 && shape_type_ != 5 && shape_type_ != 13 && shape_type_ != 15 && shape_type_ != 23 &&
      shape_type_ != 25) {
    print_message("ERROR: unsupported shape shape_type %d\n", shape_type_);
    failed_ = true;
    return false;
  }
  record_number_ = 0;
  points_ = next_point_ = 0;
  return true;
}

bool BreaklineShapefile::record_error(const char* what) {
  print_message("ERROR: record %d of '%s' %s\n", record_number_, name_.c_str(), what);
  failed_ = true;
  return false;
}

bool BreaklineShapefile::read_record() {
  for (;;) {
    const int64_t left = file_size_ - position_;
    if (left == 0) return false;
    uint8_t h[8];
    if (left < 8 || std::fread(h, 1, 8, file_) != 8) {
      return fail("ERROR: SHP file '%s' ends inside a record header\n");
    }
    position_ += 8;
    const int32_t number = i32_be(h);
    if (number != record_number_ + 1) {
      print_message("ERROR: wrong record number %d != %d\n", number, record_number_ + 1);
      failed_ = true;
      return false;
    }
    record_number_ = number;
    const int32_t words = i32_be(h + 4);
    if (words < 2 || 2 * static_cast<int64_t>(words) > file_size_ - position_) {
      return record_error("has a content length beyond the end of the file");
    }
    const size_t bytes = 2 * static_cast<size_t>(words);
    content_.resize(bytes);
    if (std::fread(content_.data(), 1, bytes, file_) != bytes) return record_error("cannot be read");
    position_ += static_cast<int64_t>(bytes);
    const uint8_t* c = content_.data();
    const int32_t type = i32_le(c);
    if (type != shape_type_) {
      print_message("ERROR: wrong shape_type %d != %d\n", type, shape_type_);
      failed_ = true;
      return false;
    }
    if (bytes < 44) return record_error("is too short for its counts");
    const int32_t parts = i32_le(c + 36), points = i32_le(c + 40);
    if (parts < 0 || points < 0) return record_error("has a negative count of parts or points");
    // What the counts need, in 64 bits: a lying count cannot wrap around to a small size.
    int64_t need = 44 + 4 * static_cast<int64_t>(parts) + 16 * static_cast<int64_t>(points);
    if (has_z(type)) need += 16 + 8 * static_cast<int64_t>(points);
    if (need > static_cast<int64_t>(bytes)) {
      print_message("ERROR: record %d of '%s' claims %d parts and %d points but holds only %zu bytes\n",
                    record_number_, name_.c_str(), parts, points, bytes);
      failed_ = true;
      return false;
    }
    const int64_t rest = static_cast<int64_t>(bytes) - need;
    const int64_t measures = 16 + 8 * static_cast<int64_t>(points);
    if (rest != 0 && !(has_m(type) && rest == measures)) {
      print_message("ERROR: remaining content_length %lld after reading record\n",
                    static_cast<long long>(rest / 2));
      failed_ = true;
      return false;
    }
    if (parts == 0) {
      print_message("WARNING: found record of shape type %d with number_of_parts %d and number_of_points %d.",
                    type, parts, points);
      if (points != 0) {
        print_message("\nERROR: record %d of '%s' has points but no parts\n", record_number_, name_.c_str());
        failed_ = true;
        return false;
      }
      print_message(" skipping ...\n");
      continue;
    }
    parts_.resize(static_cast<size_t>(parts));
    for (int32_t i = 0; i < parts; i++) {
      const int32_t start = i32_le(c + 44 + 4 * i);
      const int32_t previous = i == 0 ? -1 : parts_[static_cast<size_t>(i - 1)];
      if ((i == 0 && start != 0) || start <= previous || start >= points) {
        return record_error("has part start indices out of order or beyond its points");
      }
      parts_[static_cast<size_t>(i)] = start;
    }
    const uint8_t* xy = c + 44 + 4 * static_cast<int64_t>(parts);
    const uint8_t* zs = xy + 16 * static_cast<int64_t>(points) + 16;
    xyz_.resize(3 * static_cast<size_t>(points));
    for (int32_t i = 0; i < points; i++) {
      double* p = &xyz_[3 * static_cast<size_t>(i)];
      p[0] = f64_le(xy + 16 * i);
      p[1] = f64_le(xy + 16 * i + 8);
      p[2] = has_z(type) ? f64_le(zs + 8 * i) : 0.0;
      if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
        return record_error("has a coordinate that is not a finite number");
      }
    }
    points_ = points;
    next_point_ = 0;
    part_ = 0;
    return true;
  }
}

bool BreaklineShapefile::read_point() {
  if (failed_ || !file_) return false;
  if (next_point_ == points_ && !read_record()) return false;
  const int32_t a = next_point_++;
  const double* p = &xyz_[3 * static_cast<size_t>(a)];
  x = p[0];
  y = p[1];
  z = p[2];
  first = a == parts_[part_];
  const int32_t next_start = part_ + 1 < parts_.size() ? parts_[part_ + 1] : points_;
  last = a + 1 == next_start;
  if (last) part_++;
  return true;
}

// Lines of two or three numbers (x y [z]) separated by white space or commas; any other line,
// an empty one included, ends the polyline before it.
class BreaklineText : public BreaklineReader {
 public:
  BreaklineText(std::FILE* file, std::string name) : file_(file), name_(std::move(name)) {}
  ~BreaklineText() override { close(); }

  bool open() { return find_first_point(); }
  bool reopen() override {
    if (!file_ || std::fseek(file_, 0, SEEK_SET) != 0) {
      print_message("ERROR: could not re-open '%s' for read\n", name_.c_str());
      failed_ = true;
      return false;
    }
    line_number_ = 0;
    failed_ = false;
    return find_first_point();
  }
  bool read_point() override;
  void close() override {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  static constexpr size_t kMaxLine = 511;

  bool next_line();
  // Two or three numbers on the current line.
  bool parse(double& px, double& py, double& pz);
  bool find_first_point();

  std::FILE* file_;
  std::string name_;
  char line_[kMaxLine + 2] = {};
  uint64_t line_number_ = 0;
  bool ended_ = false;
  bool previous_last_ = true;
};

bool BreaklineText::next_line() {
  if (failed_ || !std::fgets(line_, sizeof line_, file_)) return false;
  line_number_++;
  const size_t n = std::strlen(line_);
  if (n > 0 && line_[n - 1] == '\n') return true;
  // No newline: the last line of the file, or one too long for the buffer.
  if (n > kMaxLine) {
    print_message("ERROR: line %llu of '%s' is longer than %zu characters\n",
                  static_cast<unsigned long long>(line_number_), name_.c_str(), kMaxLine);
    failed_ = true;
    return false;
  }
  return true;
}

bool BreaklineText::parse(double& px, double& py, double& pz) {
  char copy[sizeof line_];
  std::memcpy(copy, line_, sizeof copy);
  for (char* c = copy; *c; c++) {
    if (*c == ',') *c = ' ';
  }
  double v[3] = {0, 0, 0};
  const int n = std::sscanf(copy, "%lf %lf %lf", &v[0], &v[1], &v[2]);
  if (n < 2) return false;
  if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
    print_message("ERROR: line %llu of '%s' has a coordinate that is not a finite number\n",
                  static_cast<unsigned long long>(line_number_), name_.c_str());
    failed_ = true;
    return false;
  }
  px = v[0];
  py = v[1];
  pz = n == 3 ? v[2] : 0.0;
  return true;
}

bool BreaklineText::find_first_point() {
  ended_ = false;
  previous_last_ = true;
  double px, py, pz;
  while (next_line()) {
    if (parse(px, py, pz)) return true;
    if (failed_) return false;
  }
  return false;
}

bool BreaklineText::read_point() {
  if (ended_ || failed_) return false;
  while (!parse(x, y, z)) {
    if (failed_ || !next_line()) {
      ended_ = true;
      return false;
    }
  }
  first = previous_last_;
  if (!next_line()) {
    last = true;
    ended_ = true;
  } else {
    double px, py, pz;
    last = !parse(px, py, pz);
  }
  if (failed_) return false;
  previous_last_ = last;
  return true;
}

bool contains(const std::string& s, const char* part) {
  return s.find(part) != std::string::npos;
}

}  // namespace

std::unique_ptr<BreaklineReader> open_breakline_shapefile(std::FILE* file, const std::string& file_name) {
  auto reader = std::make_unique<BreaklineShapefile>(file, file_name);
  if (!reader->open()) return nullptr;
  return reader;
}

std::unique_ptr<BreaklineReader> open_breakline_reader(const std::string& file_name, const char* kind,
                                                       bool& unknown_format) {
  unknown_format = false;
  const bool shp = contains(file_name, ".shp") || contains(file_name, ".SHP");
  const bool txt = !shp && (contains(file_name, ".txt") || contains(file_name, ".TXT"));
  if (!shp && !txt) {
    print_message("ERROR: unknown input format '%s' specified for %s\n", file_name.c_str(), kind);
    unknown_format = true;
    return nullptr;
  }
  const char* what = std::strcmp(kind, "lakes") == 0 ? "lake" : "creek";
  std::FILE* file = std::fopen(file_name.c_str(), "rb");
  if (!file) {
    print_message("ERROR: cannot open %s file '%s'\n", shp ? "SHP" : "TXT", file_name.c_str());
    print_message("ERROR: could not open %s file '%s' for read\n", what, file_name.c_str());
    return nullptr;
  }
  std::unique_ptr<BreaklineReader> reader;
  if (shp) {
    reader = open_breakline_shapefile(file, file_name);
  } else {
    auto text = std::make_unique<BreaklineText>(file, file_name);
    if (text->open()) reader = std::move(text);
  }
  if (!reader) print_message("ERROR: could not open %s file '%s' for read\n", what, file_name.c_str());
  return reader;
}
