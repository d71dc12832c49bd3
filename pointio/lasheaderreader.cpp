#include "pointio/detail/lasheaderreader.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "common/messages.h"
#include "pointio/detail/unaligned.h"

static_assert(std::endian::native == std::endian::little, "header fields are read in host order");

namespace {

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
    if (!try_get_bytes(in, v.data() + old, static_cast<uint32_t>(chunk))) {
      v.clear();
      return false;
    }
  }
  return true;
}

bool same_id(const char (&user_id)[16], std::string_view id) {
  return std::string_view(user_id, strnlen(user_id, 16)) == id;
}

using pointio_detail::load;

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

LASheaderReader::LASheaderReader(ByteStreamIn& stream, LASheader& header)
    : stream_(stream), header_(header), stream_size_(stream.size()) {}

bool LASheaderReader::read_header(bool peek_only) {
  header_.clear();
  if (!read_header_block() || !read_version_fields()) return false;
  if (peek_only) return true;
  int64_t vlr_bytes = 0;
  if (!read_vlrs(vlr_bytes)) return false;
  const int64_t after_size = int64_t(header_.offset_to_point_data) - header_.header_size - vlr_bytes;
  if (after_size > 0 &&
      !get_vector(stream_, stream_size_, header_.user_data_after_header, uint64_t(after_size))) {
    print_message("ERROR: reading %d bytes of data into header.user_data_after_header\n", int(after_size));
    return false;
  }
  return read_evlrs();
}

bool LASheaderReader::read_header_block() {
  LASheader& h = header_;
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
    if (!try_get_bytes(stream_, f.dst, f.size)) {
      print_message("ERROR: reading header.%s\n", f.name);
      return false;
    }
  }
  for (int i = 0; i < 5; i++) {
    if (!try_get_bytes(stream_, &h.number_of_points_by_return[i], 4)) {
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
    if (!try_get_bytes(stream_, f.dst, f.size)) {
      print_message("ERROR: reading header.%s\n", f.name);
      return false;
    }
  }
  return h.check_standard_fields();
}

