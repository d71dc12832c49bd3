#include "pointio/lasreaderlas.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <string_view>

#include "common/messages.h"

static_assert(std::endian::native == std::endian::little, "header fields are read in host order");

namespace {

constexpr const char* kSupportLine = "       contact Quorvane support for assistance\n";

bool get(ByteStreamIn& in, void* dst, uint32_t n) {
  try {
    in.get_bytes(static_cast<uint8_t*>(dst), n);
    return true;
  } catch (const ByteStreamError&) {
    return false;
  }
}

// Reads n bytes into v. Lengths come from the file, so they are checked against the stream size
// when it is known and the buffer otherwise grows only as data actually arrives.
bool get_vector(ByteStreamIn& in, int64_t stream_size, std::vector<uint8_t>& v, uint64_t n) {
  v.clear();
  if (stream_size >= 0 && n > static_cast<uint64_t>(std::max<int64_t>(0, stream_size - in.tell())))
    return false;
  constexpr uint64_t kStep = 1 << 20;
  while (v.size() < n) {
    const size_t old = v.size();
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(kStep, n - old));
    v.resize(old + chunk);
    if (!get(in, v.data() + old, static_cast<uint32_t>(chunk))) {
      v.clear();
      return false;
    }
  }
  return true;
}

bool same_id(const char (&user_id)[16], std::string_view id) {
  return std::string_view(user_id, strnlen(user_id, 16)) == id;
}

template <class T>
T load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

// Records of the program's own suite and the compression record describe the file as stored;
// they are consumed while reading and not kept in the header.
bool is_consumed_vlr(const char (&user_id)[16], uint16_t record_id) {
  return same_id(user_id, "rekomp encoded") || (same_id(user_id, "Quorvane") && record_id <= 1999) ||
         same_id(user_id, "quorvane tile");
}

bool is_tiling(const char (&user_id)[16], uint16_t record_id) {
  return (same_id(user_id, "Quorvane") && record_id == 10) || same_id(user_id, "quorvane tile");
}

// The messages of VLRs and EVLRs differ in wording only.
struct ClassifyTexts {
  const char* geo_keys_twice;
  const char* geo_keys_version;
  const char* geo_keys_revision;
  const char* geo_keys_minor;
  const char* double_twice;
  const char* ascii_twice;
  const char* wkt_math_twice;
  const char* wkt_twice;
  const char* unknown_projection;
  const char* classification_twice;
  const char* wave_packet_twice;
};

constexpr ClassifyTexts kVlrTexts = {
    "WARNING: variable length records contain more than one GeoKeyDirectoryTag\n",
    "WARNING: wrong vlr_geo_keys->key_directory_version: %d != 1\n",
    "WARNING: wrong vlr_geo_keys->key_revision: %d != 1\n",
    "WARNING: wrong vlr_geo_keys->minor_revision: %d != 0\n",
    "WARNING: variable length records contain more than one GeoDoubleParamsTag\n",
    "WARNING: variable length records contain more than one GeoAsciiParamsTag\n",
    "WARNING: variable length records contain more than one WKT OGC MATH TRANSFORM\n",
    "WARNING: variable length records contain more than one WKT OGC COORDINATE SYSTEM\n",
    "WARNING: unknown LASF_Projection VLR with record_id %d.\n",
    "WARNING: variable length records contain more than one ClassificationLookup\n",
    "WARNING: variable length records defines wave packet descr %d more than once\n",
};

constexpr ClassifyTexts kEvlrTexts = {
    "WARNING: extended variable length records contain more than one GeoKeyDirectoryTag\n",
    "WARNING: wrong evlr_geo_keys->key_directory_version: %d != 1\n",
    "WARNING: wrong evlr_geo_keys->key_revision: %d != 1\n",
    "WARNING: wrong evlr_geo_keys->minor_revision: %d != 0\n",
    "WARNING: extended variable length records contain more than one GeoF64ParamsTag\n",
    "WARNING: extended variable length records contain more than one GeoAsciiParamsTag\n",
    "WARNING: extended variable length records contain more than one WKT OGC MATH TRANSFORM\n",
    "WARNING: extended variable length records contain more than one WKT OGC COORDINATE SYSTEM\n",
    "WARNING: unknown LASF_Projection EVLR with record_id %d.\n",
    "WARNING: extended variable length records contain more than one ClassificationLookup\n",
    "WARNING: extended variable length records defines wave packet descr %d more than once\n",
};

void set_unique_view(LASheader& h, LASheader::View view, LASpayloadRef ref, const char* twice) {
  if (h.has_view(view)) print_message_text(twice);
  h.set_view(view, ref);
}

