#include "lineio/shpwriter.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "common/messages.h"
#include "lineio/detail/byte_order.h"

namespace {
constexpr std::int64_t kHeaderWords = 50;
constexpr std::int64_t kRecordHeaderWords = 4;
constexpr std::int64_t kMaxWords = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kInitialElements = 1024;
// Measures below -1e38 mean "no data" to shapefile readers; 0.0 would claim every vertex has measure 0.
constexpr double kNoMeasure = -1e39;
// Preallocation for max_elements stops here; larger records grow by doubling like any other.
constexpr std::int64_t kMaxPreallocatedElements = 1 << 16;

int points_per_element_of(int shape_type) {
  switch (shape_type) {
    case 13:
    case 15:
    case 18:
      return 1;
    case 31:
      return 3;
    default:
      return 0;
  }
}
}  // namespace

// A writer destroyed before close() leaves no file behind: its files' temporaries go with it.
SHPwriter::~SHPwriter() = default;

std::int64_t SHPwriter::content_length_words(int shape_type, std::int64_t elements) {
  switch (shape_type) {
    case 13:
    case 15:
      return (80 + 32 * elements) / 2;
    case 18:
      return (72 + 32 * elements) / 2;
    case 31:
      return (76 + 104 * elements) / 2;
    default:
      return -1;
  }
}

bool SHPwriter::record_fits(std::int64_t file_length_words, std::int64_t content_length_words) {
  return content_length_words >= 0 && content_length_words <= kMaxWords &&
         file_length_words + kRecordHeaderWords + content_length_words <= kMaxWords;
}

std::int64_t SHPwriter::max_elements_per_record(int shape_type) {
  const std::int64_t base = content_length_words(shape_type, 0);
  if (base < 0) return 0;
  const std::int64_t per_element = content_length_words(shape_type, 1) - base;
  return (kMaxWords - kHeaderWords - kRecordHeaderWords - base) / per_element;
}

bool SHPwriter::open(const char* name, int type, int max_elems, bool use_dbf_writer, bool z_attr) {
  if (is_open) close();
  points_per_element = points_per_element_of(type);
  if (points_per_element == 0) {
    print_message("ERROR: the shapefile type %d is not supported\n", type);
    return false;
  }
  element_limit = max_elements_per_record(type);
  if (max_elems < 0 || max_elems > element_limit || (type == 13 && max_elems == 1) ||
      (type == 15 && max_elems != 0)) {
    print_message("ERROR: max_elements %d is not usable with shapefile type %d\n", max_elems, type);
    return false;
  }
  shape_type = type;
  max_elements = max_elems;
  z_attribute = z_attr;
  file_length = kHeaderWords;
  record_count = 0;
  failed = false;
  reset_record();
  std::fill(file_min, file_min + 3, 0.0);
  std::fill(file_max, file_max + 3, 0.0);
  if (name == nullptr) {
    print_message("ERROR: a shapefile needs a file name\n");
    return false;
  }
  const std::size_t length = std::strlen(name);
  if (length < 4 || std::strcmp(name + length - 4, ".shp") != 0) {
    print_message("ERROR: the shapefile name '%s' does not end in *.shp\n", name);
    return false;
  }
  file_name = name;
  if (!shp_file.open(name, "wb")) {
    print_message("ERROR: cannot open SHP file '%s'\n", name);
    return false;
  }
  std::string other(name);
  other.back() = 'x';
  if (!shx_file.open(other.c_str(), "wb")) {
    print_message("ERROR: cannot open SHX file '%s'\n", name);
    shp_file.discard();
    return false;
  }
  dbf_writer.reset();
  if (!use_dbf_writer && !z_attribute) {
    other.replace(length - 3, 3, "dbf");
    if (!plain_dbf_file.open(other.c_str(), "wb")) {
      print_message("ERROR: cannot open DBF file '%s'\n", name);
      shp_file.discard();
      shx_file.discard();
      return false;
    }
  } else {
    dbf_writer = std::make_unique<DBFwriter>();
    bool ok = dbf_writer->open(name);
    if (!ok) {
      print_message("ERROR: cannot open DBFwriter for file '%s'\n", name);
    } else if (z_attribute && dbf_writer->add_float_field("z") == -1) {
      print_message("ERROR: cannot add float attribute \"z\" to DBF file '%s'\n", name);
      ok = false;
    }
    if (!ok) {
      dbf_writer.reset();
      shp_file.discard();
      shx_file.discard();
      return false;
    }
  }
  write_header(shp_file, kHeaderWords);
  write_header(shx_file, kHeaderWords);
  if (max_elements != 0) {
    try {
      points.reserve(static_cast<std::size_t>(
          3 * points_per_element * std::min<std::int64_t>(max_elements, kMaxPreallocatedElements)));
    } catch (const std::bad_alloc&) {
      // The buffer grows on demand instead.
    }
  }
  is_open = true;
  return true;
}