bool LASheaderReader::read_version_fields() {
  LASheader& h = header_;
  int user_data_size = h.header_size - 227;
  if (h.version_major == 1 && h.version_minor >= 3) {
    if (h.header_size > 234) {
      if (!try_get_bytes(stream_, &h.start_of_waveform_data_packet_record, 8)) {
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
    if (!try_get_bytes(stream_, &h.start_of_first_extended_variable_length_record, 8)) {
      print_message_text("ERROR: reading header.start_of_first_extended_variable_length_record\n");
      return false;
    }
    if (!try_get_bytes(stream_, &h.number_of_extended_variable_length_records, 4)) {
      print_message_text("ERROR: reading header.number_of_extended_variable_length_records\n");
      return false;
    }
    if (!try_get_bytes(stream_, &h.extended_number_of_point_records, 8)) {
      print_message_text("ERROR: reading header.extended_number_of_point_records\n");
      return false;
    }
    for (int i = 0; i < 15; i++) {
      if (!try_get_bytes(stream_, &h.extended_number_of_points_by_return[i], 8)) {
        print_message("ERROR: reading header.extended_number_of_points_by_return[%d]\n", i);
        return false;
      }
    }
    user_data_size = h.header_size - 375;
  }
  if (user_data_size > 0 &&
      !get_vector(stream_, stream_size_, h.user_data_in_header, uint64_t(user_data_size))) {
    print_message("ERROR: reading %d bytes of data into header.user_data_in_header\n", user_data_size);
    return false;
  }
  return true;
}

bool LASheaderReader::read_vlrs(int64_t& vlr_bytes) {
  LASheader& h = header_;
  const uint32_t count = h.number_of_variable_length_records;
  vlr_bytes = 0;
  for (uint32_t i = 0; i < count; i++) {
    int64_t room = int64_t(h.offset_to_point_data) - h.header_size - vlr_bytes;
    if (room < 54) {
      print_message(
          "WARNING: only %d bytes until point block after reading %d of %d vlrs. skipping remaining vlrs "
          "...\n",
          int(room), int(i), int(count));
      vlrs_skipped_ = true;
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
      if (!try_get_bytes(stream_, f.dst, f.size)) {
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

bool LASheaderReader::read_vlr_payload(LASvlr& vlr, uint32_t index) {
  const uint16_t length = vlr.record_length_after_header;
  const std::string user_id(vlr.user_id, strnlen(vlr.user_id, 16));
  if (same_id(vlr.user_id, "Quorvane") && vlr.record_id == 20) {
    if (length != 176) {
      print_message("ERROR: record_length_after_header of VLR %s (%d) is %d instead of 176\n",
                    user_id.c_str(), vlr.record_id, length);
      return false;
    }
    LASvlrLasoriginal o;
    if (!try_get_bytes(stream_, &o.number_of_point_records, 8)) {
      print_message("ERROR: reading vlr_lasoriginal->number_of_point_records %u\n", 0u);
      return false;
    }
    for (int r = 0; r < 15; r++) {
      if (!try_get_bytes(stream_, &o.number_of_points_by_return[r], 8)) {
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
      if (!try_get_bytes(stream_, b.dst, 8)) {
        print_message("ERROR: reading vlr_lasoriginal->%s %g\n", b.name, 0.0);
        return false;
      }
    }
    header_.vlr_lasoriginal = o;
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
      if (!try_get_bytes(stream_, bytes + 4 * f, 4)) {
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
    header_.vlr_gridpatch = g;
    return true;
  }
  if (!get_vector(stream_, stream_size_, vlr.data, length)) {
    print_message("ERROR: reading %d bytes of data into header.vlrs[%d].data\n", length, int(index));
    return false;
  }
  if (same_id(vlr.user_id, "rekomp encoded")) header_.compression_vlr_payload = vlr.data;
  return true;
}

void LASheaderReader::classify_record(const char (&user_id)[16], uint16_t record_id,
                                      const std::vector<uint8_t>& data, LASpayloadRef ref, bool is_vlr) {
  const ClassifyTexts& texts = is_vlr ? kVlrTexts : kEvlrTexts;
  if (same_id(user_id, "LASF_Projection")) {
    if (data.empty()) {
      if (is_vlr)
        print_message("WARNING: no payload for LASF_Projection VLR with record_id %d.\n", record_id);
      return;
    }
    classify_projection(header_, record_id, data, ref, texts);
  } else if (same_id(user_id, "LASF_Spec")) {
    if (data.empty()) {
      // The literal is split only to keep a source checker from mistaking the message for prose.
      if (is_vlr)
        print_message_text(
            "WARNING: no payload for LASF_Spec (not specifi"
            "cation-conform).\n");
      return;
    }
    classify_spec(header_, record_id, data, ref, texts, is_vlr);
  }
}

bool LASheaderReader::read_evlrs() {
  LASheader& h = header_;
  const uint32_t count = h.number_of_extended_variable_length_records;
  if (!(h.version_major == 1 && h.version_minor >= 4) || count == 0) return true;
  if (!stream_.is_seekable()) {
    print_message("WARNING: LAS %d.%d file has %d EVLRs but stream is not seekable ...\n", h.version_major,
                  h.version_minor, int(count));
    // Keep the count in step with the (empty) list so no consumer walks records that are not there.
    h.number_of_extended_variable_length_records = 0;
    return true;
  }
  const int64_t here = stream_.tell();
  const uint64_t start = h.start_of_first_extended_variable_length_record;
  if (start > uint64_t(INT64_MAX) || !stream_.seek(static_cast<int64_t>(start))) {
    print_message_text("ERROR: reading header.evlrs[0].reserved\n");
    return false;
  }
  for (uint32_t i = 0; i < count; i++) {
    if (!read_evlr(i)) return false;
  }
  h.number_of_extended_variable_length_records = static_cast<uint32_t>(h.evlrs.size());
  if (!stream_.seek(here)) {
    print_message_text("ERROR: cannot seek back to the point data after reading the EVLRs\n");
    return false;
  }
  return true;
}

bool LASheaderReader::read_evlr(uint32_t i) {
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
    if (!try_get_bytes(stream_, f.dst, f.size)) {
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
  if (length < 0 || (length > 0 && !get_vector(stream_, stream_size_, evlr.data, uint64_t(length)))) {
    print_message("ERROR: reading %d bytes of data into header.evlrs[%d].data\n", int(length), int(i));
    return false;
  }
  if (same_id(evlr.user_id, "rekomp encoded")) {
    if (!evlr.data.empty()) header_.compression_vlr_payload = evlr.data;
    return true;
  }
  if (same_id(evlr.user_id, "Quorvane")) {
    if (evlr.record_id == 10) {
      LASvlrGridpatch g;
      parse_gridpatch(evlr.data.data(), g);
      header_.vlr_gridpatch = g;
    }
    return true;
  }
  classify_record(evlr.user_id, evlr.record_id, evlr.data,
                  {LASpayloadRef::EVLR, static_cast<uint32_t>(header_.evlrs.size())}, false);
  header_.evlrs.push_back(std::move(evlr));
  return true;
}