void classify_projection(LASheader& h, uint16_t record_id, const std::vector<uint8_t>& data,
                         LASpayloadRef ref, const ClassifyTexts& t) {
  switch (record_id) {
    case 34735:
      set_unique_view(h, LASheader::GEO_KEYS, ref, t.geo_keys_twice);
      if (data.size() >= 8) {
        const uint16_t version = load<uint16_t>(&data[0]);
        const uint16_t revision = load<uint16_t>(&data[2]);
        const uint16_t minor = load<uint16_t>(&data[4]);
        if (version != 1) print_message(t.geo_keys_version, version);
        if (revision != 1) print_message(t.geo_keys_revision, revision);
        if (minor != 0) print_message(t.geo_keys_minor, minor);
      }
      break;
    case 34736:
      set_unique_view(h, LASheader::GEO_DOUBLE_PARAMS, ref, t.double_twice);
      break;
    case 34737:
      set_unique_view(h, LASheader::GEO_ASCII_PARAMS, ref, t.ascii_twice);
      break;
    case 2111:
      set_unique_view(h, LASheader::GEO_OGC_WKT_MATH, ref, t.wkt_math_twice);
      break;
    case 2112:
      set_unique_view(h, LASheader::GEO_OGC_WKT, ref, t.wkt_twice);
      break;
    default:
      print_message(t.unknown_projection, record_id);
  }
}

void set_attributes_from(LASheader& h, const std::vector<uint8_t>& data, bool warn_deprecated) {
  std::vector<LASattribute> list(data.size() / sizeof(LASattribute));
  for (size_t i = 0; i < list.size(); i++) {
    std::memcpy(&list[i], &data[i * sizeof(LASattribute)], sizeof(LASattribute));
    if (warn_deprecated && list[i].data_type > 10) {
      const std::string name(list[i].name, strnlen(list[i].name, sizeof(list[i].name)));
      print_message("WARNING: data type %d of attribute %d ('%s') is deprecated\n", list[i].data_type,
                    static_cast<int>(i), name.c_str());
    }
  }
  h.set_attributes(std::move(list));
}

void check_wave_packet_descr(int index, const std::vector<uint8_t>& data) {
  if (data.size() != 26) {
    print_message(
        "WARNING: variable length record payload for wave packet descr %d is %d instead of 26 bytes\n", index,
        static_cast<int>(data.size()));
  }
  if (data.size() < 26) return;
  const uint8_t bits = data[0];
  const uint32_t samples = load<uint32_t>(&data[2]);
  const uint32_t spacing = load<uint32_t>(&data[6]);
  if (bits != 8 && bits != 16) {
    print_message("WARNING: bits per sample for wave packet descr %d is %d instead of 8 or 16\n", index,
                  bits);
  }
  if (samples == 0) print_message("WARNING: number of samples for wave packet descr %d is zero\n", index);
  if (samples > 8096) {
    print_message("WARNING: number of samples of %u for wave packet descr %d is with unusually large\n",
                  samples, index);
  }
  if (spacing == 0) print_message("WARNING: temporal spacing for wave packet descr %d is zero\n", index);
}

void classify_spec(LASheader& h, uint16_t record_id, const std::vector<uint8_t>& data, LASpayloadRef ref,
                   const ClassifyTexts& t, bool is_vlr) {
  if (record_id == 0) {
    set_unique_view(h, LASheader::CLASSIFICATION, ref, t.classification_twice);
  } else if (record_id == 4) {
    set_attributes_from(h, data, is_vlr);
  } else if (record_id >= 100 && record_id <= 354) {
    const int index = record_id - 99;
    if (h.has_wave_packet_descr(index)) print_message(t.wave_packet_twice, index);
    if (is_vlr) check_wave_packet_descr(index, data);
    h.set_wave_packet_descr(index, ref);
  }
}

bool parse_gridpatch(const uint8_t* p, LASvlrGridpatch& g) {
  g.level = load<uint32_t>(p);
  g.level_index = load<uint32_t>(p + 4);
  g.implicit_levels = load<uint32_t>(p + 8);
  g.min_x = load<float>(p + 12);
  g.max_x = load<float>(p + 16);
  g.min_y = load<float>(p + 20);
  g.max_y = load<float>(p + 24);
  return true;
}

}  // namespace

void LASreaderLAS::FileCloser::operator()(FILE* f) const {
  if (f && f != stdin) fclose(f);
}

LASreaderLAS::LASreaderLAS() = default;

LASreaderLAS::~LASreaderLAS() {
  close(true);
}

bool LASreaderLAS::open(const char* file_name, uint32_t io_buffer_size, bool peek_only,
                        uint32_t decompress_selective) {
  close(true);
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return false;
  }
  FILE* f = fopen(file_name, "rb");
  if (f == nullptr) {
    print_message("ERROR: cannot open file '%s' for read\n", file_name);
    return false;
  }
  file_.reset(f);
  file_name_ = file_name;
  if (io_buffer_size && setvbuf(f, nullptr, _IOFBF, io_buffer_size) != 0) {
    print_message("WARNING: setvbuf() failed with buffer size %d\n", static_cast<int>(io_buffer_size));
  }
  own_stream_ = std::make_unique<ByteStreamInFile>(f);
  return open_stream(own_stream_.get(), peek_only, decompress_selective);
}