bool SHPwriter::write_header(OutputFile& file, std::int64_t length_words) {
  std::uint8_t header[100] = {};
  byte_order::put_i32_be(header, 9994);
  byte_order::put_i32_be(header + 24, static_cast<std::int32_t>(length_words));
  byte_order::put_i32_le(header + 28, 1000);
  byte_order::put_i32_le(header + 32, shape_type);
  const double bounds[6] = {file_min[0], file_min[1], file_max[0], file_max[1], file_min[2], file_max[2]};
  for (int i = 0; i < 6; i++) byte_order::put_f64_le(header + 36 + 8 * i, bounds[i]);
  file.seek(0);
  return file.write(header, sizeof header);
}

void SHPwriter::reset_record() {
  points.clear();
  element_count = 0;
  carried = false;
  record_refused = false;
}

bool SHPwriter::start_element() {
  if (!is_open) return false;
  if (record_refused) return false;
  if (element_count >= element_limit) {
    print_message("ERROR: a record of shapefile '%s' cannot hold more than %" PRId64 " elements\n",
                  file_name.c_str(), element_limit);
    record_refused = true;
    failed = true;
    return false;
  }
  return true;
}

bool SHPwriter::append_point(float x, float y, float z) {
  if (only_2d) z = 0.0f;
  if (points.size() == points.capacity()) {
    try {
      points.reserve(points.empty() ? 3 * kInitialElements * static_cast<std::size_t>(points_per_element)
                                    : 2 * points.capacity());
    } catch (const std::bad_alloc&) {
      print_message("ERROR: cannot grow the vertex buffer of shapefile '%s'\n", file_name.c_str());
      record_refused = true;
      failed = true;
      return false;
    }
  }
  const float v[3] = {x, y, z};
  if (points.empty()) {
    std::copy(v, v + 3, record_min);
    std::copy(v, v + 3, record_max);
  } else {
    for (int i = 0; i < 3; i++) {
      if (v[i] < record_min[i]) {
        record_min[i] = v[i];
      } else if (v[i] > record_max[i]) {
        record_max[i] = v[i];
      }
    }
  }
  points.insert(points.end(), v, v + 3);
  return true;
}

bool SHPwriter::element_added() {
  element_count++;
  if (max_elements == 0 || element_count < max_elements) return true;
  const bool ok = write_record_and_attributes();
  if (ok && shape_type == 13) {
    // Hand the last vertex on so the next record continues the line where this one stopped.
    const float x = points[points.size() - 3], y = points[points.size() - 2], z = points.back();
    reset_record();
    append_point(x, y, z);
    element_count = 1;
    carried = true;
    return true;
  }
  reset_record();
  return ok;
}

bool SHPwriter::add_vertex(float x, float y, float z) {
  if (is_open && points_per_element != 1) {
    print_message("ERROR: SHP type is %d. cannot add_vertex().\n", shape_type);
    failed = true;
    return false;
  }
  if (!start_element() || !append_point(x, y, z)) return false;
  return element_added();
}