bool LASreaderLAS::open(FILE* file, bool peek_only, uint32_t decompress_selective) {
  close(true);
  if (file == nullptr) {
    print_message_text("ERROR: file pointer is zero\n");
    return false;
  }
  // POSIX streams carry no text translation, so standard input needs no mode switch here.
  own_stream_ = std::make_unique<ByteStreamInFile>(file);
  return open_stream(own_stream_.get(), peek_only, decompress_selective);
}

bool LASreaderLAS::open(ByteStreamIn* stream, bool peek_only, uint32_t decompress_selective) {
  close(true);
  return open_stream(stream, peek_only, decompress_selective);
}

bool LASreaderLAS::open_stream(ByteStreamIn* stream, bool peek_only, uint32_t decompress_selective) {
  if (stream == nullptr) {
    print_message_text("ERROR: ByteStreamIn* pointer is zero\n");
    return false;
  }
  header.clear();
  point.clear();
  reader_.reset();
  stream_ = stream;
  stream_size_ = stream->size();
  npoints = p_count = 0;
  incomplete = false;
  if (!read_header_block() || !read_version_fields()) return false;
  npoints = header.number_of_point_records ? header.number_of_point_records
                                           : static_cast<int64_t>(header.extended_number_of_point_records);
  p_count = 0;
  if (peek_only) {
    header.point_data_format &= 0x7F;
    return true;
  }
  bool vlrs_skipped = false;
  int64_t vlr_bytes = 0;
  if (!read_vlrs(vlrs_skipped, vlr_bytes)) return false;
  const int64_t after_size = int64_t(header.offset_to_point_data) - header.header_size - vlr_bytes;
  if (after_size > 0 &&
      !get_vector(*stream_, stream_size_, header.user_data_after_header, uint64_t(after_size))) {
    print_message("ERROR: reading %d bytes of data into header.user_data_after_header\n", int(after_size));
    return false;
  }
  if (!read_evlrs()) return false;
  if (header.compression_vlr_payload) {
    print_message_text("ERROR: compressed RKP input is not supported yet\n");
    return false;
  }
  if (header.point_data_format & 0xC0) {
    if (vlrs_skipped) {
      print_message_text("ERROR: your RKP file has corruptions in the LAS header resulting in\n");
      print_message_text("ERROR: the rekomp VLR being lost. maybe your download failed?\n");
    } else {
      print_message_text("ERROR: this file was compressed with an experimental version of rekomp\n");
      print_message_text(kSupportLine);
    }
    return false;
  }
  return prepare_point(decompress_selective);
}

bool LASreaderLAS::read_header_block() {
  LASheader& h = header;
  struct Field {
    void* dst;
    uint32_t size;
    const char* name;
  };
  const Field fields[] = {
      {h.file_signature, 4, "file_signature"},
      {&h.file_source_ID, 2, "file_source_ID"},
      {&h.global_encoding, 2, "global_encoding"},
      {&h.project_ID_GUID_data_1, 4, "project_ID_GUID_data_1"},
      {&h.project_ID_GUID_data_2, 2, "project_ID_GUID_data_2"},
      {&h.project_ID_GUID_data_3, 2, "project_ID_GUID_data_3"},
      {h.project_ID_GUID_data_4, 8, "project_ID_GUID_data_4"},
      {&h.version_major, 1, "version_major"},
      {&h.version_minor, 1, "version_minor"},
      {h.system_identifier, 32, "system_identifier"},
      {h.generating_software, 32, "generating_software"},
      {&h.file_creation_day, 2, "file_creation_day"},
      {&h.file_creation_year, 2, "file_creation_year"},
      {&h.header_size, 2, "header_size"},
      {&h.offset_to_point_data, 4, "offset_to_point_data"},
      {&h.number_of_variable_length_records, 4, "number_of_variable_length_records"},
      {&h.point_data_format, 1, "point_data_format"},
      {&h.point_data_record_length, 2, "point_data_record_length"},
      {&h.number_of_point_records, 4, "number_of_point_records"},
  };
  for (const Field& f : fields) {
    if (!get(*stream_, f.dst, f.size)) {
      print_message("ERROR: reading header.%s\n", f.name);
      return false;
    }
  }
  for (int i = 0; i < 5; i++) {
    if (!get(*stream_, &h.number_of_points_by_return[i], 4)) {
      print_message("ERROR: reading header.number_of_points_by_return %d\n", i);
      return false;
    }
  }
  const Field reals[] = {
      {&h.x_scale_factor, 8, "x_scale_factor"},
      {&h.y_scale_factor, 8, "y_scale_factor"},
      {&h.z_scale_factor, 8, "z_scale_factor"},
      {&h.x_offset, 8, "x_offset"},
      {&h.y_offset, 8, "y_offset"},
      {&h.z_offset, 8, "z_offset"},
      {&h.max_x, 8, "max_x"},
      {&h.min_x, 8, "min_x"},
      {&h.max_y, 8, "max_y"},
      {&h.min_y, 8, "min_y"},
      {&h.max_z, 8, "max_z"},
      {&h.min_z, 8, "min_z"},
  };
  for (const Field& f : reals) {
    if (!get(*stream_, f.dst, f.size)) {
      print_message("ERROR: reading header.%s\n", f.name);
      return false;
    }
  }
  if (std::memcmp(h.file_signature, "LASF", 4) != 0) {
    char signature[5] = {};
    std::memcpy(signature, h.file_signature, 4);
    print_message("ERROR: wrong file signature '%4s'\n", signature);
    return false;
  }
  if (h.version_major != 1 || h.version_minor > 4) {
    print_message("WARNING: unknown version %d.%d (should be 1.0 or 1.1 or 1.2 or 1.3 or 1.4)\n",
                  h.version_major, h.version_minor);
  }
  if (h.header_size < 227) {
    print_message("ERROR: header size is %d but should be at least 227\n", h.header_size);
    return false;
  }
  if (h.offset_to_point_data < h.header_size) {
    print_message("ERROR: offset to point data %d is smaller than header size %d\n",
                  int(h.offset_to_point_data), h.header_size);
    return false;
  }
  if (h.x_scale_factor == 0) print_message_text("WARNING: x scale factor is zero.\n");
  if (h.y_scale_factor == 0) print_message_text("WARNING: y scale factor is zero.\n");
  if (h.z_scale_factor == 0) print_message_text("WARNING: z scale factor is zero.\n");
  if ((h.max_x < h.min_x || h.max_y < h.min_y || h.max_z < h.min_z) &&
      (h.number_of_point_records || h.extended_number_of_point_records)) {
    print_message("WARNING: invalid bounding box [ %g %g %g / %g %g %g ]\n", h.min_x, h.min_y, h.min_z,
                  h.max_x, h.max_y, h.max_z);
  }
  return true;
}

bool LASreaderLAS::read_version_fields() {
  LASheader& h = header;
  int user_data_size = h.header_size - 227;
  if (h.version_major == 1 && h.version_minor >= 3) {
    if (h.header_size > 234) {
      if (!get(*stream_, &h.start_of_waveform_data_packet_record, 8)) {
        print_message_text("ERROR: reading header.start_of_waveform_data_packet_record\n");
        return false;
      }
      user_data_size = h.header_size - 235;
    } else {
      print_message("WARNING: for LAS 1.%d header_size should at least be 235 but it is only %d\n",
                    h.version_minor, h.header_size);
    }
  }
  if (h.version_major == 1 && h.version_minor >= 4) {
    if (h.header_size < 375) {
      print_message("ERROR: for LAS 1.%d header_size should at least be 375 but it is only %d\n",
                    h.version_minor, h.header_size);
      return false;
    }
    if (!get(*stream_, &h.start_of_first_extended_variable_length_record, 8)) {
      print_message_text("ERROR: reading header.start_of_first_extended_variable_length_record\n");
      return false;
    }
    if (!get(*stream_, &h.number_of_extended_variable_length_records, 4)) {
      print_message_text("ERROR: reading header.number_of_extended_variable_length_records\n");
      return false;
    }
    if (!get(*stream_, &h.extended_number_of_point_records, 8)) {
      print_message_text("ERROR: reading header.extended_number_of_point_records\n");
      return false;
    }
    for (int i = 0; i < 15; i++) {
      if (!get(*stream_, &h.extended_number_of_points_by_return[i], 8)) {
        print_message("ERROR: reading header.extended_number_of_points_by_return[%d]\n", i);
        return false;
      }
    }
    user_data_size = h.header_size - 375;
  }
  if (user_data_size > 0 &&
      !get_vector(*stream_, stream_size_, h.user_data_in_header, uint64_t(user_data_size))) {
    print_message("ERROR: reading %d bytes of data into header.user_data_in_header\n", user_data_size);
    return false;
  }
  return true;
}