bool SHPwriter::add_triangle(float x1, float y1, float z1, float x2, float y2, float z2, float x3, float y3,
                             float z3) {
  if (is_open && shape_type != 31) {
    print_message("ERROR: SHP type is %d. cannot add_triangle().\n", shape_type);
    failed = true;
    return false;
  }
  if (!start_element()) return false;
  if (!append_point(x1, y1, z1) || !append_point(x2, y2, z2) || !append_point(x3, y3, z3)) return false;
  return element_added();
}

bool SHPwriter::end_line() {
  if (!is_open) return false;
  if (record_refused) {
    reset_record();
    return false;
  }
  if (element_count == 0 || (carried && element_count == 1)) {
    reset_record();
    return true;
  }
  const bool ok = write_record_and_attributes();
  reset_record();
  return ok;
}

bool SHPwriter::write_record_and_attributes() {
  const double z_mid = (double{record_min[2]} + double{record_max[2]}) * 0.5 + z_shift();
  if (!write_shape_record()) return false;
  if (!dbf_writer) return true;
  if (z_attribute) dbf_writer->set_float(0, z_mid, -1);
  if (!dbf_writer->write_record()) {
    print_message("WARNING: flushing DBFwriter returned an error\n");
    return false;
  }
  return true;
}

void SHPwriter::put_i32_be(std::int32_t v) {
  byte_order::put_i32_be(record.data() + record_pos, v);
  record_pos += 4;
}

void SHPwriter::put_i32_le(std::int32_t v) {
  byte_order::put_i32_le(record.data() + record_pos, v);
  record_pos += 4;
}

void SHPwriter::put_f64_le(double v) {
  byte_order::put_f64_le(record.data() + record_pos, v);
  record_pos += 8;
}

bool SHPwriter::begin_record(std::int64_t content_length) {
  if (!record_fits(file_length, content_length)) {
    print_message("ERROR: record %d of %" PRId64
                  " elements does not fit the 32-bit lengths of shapefile '%s'\n",
                  record_count + 1, element_count, file_name.c_str());
    failed = true;
    return false;
  }
  const double offset[3] = {x_offset, y_offset, z_shift()};
  for (int i = 0; i < 3; i++) {
    const double lo = double{record_min[i]} + offset[i], hi = double{record_max[i]} + offset[i];
    if (record_count == 0) {
      file_min[i] = lo;
      file_max[i] = hi;
    } else {
      file_min[i] = std::min(file_min[i], lo);
      file_max[i] = std::max(file_max[i], hi);
    }
  }
  record_count++;
  record.resize(static_cast<std::size_t>(8 + 2 * content_length));
  record_pos = 0;
  put_i32_be(record_count);
  put_i32_be(static_cast<std::int32_t>(content_length));
  put_i32_le(shape_type);
  put_f64_le(double{record_min[0]} + x_offset);
  put_f64_le(double{record_min[1]} + y_offset);
  put_f64_le(double{record_max[0]} + x_offset);
  put_f64_le(double{record_max[1]} + y_offset);
  return true;
}

void SHPwriter::put_points_and_z(std::int64_t n) {
  const std::size_t count = static_cast<std::size_t>(n);
  for (std::size_t i = 0; i < count; i++) {
    put_f64_le(double{points[3 * i]} + x_offset);
    put_f64_le(double{points[3 * i + 1]} + y_offset);
  }
  const double dz = z_shift();
  put_f64_le(double{record_min[2]} + dz);
  put_f64_le(double{record_max[2]} + dz);
  for (std::size_t i = 0; i < count; i++) put_f64_le(double{points[3 * i + 2]} + dz);
  put_f64_le(kNoMeasure);
  put_f64_le(kNoMeasure);
  for (std::size_t i = 0; i < count; i++) put_f64_le(kNoMeasure);
}