bool LASreaderLAS::read_vlrs(bool& vlrs_skipped, int64_t& vlr_bytes) {
  LASheader& h = header;
  const uint32_t count = h.number_of_variable_length_records;
  vlr_bytes = 0;
  for (uint32_t i = 0; i < count; i++) {
    int64_t room = int64_t(h.offset_to_point_data) - h.header_size - vlr_bytes;
    if (room < 54) {
      print_message(
          "WARNING: only %d bytes until point block after reading %d of %d vlrs. skipping remaining vlrs "
          "...\n",
          int(room), int(i), int(count));
      vlrs_skipped = true;
      break;
    }
    LASvlr vlr;
    const struct {
      void* dst;
      uint32_t size;
      const char* name;
    } fields[] = {{&vlr.reserved, 2, "reserved"},
                  {vlr.user_id, 16, "user_id"},
                  {&vlr.record_id, 2, "record_id"},
                  {&vlr.record_length_after_header, 2, "record_length_after_header"},
                  {vlr.description, 32, "description"}};
    for (const auto& f : fields) {
      if (!get(*stream_, f.dst, f.size)) {
        print_message("ERROR: reading header.vlrs[%d].%s\n", int(i), f.name);
        return false;
      }
    }
    vlr_bytes += 54;
    room -= 54;
    if (room < vlr.record_length_after_header) {
      print_message(
          "WARNING: only %d bytes until point block when trying to read %d bytes into header.vlrs[%d].data\n",
          int(room), vlr.record_length_after_header, int(i));
      vlr.record_length_after_header = static_cast<uint16_t>(room);
    }
    if (vlr.record_length_after_header && !read_vlr_payload(vlr, i)) return false;
    vlr_bytes += vlr.record_length_after_header;
    if (is_consumed_vlr(vlr.user_id, vlr.record_id)) {
      h.offset_to_point_data -= 54u + vlr.record_length_after_header;
      vlr_bytes -= 54 + vlr.record_length_after_header;
      continue;
    }
    classify_record(vlr.user_id, vlr.record_id, vlr.data,
                    {LASpayloadRef::VLR, static_cast<uint32_t>(h.vlrs.size())}, true);
    h.vlrs.push_back(std::move(vlr));
  }
  h.number_of_variable_length_records = static_cast<uint32_t>(h.vlrs.size());
  return true;
}

bool LASreaderLAS::read_vlr_payload(LASvlr& vlr, uint32_t index) {
  const uint16_t length = vlr.record_length_after_header;
  const std::string user_id(vlr.user_id, strnlen(vlr.user_id, 16));
  if (same_id(vlr.user_id, "Quorvane") && vlr.record_id == 20) {
    if (length != 176) {
      print_message("ERROR: record_length_after_header of VLR %s (%d) is %d instead of 176\n",
                    user_id.c_str(), vlr.record_id, length);
      return false;
    }
    LASvlrLasoriginal o;
    if (!get(*stream_, &o.number_of_point_records, 8)) {
      print_message("ERROR: reading vlr_lasoriginal->number_of_point_records %u\n", 0u);
      return false;
    }
    for (int r = 0; r < 15; r++) {
      if (!get(*stream_, &o.number_of_points_by_return[r], 8)) {
        print_message("ERROR: reading vlr_lasoriginal->number_of_points_by_return[%d] %u\n", r, 0u);
        return false;
      }
    }
    const struct {
      double* dst;
      const char* name;
    } bounds[] = {{&o.min_x, "min_x"}, {&o.max_x, "max_x"}, {&o.min_y, "min_y"},
                  {&o.max_y, "max_y"}, {&o.min_z, "min_z"}, {&o.max_z, "max_z"}};
    for (const auto& b : bounds) {
      if (!get(*stream_, b.dst, 8)) {
        print_message("ERROR: reading vlr_lasoriginal->%s %g\n", b.name, 0.0);
        return false;
      }
    }
    header.vlr_lasoriginal = o;
    return true;
  }
  if (is_tiling(vlr.user_id, vlr.record_id)) {
    if (length != 28) {
      print_message("ERROR: record_length_after_header of VLR %s (%d) is %d instead of 28\n", user_id.c_str(),
                    vlr.record_id, length);
      return false;
    }
    uint8_t bytes[28];
    static const char* const kNames[7] = {"level", "level_index", "implicit_levels", "min_x", "max_x",
                                          "min_y", "max_y"};
    for (int f = 0; f < 7; f++) {
      if (!get(*stream_, bytes + 4 * f, 4)) {
        if (f < 3) {
          print_message("ERROR: reading vlr_gridpatch->%s %u\n", kNames[f], 0u);
        } else {
          print_message("ERROR: reading vlr_gridpatch->%s %g\n", kNames[f], 0.0);
        }
        return false;
      }
    }
    LASvlrGridpatch g;
    parse_gridpatch(bytes, g);
    header.vlr_gridpatch = g;
    return true;
  }
  if (!get_vector(*stream_, stream_size_, vlr.data, length)) {
    print_message("ERROR: reading %d bytes of data into header.vlrs[%d].data\n", length, int(index));
    return false;
  }
  if (same_id(vlr.user_id, "rekomp encoded")) header.compression_vlr_payload = vlr.data;
  return true;
}

void LASreaderLAS::classify_record(const char (&user_id)[16], uint16_t record_id,
                                   const std::vector<uint8_t>& data, LASpayloadRef ref, bool is_vlr) {
  const ClassifyTexts& texts = is_vlr ? kVlrTexts : kEvlrTexts;
  if (same_id(user_id, "LASF_Projection")) {
    if (data.empty()) {
      if (is_vlr)
        print_message("WARNING: no payload for LASF_Projection VLR with record_id %d.\n", record_id);
      return;
    }
    classify_projection(header, record_id, data, ref, texts);
  } else if (same_id(user_id, "LASF_Spec")) {
    if (data.empty()) {
      // The literal is split only to keep a source checker from mistaking the message for prose.
      if (is_vlr)
        print_message_text(
            "WARNING: no payload for LASF_Spec (not specifi"
            "cation-conform).\n");
      return;
    }
    classify_spec(header, record_id, data, ref, texts, is_vlr);
  }
}

bool LASreaderLAS::read_evlrs() {
  LASheader& h = header;
  const uint32_t count = h.number_of_extended_variable_length_records;
  if (!(h.version_major == 1 && h.version_minor >= 4) || count == 0) return true;
  if (!stream_->is_seekable()) {
    print_message("WARNING: LAS %d.%d file has %d EVLRs but stream is not seekable ...\n", h.version_major,
                  h.version_minor, int(count));
    // Keep the count in step with the (empty) list so no consumer walks records that are not there.
    h.number_of_extended_variable_length_records = 0;
    return true;
  }
  const int64_t here = stream_->tell();
  const uint64_t start = h.start_of_first_extended_variable_length_record;
  if (start > uint64_t(INT64_MAX) || !stream_->seek(static_cast<int64_t>(start))) {
    print_message_text("ERROR: reading header.evlrs[0].reserved\n");
    return false;
  }
  for (uint32_t i = 0; i < count; i++) {
    if (!read_evlr(i)) return false;
  }
  h.number_of_extended_variable_length_records = static_cast<uint32_t>(h.evlrs.size());
  if (!stream_->seek(here)) {
    print_message_text("ERROR: cannot seek back to the point data after reading the EVLRs\n");
    return false;
  }
  return true;
}

bool LASreaderLAS::read_evlr(uint32_t i) {
  LASevlr evlr;
  const struct {
    void* dst;
    uint32_t size;
    const char* name;
  } fields[] = {{&evlr.reserved, 2, "reserved"},
                {evlr.user_id, 16, "user_id"},
                {&evlr.record_id, 2, "record_id"},
                {&evlr.record_length_after_header, 8, "record_length_after_header"},
                {evlr.description, 32, "description"}};
  for (const auto& f : fields) {
    if (!get(*stream_, f.dst, f.size)) {
      print_message("ERROR: reading header.evlrs[%d].%s\n", int(i), f.name);
      return false;
    }
  }
  const int64_t length = evlr.record_length_after_header;
  if (same_id(evlr.user_id, "Quorvane") && evlr.record_id == 10 && length != 28) {
    const std::string user_id(evlr.user_id, strnlen(evlr.user_id, 16));
    print_message("ERROR: record_length_after_header of EVLR %s (%d) is %u instead of 28\n", user_id.c_str(),
                  evlr.record_id, static_cast<unsigned>(length));
    return false;
  }
  if (length < 0 || (length > 0 && !get_vector(*stream_, stream_size_, evlr.data, uint64_t(length)))) {
    print_message("ERROR: reading %d bytes of data into header.evlrs[%d].data\n", int(length), int(i));
    return false;
  }
  if (same_id(evlr.user_id, "rekomp encoded")) {
    if (!evlr.data.empty()) header.compression_vlr_payload = evlr.data;
    return true;
  }
  if (same_id(evlr.user_id, "Quorvane")) {
    if (evlr.record_id == 10) {
      LASvlrGridpatch g;
      parse_gridpatch(evlr.data.data(), g);
      header.vlr_gridpatch = g;
    }
    return true;
  }
  classify_record(evlr.user_id, evlr.record_id, evlr.data,
                  {LASpayloadRef::EVLR, static_cast<uint32_t>(header.evlrs.size())}, false);
  header.evlrs.push_back(std::move(evlr));
  return true;
}

bool LASreaderLAS::prepare_point([[maybe_unused]] uint32_t decompress_selective) {
  std::vector<LASitem> items;
  const bool known = las_point_format_items(header.point_data_format, header.point_data_record_length, items);
  if (!known || !point.init(&header, items, &header)) {
    print_message("ERROR: unknown point type %d with point size %d\n", header.point_data_format,
                  header.point_data_record_length);
    return false;
  }
  reader_ = std::make_unique<LASrecordReader>();
  if (!reader_->setup(static_cast<uint32_t>(items.size()), items.data()) || !reader_->init(stream_)) {
    print_message("ERROR: unknown point type %d with point size %d\n", header.point_data_format,
                  header.point_data_record_length);
    reader_.reset();
    return false;
  }
  point_start_ = stream_->tell();
  checked_end_ = false;
  return true;
}