bool SHPwriter::finish_record(std::int64_t content_length) {
  shp_file.write(record.data(), record_pos);
  std::uint8_t entry[8];
  byte_order::put_i32_be(entry, static_cast<std::int32_t>(file_length));
  byte_order::put_i32_be(entry + 4, static_cast<std::int32_t>(content_length));
  shx_file.write(entry, sizeof entry);
  file_length += content_length + kRecordHeaderWords;
  return !shp_file.failed() && !shx_file.failed();
}

// One record of the open shape type: PolyLineZ/PolygonZ as a single part, MultiPointZ, or MultiPatch
// with one triangle-strip part per triangle.
bool SHPwriter::write_shape_record() {
  const std::int64_t n = element_count;
  const std::int64_t content_length = content_length_words(shape_type, n);
  if (!begin_record(content_length)) return false;
  const auto count = static_cast<std::int32_t>(n);
  if (shape_type == 13 || shape_type == 15) {
    put_i32_le(1);
    put_i32_le(count);
    put_i32_le(0);
    put_points_and_z(n);
  } else if (shape_type == 18) {
    put_i32_le(count);
    put_points_and_z(n);
  } else {
    put_i32_le(count);
    put_i32_le(3 * count);
    for (std::int32_t i = 0; i < count; i++) put_i32_le(3 * i);
    for (std::int32_t i = 0; i < count; i++) put_i32_le(0);  // triangle strip
    put_points_and_z(3 * n);
  }
  return finish_record(content_length);
}

bool SHPwriter::add_prj(std::string_view wkt) {
  if (!is_open) return false;
  std::string name = file_name;
  name.replace(name.size() - 3, 3, "prj");
  if (!prj_file.open(name.c_str(), "w")) {
    print_message("ERROR: cannot open '%s' for write: %s\n", name.c_str(), prj_file.error_text().c_str());
    return false;
  }
  prj_file.write(wkt.data(), wkt.size());
  return !prj_file.failed();
}

bool SHPwriter::complete_plain_dbf() {
  std::uint8_t header[33] = {};
  header[0] = 3;
  header[1] = header[2] = header[3] = 9;
  byte_order::put_u32_le(header + 4, static_cast<std::uint32_t>(record_count));
  byte_order::put_u16_le(header + 8, 33);
  byte_order::put_u16_le(header + 10, 1);
  header[29] = 0x57;
  header[32] = 0x0D;
  plain_dbf_file.write(header, sizeof header);
  std::uint8_t blanks[4096];
  std::memset(blanks, 0x20, sizeof blanks);
  for (std::int64_t left = record_count; left > 0; left -= static_cast<std::int64_t>(sizeof blanks)) {
    plain_dbf_file.write(blanks, static_cast<std::size_t>(std::min<std::int64_t>(left, sizeof blanks)));
  }
  return plain_dbf_file.finish();
}

bool SHPwriter::close() {
  if (!is_open) return false;
  bool ok = true;
  if (element_count != 0 || record_refused) ok = end_line();
  max_elements = 0;
  write_header(shp_file, file_length);
  write_header(shx_file, kHeaderWords + 4 * static_cast<std::int64_t>(record_count));
  if (failed) {
    print_message("ERROR: shapefile '%s' lacks records that could not be written\n", file_name.c_str());
    ok = false;
  }
  // The files appear together or not at all: each is finished first, and only when all of them
  // are complete do they replace what was there.
  ok = ok && shp_file.finish();
  ok = ok && shx_file.finish();
  ok = ok && (dbf_writer ? dbf_writer->finish() : complete_plain_dbf());
  ok = ok && prj_file.finish();
  ok = ok && shp_file.commit() && shx_file.commit();
  ok = ok && (dbf_writer ? dbf_writer->commit() : plain_dbf_file.commit());
  ok = ok && prj_file.commit();
  if (!ok) {
    shp_file.discard();
    shx_file.discard();
    plain_dbf_file.discard();
    prj_file.discard();
  }
  dbf_writer.reset();
  is_open = false;
  return ok;
}