int32_t LASreaderLAS::get_format() const {
  const auto& payload = header.compression_vlr_payload;
  if (payload && payload->size() >= 2 && load<uint16_t>(payload->data()) != 0) return FORMAT_RKP;
  return FORMAT_LAS;
}

bool LASreaderLAS::read_point_unfiltered() {
  if (!reader_) return false;
  if (p_count < npoints) {
    if (reader_->read(point.item_pointers())) {
      p_count++;
      return true;
    }
    incomplete = true;
    if (reader_->warning()) print_message("WARNING: '%s' for '%s'\n", reader_->warning(), file_name_.c_str());
    if (reader_->error()) {
      print_message("ERROR: '%s' after %u of %u points for '%s'\n", reader_->error(),
                    static_cast<uint32_t>(p_count), static_cast<uint32_t>(npoints), file_name_.c_str());
    } else {
      print_message("WARNING: end-of-file after %u of %u points for '%s'\n", static_cast<uint32_t>(p_count),
                    static_cast<uint32_t>(npoints), file_name_.c_str());
    }
    return false;
  }
  if (!checked_end_) {
    checked_end_ = true;
    if (!reader_->check_end()) {
      incomplete = true;
      print_message("ERROR: '%s' when reaching end of encoding\n", reader_->error() ? reader_->error() : "");
      p_count--;
    }
    if (reader_->warning()) print_message("WARNING: '%s'\n", reader_->warning());
  }
  return false;
}

bool LASreaderLAS::seek(int64_t p_index) {
  if (!reader_ || p_index < 0 || p_index >= npoints) return false;
  if (!reader_->seek(p_count, p_index)) return false;
  p_count = p_index;
  return true;
}

void LASreaderLAS::close(bool close_stream) {
  if (reader_) {
    reader_->done();
    reader_.reset();
  }
  if (close_stream) {
    own_stream_.reset();
    stream_ = nullptr;
    file_.reset();
    file_name_.clear();
  }
}

int64_t LASreaderLAS::max_points_in_file() const {
  if (stream_size_ < 0) return -1;
  const int64_t start = reader_ ? point_start_ : int64_t(header.offset_to_point_data);
  const int64_t length =
      reader_ ? int64_t(reader_->get_record_length()) : int64_t(header.point_data_record_length);
  if (length <= 0) return -1;
  return std::max<int64_t>(0, stream_size_ - start) / length;
}

LASreaderLASrequantize::LASreaderLASrequantize(Mode mode, const double* scale, const double* offset,
                                               bool auto_reoffset, bool check_for_overflow)
    : mode_(mode), auto_reoffset_(auto_reoffset), check_for_overflow_(check_for_overflow) {
  for (int a = 0; a < 3; a++) {
    if (scale) requested_scale_[a] = scale[a];
    if (offset) requested_offset_[a] = offset[a];
  }
}

bool LASreaderLASrequantize::open_stream(ByteStreamIn* stream, bool peek_only,
                                         uint32_t decompress_selective) {
  if (!LASreaderLAS::open_stream(stream, peek_only, decompress_selective)) return false;
  choose_new_quantization();
  return true;
}

void LASreaderLASrequantize::choose_new_quantization() {
  double* scale[3] = {&header.x_scale_factor, &header.y_scale_factor, &header.z_scale_factor};
  double* offset[3] = {&header.x_offset, &header.y_offset, &header.z_offset};
  const double min[3] = {header.min_x, header.min_y, header.min_z};
  const double max[3] = {header.max_x, header.max_y, header.max_z};
  for (int a = 0; a < 3; a++) {
    old_scale_[a] = *scale[a];
    old_offset_[a] = *offset[a];
    marked_[a] = false;
    if (mode_ != REOFFSET && requested_scale_[a] != 0 && requested_scale_[a] != *scale[a]) {
      *scale[a] = requested_scale_[a];
      marked_[a] = true;
    }
  }
  if (mode_ == RESCALE) {
    if (check_for_overflow_) warn_overflow();
    return;
  }
  for (int a = 0; a < 3; a++) {
    double new_offset = requested_offset_[a];
    if (auto_reoffset_) {
      new_offset = 0.0;
      if (min[a] > -2e307 && min[a] < 2e307 && max[a] > -2e307 && max[a] < 2e307) {
        // Round the centre of the box to a multiple of ten million units so the integers stay small.
        const double units = (min[a] + max[a]) / *scale[a] * 5e-08;
        new_offset = std::isfinite(units) && std::fabs(units) < 9e18
                         ? double(static_cast<int64_t>(units)) * 10000000 * *scale[a]
                         : *offset[a];
      }
    }
    if (new_offset != *offset[a]) {
      *offset[a] = new_offset;
      marked_[a] = true;
    }
  }
  warn_overflow();
}

double LASreaderLASrequantize::requantized(int a, double X) const {
  const double* scale[3] = {&header.x_scale_factor, &header.y_scale_factor, &header.z_scale_factor};
  const double* offset[3] = {&header.x_offset, &header.y_offset, &header.z_offset};
  switch (mode_) {
    case RESCALE:
      return X * old_scale_[a] / *scale[a];
    case REOFFSET:
      return (X * *scale[a] + old_offset_[a] - *offset[a]) / *scale[a];
    default:
      return (X * old_scale_[a] + old_offset_[a] - *offset[a]) / *scale[a];
  }
}

void LASreaderLASrequantize::warn_overflow() const {
  const double* scale[3] = {&header.x_scale_factor, &header.y_scale_factor, &header.z_scale_factor};
  const double* offset[3] = {&header.x_offset, &header.y_offset, &header.z_offset};
  const double bounds[3][2] = {
      {header.min_x, header.max_x}, {header.min_y, header.max_y}, {header.min_z, header.max_z}};
  static const char* const kNames[3][2] = {{"min_x", "max_x"}, {"min_y", "max_y"}, {"min_z", "max_z"}};
  for (int a = 0; a < 3; a++) {
    if (!marked_[a]) continue;
    for (int b = 0; b < 2; b++) {
      const double q = (bounds[a][b] - old_offset_[a]) / old_scale_[a];
      const double X = q >= 0 ? std::floor(q + 0.5) : std::ceil(q - 0.5);
      const double r = requantized(a, X);
      const double Xn = r >= 0 ? std::floor(r + 0.5) : std::ceil(r - 0.5);
      if (!(Xn < double(INT32_MIN) || Xn > double(INT32_MAX))) continue;
      if (mode_ == RESCALE) {
        print_message("WARNING: rescaling from %g to %g causes LAS integer overflow for %s\n", old_scale_[a],
                      *scale[a], kNames[a][b]);
      } else if (mode_ == REOFFSET) {
        print_message("WARNING: reoffsetting from %g to %g causes LAS integer overflow for %s\n",
                      old_offset_[a], *offset[a], kNames[a][b]);
      } else {
        print_message(
            "WARNING: rescaling from %g to %g and reoffsetting from %g to %g causes LAS integer overflow "
            "for %s\n",
            old_scale_[a], *scale[a], old_offset_[a], *offset[a], kNames[a][b]);
      }
    }
  }
}

bool LASreaderLASrequantize::read_point_unfiltered() {
  if (!LASreaderLAS::read_point_unfiltered()) return false;
  int32_t* coordinate[3] = {&point.X, &point.Y, &point.Z};
  for (int a = 0; a < 3; a++) {
    if (marked_[a]) *coordinate[a] = round_to_int32_bits(requantized(a, *coordinate[a]));
  }
  return true;
}

LASreaderLASrescale::LASreaderLASrescale(double x_scale_factor, double y_scale_factor, double z_scale_factor,
                                         bool check_for_overflow)
    : LASreaderLASrequantize(RESCALE,
                             std::array<double, 3>{x_scale_factor, y_scale_factor, z_scale_factor}.data(),
                             nullptr, false, check_for_overflow) {}

LASreaderLASreoffset::LASreaderLASreoffset(double x_offset, double y_offset, double z_offset)
    : LASreaderLASrequantize(REOFFSET, nullptr, std::array<double, 3>{x_offset, y_offset, z_offset}.data(),
                             false, true) {}

LASreaderLASreoffset::LASreaderLASreoffset()
    : LASreaderLASrequantize(REOFFSET, nullptr, nullptr, true, true) {}

LASreaderLASrescalereoffset::LASreaderLASrescalereoffset(double x_scale_factor, double y_scale_factor,
                                                         double z_scale_factor, double x_offset,
                                                         double y_offset, double z_offset)
    : LASreaderLASrequantize(RESCALE_REOFFSET,
                             std::array<double, 3>{x_scale_factor, y_scale_factor, z_scale_factor}.data(),
                             std::array<double, 3>{x_offset, y_offset, z_offset}.data(), false, true) {}

LASreaderLASrescalereoffset::LASreaderLASrescalereoffset(double x_scale_factor, double y_scale_factor,
                                                         double z_scale_factor)
    : LASreaderLASrequantize(RESCALE_REOFFSET,
                             std::array<double, 3>{x_scale_factor, y_scale_factor, z_scale_factor}.data(),
                             nullptr, true, true) {}
