#include "pointio/laswriterlas.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "common/messages.h"
#include "compression/record_writer.h"
#include "compression/rekomp_descriptor.h"
#include "pointio/spatialindex.h"

namespace {

// Byte offsets of the header fields that are rewritten after the points.
constexpr int64_t kNumberOfPointRecords = 107;
constexpr int64_t kNumberOfPointsByReturn = 111;
constexpr int64_t kBounds = 179;
constexpr int64_t kStartOfFirstEvlr = 235;
constexpr int64_t kExtendedNumberOfPointRecords = 247;

uint16_t standard_header_size(uint8_t version_minor) {
  return version_minor >= 4 ? 375 : (version_minor == 3 ? 235 : 227);
}

// The extended LAS 1.4 record of a point.
void pack_point14(const LASpointFields& p, uint8_t* r) {
  std::memcpy(r, &p.X, 4);
  std::memcpy(r + 4, &p.Y, 4);
  std::memcpy(r + 8, &p.Z, 4);
  std::memcpy(r + 12, &p.intensity, 2);
  r[14] = static_cast<uint8_t>(p.extended_return_number | (p.extended_number_of_returns << 4));
  r[15] = static_cast<uint8_t>(p.extended_classification_flags | (p.extended_scanner_channel << 4) |
                               (p.scan_direction_flag << 6) | (p.edge_of_flight_line << 7));
  r[16] = p.extended_classification;
  r[17] = p.user_data;
  std::memcpy(r + 18, &p.extended_scan_angle, 2);
  std::memcpy(r + 20, &p.point_source_ID, 2);
  std::memcpy(r + 22, &p.gps_time, 8);
}

}  // namespace

void LASwriterLAS::FileCloser::operator()(FILE* f) const {
  if (f) std::fclose(f);
}

LASwriterLAS::LASwriterLAS() = default;

LASwriterLAS::~LASwriterLAS() {
  if (!closed_) close();
}

bool LASwriterLAS::fail(const char* message) {
  print_message_text(message);
  failed_ = true;
  return false;
}

bool LASwriterLAS::open(const char* file_name, const LASheader* header, uint32_t compressor,
                        int requested_version, uint32_t chunk_size) {
  if (file_name == nullptr) return fail("ERROR: file name pointer is zero\n");
  FILE* file = std::fopen(file_name, "wb");
  if (file == nullptr) {
    print_message("ERROR: cannot open file '%s' for write\n", file_name);
    return false;
  }
  own_file_.reset(file);
  std::setvbuf(file, nullptr, _IOFBF, 262144);
  own_stream_ = std::make_unique<ByteStreamOutFile>(file);
  return open_stream(own_stream_.get(), header, compressor, requested_version, chunk_size);
}

bool LASwriterLAS::open(FILE* file, const LASheader* header, uint32_t compressor, int requested_version,
                        uint32_t chunk_size) {
  // POSIX streams carry no text translation: standard output needs no switch to binary mode.
  if (file == nullptr) return fail("ERROR: file pointer is zero\n");
  own_stream_ = std::make_unique<ByteStreamOutFile>(file);
  return open_stream(own_stream_.get(), header, compressor, requested_version, chunk_size);
}

bool LASwriterLAS::open(ByteStreamOut* stream, const LASheader* header, uint32_t compressor,
                        int requested_version, uint32_t chunk_size) {
  return open_stream(stream, header, compressor, requested_version, chunk_size);
}

bool LASwriterLAS::open_stream(ByteStreamOut* stream, const LASheader* header, uint32_t compressor,
                               int requested_version, uint32_t chunk_size) {
  failed_ = false;
  if (stream == nullptr) return fail("ERROR: ByteStreamOut pointer is zero\n");
  if (header == nullptr) return fail("ERROR: LASheader pointer is zero\n");
  if (!header->check_standard_fields()) return false;
  stream_ = stream;
  header_ = *header;
  if (requested_version > 0 && requested_version <= 4)
    header_.version_minor = static_cast<uint8_t>(requested_version);
  const uint8_t format = header_.point_data_format & 0x3F;
  header_.point_data_format = format;
  // An unknown type or a record too short for its type is refused there, with its message.
  if (!las_point_format_items(format, header_.point_data_record_length, items_)) return false;
  // The record must hold the items of its point type: a shorter one cannot be written.
  uint32_t item_bytes = 0;
  for (const LASitem& item : items_) item_bytes += item.size;
  if (item_bytes != header_.point_data_record_length) {
    print_message("ERROR: point type %d of size %d not supported\n", format,
                  header_.point_data_record_length);
    return false;
  }
  record_.assign(header_.point_data_record_length, 0);
  encoder_.reset();
  descriptor_payload_.clear();
  if (compressor == CHUNKED) {
    // The LAS 1.4 point types are compressed in layers, each field on its own.
    RekompDescriptor descriptor;
    const uint16_t kind =
        format >= 6 ? RekompDescriptor::LAYERED_CHUNKED : RekompDescriptor::POINTWISE_CHUNKED;
    encoder_ = std::make_unique<CompressedRecordWriter>();
    if (!descriptor.setup(items_, kind) || !descriptor.request_version(2) ||
        !descriptor.set_chunk_size(chunk_size ? chunk_size : RekompDescriptor::kDefaultChunkSize) ||
        !encoder_->setup(descriptor)) {
      print_message("ERROR: point type %d of size %d not supported (with Rekomp)\n", format,
                    header_.point_data_record_length);
      encoder_.reset();
      return false;
    }
    descriptor_payload_ = descriptor.serialize();
  } else if (compressor != NONE) {
    print_message("ERROR: compressor %u not supported\n", compressor);
    return false;
  }
  // Sizes follow what is written: the standard block of the version, the user data in the
  // header, the VLRs kept in memory, the records parsed from the header and the compression
  // record.
  header_.header_size =
      static_cast<uint16_t>(standard_header_size(header_.version_minor) + header_.user_data_in_header.size());
  uint32_t vlr_count = static_cast<uint32_t>(header_.vlrs.size());
  uint64_t vlr_bytes = 0;
  for (const LASvlr& vlr : header_.vlrs) vlr_bytes += 54 + vlr.data.size();
  if (header_.vlr_gridpatch) vlr_count++, vlr_bytes += 54 + 28;
  if (header_.vlr_lasoriginal) vlr_count++, vlr_bytes += 54 + 176;
  if (encoder_) vlr_count++, vlr_bytes += 54 + descriptor_payload_.size();
  const uint64_t offset = header_.header_size + vlr_bytes + header_.user_data_after_header.size();
  if (offset > UINT32_MAX) return fail("ERROR: the variable length records do not fit a LAS header\n");
  header_.offset_to_point_data = static_cast<uint32_t>(offset);
  header_.number_of_variable_length_records = vlr_count;
  npoints_ = header_.version_minor >= 4 && header_.extended_number_of_point_records
                 ? static_cast<int64_t>(header_.extended_number_of_point_records)
                 : header_.number_of_point_records;
  header_start_ = stream_->tell();
  if (header_start_ < 0) header_start_ = 0;
  p_count_ = 0;
  std::fill(std::begin(by_return_), std::end(by_return_), 0);
  if (!write_header(header_)) return false;
  if (encoder_) {
    encoded_.clear();
    encoder_->set_sink(
        [this](const uint8_t* bytes, size_t size) {
          while (size > 0) {
            const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(size, 1u << 30));
            if (!stream_->put_bytes(bytes, piece)) return false;
            bytes += piece;
            size -= piece;
          }
          return true;
        },
        stream_->tell());
    encoder_->init(&encoded_);
  }
  closed_ = false;
  return true;
}

bool LASwriterLAS::write_header(const LASheader& h) {
  ByteStreamOut& s = *stream_;
  uint8_t version_major = h.version_major, version_minor = h.version_minor;
  if (version_major != 1) {
    print_message("WARNING: header->version_major is %d. writing 1 instead.\n", version_major);
    version_major = 1;
  }
  if (version_minor > 4) {
    print_message("WARNING: header->version_minor is %d. writing 4 instead.\n", version_minor);
    version_minor = 4;
  }
  const uint8_t format = static_cast<uint8_t>(h.point_data_format | (encoder_ ? 0x80 : 0));
  const uint32_t legacy_count = format >= 6 ? 0 : h.number_of_point_records;
  struct Field {
    const void* src;
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
      {&version_major, 1, "version_major"},
      {&version_minor, 1, "version_minor"},
      {h.system_identifier, 32, "system_identifier"},
      {h.generating_software, 32, "generating_software"},
      {&h.file_creation_day, 2, "file_creation_day"},
      {&h.file_creation_year, 2, "file_creation_year"},
      {&h.header_size, 2, "header_size"},
      {&h.offset_to_point_data, 4, "offset_to_point_data"},
      {&h.number_of_variable_length_records, 4, "number_of_variable_length_records"},
      {&format, 1, "point_data_format"},
      {&h.point_data_record_length, 2, "point_data_record_length"},
      {&legacy_count, 4, "number_of_point_records"},
      {h.number_of_points_by_return, 20, "number_of_points_by_return"},
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
  for (const Field& f : fields) {
    if (!s.put_bytes(static_cast<const uint8_t*>(f.src), f.size)) {
      print_message("ERROR: writing header->%s\n", f.name);
      failed_ = true;
      return false;
    }
  }
  if (version_minor >= 3) {
    if (!put_value(s, h.start_of_waveform_data_packet_record))
      return fail("ERROR: writing header->start_of_waveform_data_packet_record\n");
  }
  if (version_minor >= 4) {
    // The EVLRs follow the points; their position is written when they are.
    const uint64_t evlr_start = 0;
    const uint32_t evlr_count = 0;
    if (!put_value(s, evlr_start))
      return fail("ERROR: writing header->start_of_first_extended_variable_length_record\n");
    if (!put_value(s, evlr_count))
      return fail("ERROR: writing header->number_of_extended_variable_length_records\n");
    if (!put_value(s, h.extended_number_of_point_records))
      return fail("ERROR: writing header->extended_number_of_point_records\n");
    for (int r = 0; r < 15; r++) {
      if (!put_value(s, h.extended_number_of_points_by_return[r])) {
        print_message("ERROR: writing header->extended_number_of_points_by_return[%d]\n", r);
        failed_ = true;
        return false;
      }
    }
  }
  if (!h.user_data_in_header.empty() &&
      !s.put_bytes(h.user_data_in_header.data(), static_cast<uint32_t>(h.user_data_in_header.size())))
    return fail("ERROR: writing header->user_data_in_header\n");
  int index = 0;
  for (const LASvlr& vlr : h.vlrs) {
    if (!write_vlr(vlr.user_id, vlr.record_id, vlr.description, vlr.data.data(),
                   static_cast<uint16_t>(vlr.data.size()), index++))
      return false;
  }
  if (h.vlr_gridpatch) {
    uint8_t data[28];
    const LASvlrGridpatch& g = *h.vlr_gridpatch;
    std::memcpy(data, &g.level, 4);
    std::memcpy(data + 4, &g.level_index, 4);
    std::memcpy(data + 8, &g.implicit_levels, 4);
    std::memcpy(data + 12, &g.min_x, 4);
    std::memcpy(data + 16, &g.max_x, 4);
    std::memcpy(data + 20, &g.min_y, 4);
    std::memcpy(data + 24, &g.max_y, 4);
    if (!write_vlr("Quorvane", 10, "tile of a quadtree", data, 28, index++)) return false;
  }
  if (h.vlr_lasoriginal) {
    uint8_t data[176];
    const LASvlrLasoriginal& o = *h.vlr_lasoriginal;
    std::memcpy(data, &o.number_of_point_records, 8);
    std::memcpy(data + 8, o.number_of_points_by_return, 120);
    const double bounds[6] = {o.min_x, o.max_x, o.min_y, o.max_y, o.min_z, o.max_z};
    std::memcpy(data + 128, bounds, 48);
    if (!write_vlr("Quorvane", 20, "extent of the original file", data, 176, index++)) return false;
  }
  if (encoder_) {
    descriptor_position_ = s.tell() + 54;
    if (!write_vlr("rekomp encoded", RekompDescriptor::kRecordId, "by rekomp of Quorvane (231204)",
                   descriptor_payload_.data(), static_cast<uint16_t>(descriptor_payload_.size()), index++))
      return false;
  }
  if (!h.user_data_after_header.empty() &&
      !s.put_bytes(h.user_data_after_header.data(), static_cast<uint32_t>(h.user_data_after_header.size())))
    return fail("ERROR: writing header->user_data_after_header\n");
  return true;
}

bool LASwriterLAS::write_vlr(const char* user_id, uint16_t record_id, const char* description,
                             const uint8_t* data, uint16_t length, int index) {
  ByteStreamOut& s = *stream_;
  char id[16] = {}, text[32] = {};
  std::memcpy(id, user_id, strnlen(user_id, 16));
  std::memcpy(text, description, strnlen(description, 32));
  const uint16_t reserved = 0;
  const char* field = nullptr;
  if (!put_value(s, reserved))
    field = "reserved";
  else if (!s.put_bytes(reinterpret_cast<const uint8_t*>(id), 16))
    field = "user_id";
  else if (!put_value(s, record_id))
    field = "record_id";
  else if (!put_value(s, length))
    field = "record_length_after_header";
  else if (!s.put_bytes(reinterpret_cast<const uint8_t*>(text), 32))
    field = "description";
  if (field) {
    print_message("ERROR: writing header->vlrs[%d].%s\n", index, field);
    failed_ = true;
    return false;
  }
  if (length && !s.put_bytes(data, length)) {
    print_message("ERROR: writing %d bytes of data from header->vlrs[%d].data\n", length, index);
    failed_ = true;
    return false;
  }
  return true;
}

void LASwriterLAS::pack(const LASpoint& point, uint8_t* record) const {
  uint8_t* at = record;
  for (const LASitem& item : items_) {
    switch (item.type) {
      case LASitem::POINT10:
        std::memcpy(at, &point.X, 20);  // the first 20 bytes of the fields are the record
        break;
      case LASitem::POINT14:
        pack_point14(point, at);
        break;
      case LASitem::GPSTIME11:
        std::memcpy(at, &point.gps_time, 8);
        break;
      case LASitem::RGB12:
      case LASitem::RGB14:
      case LASitem::RGBNIR14:
        std::memcpy(at, point.rgb, item.size);
        break;
      case LASitem::WAVEPACKET13:
      case LASitem::WAVEPACKET14:
        std::memcpy(at, point.wavepacket.data, 29);
        break;
      default: {  // extra bytes, as many as the point has
        const size_t n = std::min<size_t>(item.size, point.extra_bytes.size());
        if (n) std::memcpy(at, point.extra_bytes.data(), n);
        std::memset(at + n, 0, item.size - n);
      }
    }
    at += item.size;
  }
}

bool LASwriterLAS::write_point(const LASpoint& point) {
  if (closed_ || failed_) return false;
  pack(point, record_.data());
  if (encoder_) {
    encoder_->write(record_.data());
    if (!encoder_->sink_ok()) return fail("ERROR: writing compressed points\n");
  } else if (!stream_->put_bytes(record_.data(), static_cast<uint32_t>(record_.size()))) {
    print_message("ERROR: writing point %" PRId64 "\n", p_count_);
    failed_ = true;
    return false;
  }
  update_inventory(point);
  return true;
}

void LASwriterLAS::update_inventory(const LASpoint& point) {
  if (p_count_ == 0) {
    min_X_ = max_X_ = point.X;
    min_Y_ = max_Y_ = point.Y;
    min_Z_ = max_Z_ = point.Z;
  } else {
    min_X_ = std::min(min_X_, point.X), max_X_ = std::max(max_X_, point.X);
    min_Y_ = std::min(min_Y_, point.Y), max_Y_ = std::max(max_Y_, point.Y);
    min_Z_ = std::min(min_Z_, point.Z), max_Z_ = std::max(max_Z_, point.Z);
  }
  const int r = header_.point_data_format >= 6 ? point.extended_return_number : point.return_number;
  if (r >= 1 && r <= 15) by_return_[r - 1]++;
  p_count_++;
}

bool LASwriterLAS::update_header(const LASheader* header, bool use_inventory) {
  if (closed_ && !stream_) return false;
  if (!stream_->is_seekable()) {
    print_message_text("WARNING: stream not seekable. cannot update header.\n");
    return false;
  }
  LASheader& h = header_;
  if (use_inventory) {
    h.extended_number_of_point_records = static_cast<uint64_t>(p_count_);
    for (int r = 0; r < 15; r++) h.extended_number_of_points_by_return[r] = by_return_[r];
    if (p_count_ > 0) {
      h.min_x = h.get_x(min_X_), h.max_x = h.get_x(max_X_);
      h.min_y = h.get_y(min_Y_), h.max_y = h.get_y(max_Y_);
      h.min_z = h.get_z(min_Z_), h.max_z = h.get_z(max_Z_);
    }
  } else if (header) {
    h.extended_number_of_point_records = header->extended_number_of_point_records
                                             ? header->extended_number_of_point_records
                                             : header->number_of_point_records;
    for (int r = 0; r < 15; r++)
      h.extended_number_of_points_by_return[r] = header->extended_number_of_points_by_return[r]
                                                     ? header->extended_number_of_points_by_return[r]
                                                     : (r < 5 ? header->number_of_points_by_return[r] : 0);
    h.min_x = header->min_x, h.max_x = header->max_x, h.min_y = header->min_y;
    h.max_y = header->max_y, h.min_z = header->min_z, h.max_z = header->max_z;
  }
  // The legacy counters hold the counts of the old point types as long as they fit 32 bits.
  const bool legacy = h.point_data_format < 6;
  if (legacy && h.extended_number_of_point_records > UINT32_MAX) {
    print_message("WARNING: too many points in LAS %d.%d file. limit is %u.\n", h.version_major,
                  h.version_minor, UINT32_MAX);
  }
  const auto legacy_count = [&](uint64_t n) -> uint32_t {
    return legacy && n <= UINT32_MAX ? static_cast<uint32_t>(n) : 0;
  };
  h.number_of_point_records = legacy_count(h.extended_number_of_point_records);
  for (int r = 0; r < 5; r++)
    h.number_of_points_by_return[r] = legacy_count(h.extended_number_of_points_by_return[r]);
  const int64_t end = stream_->tell();
  ByteStreamOut& s = *stream_;
  bool ok = s.seek(header_start_ + kNumberOfPointRecords) && put_value(s, h.number_of_point_records);
  if (!ok) return fail("ERROR: updating header->number_of_point_records\n");
  ok = s.seek(header_start_ + kNumberOfPointsByReturn) &&
       s.put_bytes(reinterpret_cast<const uint8_t*>(h.number_of_points_by_return), 20);
  if (!ok) return fail("ERROR: updating header->number_of_points_by_return\n");
  const double bounds[6] = {h.max_x, h.min_x, h.max_y, h.min_y, h.max_z, h.min_z};
  ok = s.seek(header_start_ + kBounds) && s.put_bytes(reinterpret_cast<const uint8_t*>(bounds), 48);
  if (!ok) return fail("ERROR: updating header->max_x\n");
  if (h.version_minor >= 4) {
    ok = s.seek(header_start_ + kExtendedNumberOfPointRecords) &&
         put_value(s, h.extended_number_of_point_records) &&
         s.put_bytes(reinterpret_cast<const uint8_t*>(h.extended_number_of_points_by_return), 120);
    if (!ok) return fail("ERROR: updating header->extended_number_of_point_records\n");
  }
  npoints_ = static_cast<int64_t>(h.extended_number_of_point_records);
  if (!s.seek(end)) return fail("ERROR: seeking back after updating the header\n");
  return true;
}

bool LASwriterLAS::write_embedded_index() {
  ByteStreamOut& s = *stream_;
  const int64_t position = s.tell();
  ByteStreamOutArray bytes;
  if (!index_->write(bytes)) return fail("ERROR: writing the spatial index\n");
  char id[16] = {}, text[32] = {};
  std::memcpy(id, "Quorvane", 8);
  std::memcpy(text, "spatial index", 13);
  const uint16_t reserved = 0, record_id = 30;
  const int64_t length = bytes.get_size();
  if (!put_value(s, reserved) || !s.put_bytes(reinterpret_cast<const uint8_t*>(id), 16) ||
      !put_value(s, record_id) || !put_value(s, length) ||
      !s.put_bytes(reinterpret_cast<const uint8_t*>(text), 32) ||
      !s.put_bytes(bytes.get_data(), static_cast<uint32_t>(length)))
    return fail("ERROR: writing the spatial index\n");
  // The compression record points readers at it.
  RekompDescriptor descriptor;
  if (!descriptor.parse(descriptor_payload_.data(), descriptor_payload_.size())) return false;
  descriptor.number_of_special_evlrs = 1;
  descriptor.offset_to_special_evlrs = position;
  descriptor_payload_ = descriptor.serialize();
  const int64_t end = s.tell();
  if (!s.seek(descriptor_position_) ||
      !s.put_bytes(descriptor_payload_.data(), static_cast<uint32_t>(descriptor_payload_.size())) ||
      !s.seek(end))
    return fail("ERROR: updating the compression record for the spatial index\n");
  return true;
}

bool LASwriterLAS::write_evlrs() {
  const LASheader& h = header_;
  if (h.version_minor < 4 || h.evlrs.empty()) return true;
  ByteStreamOut& s = *stream_;
  const int64_t start = s.tell();
  for (size_t i = 0; i < h.evlrs.size(); i++) {
    const LASevlr& e = h.evlrs[i];
    const int index = static_cast<int>(i);
    const int64_t length = static_cast<int64_t>(e.data.size());
    const char* field = nullptr;
    if (!put_value(s, e.reserved))
      field = "reserved";
    else if (!s.put_bytes(reinterpret_cast<const uint8_t*>(e.user_id), 16))
      field = "user_id";
    else if (!put_value(s, e.record_id))
      field = "record_id";
    else if (!put_value(s, length))
      field = "record_length_after_header";
    else if (!s.put_bytes(reinterpret_cast<const uint8_t*>(e.description), 32))
      field = "description";
    if (field) {
      print_message("ERROR: writing evlrs[%d].%s\n", index, field);
      failed_ = true;
      return false;
    }
    size_t done = 0;
    while (done < e.data.size()) {
      const uint32_t piece = static_cast<uint32_t>(std::min<size_t>(e.data.size() - done, 1u << 30));
      if (!s.put_bytes(e.data.data() + done, piece)) {
        print_message("ERROR: writing %u bytes of data from evlrs[%d].data\n", static_cast<uint32_t>(length),
                      index);
        failed_ = true;
        return false;
      }
      done += piece;
    }
  }
  if (!s.is_seekable()) return true;
  const int64_t end = s.tell();
  const uint64_t evlr_start = static_cast<uint64_t>(start - header_start_);
  const uint32_t count = static_cast<uint32_t>(h.evlrs.size());
  if (!s.seek(header_start_ + kStartOfFirstEvlr) || !put_value(s, evlr_start) || !put_value(s, count) ||
      !s.seek(end))
    return fail("ERROR: updating header->start_of_first_extended_variable_length_record\n");
  return true;
}

int64_t LASwriterLAS::close(bool update_npoints) {
  if (closed_) return -1;
  closed_ = true;
  ByteStreamOut& s = *stream_;
  if (encoder_ && !failed_) {
    encoder_->done();
    if (!encoder_->sink_ok()) fail("ERROR: writing compressed points\n");
    if (!failed_ && encoder_->table_pointer_pending()) {
      const int64_t table = encoder_->table_position();
      const int64_t end = s.tell();
      // A stream that cannot seek back keeps the table's position in its last 8 bytes.
      const bool written =
          s.is_seekable() ? s.seek(encoder_->table_pointer_position()) && put_value(s, table) && s.seek(end)
                          : put_value(s, table);
      if (!written) fail("ERROR: writing the position of the chunk table\n");
    }
    if (!failed_ && index_ && s.is_seekable()) write_embedded_index();
  }
  if (!failed_) write_evlrs();
  if (!failed_ && update_npoints && p_count_ != npoints_) {
    if (s.is_seekable()) {
      print_message("WARNING: written %" PRId64 " points but expected %" PRId64 " points\n", p_count_,
                    npoints_);
      // Only the count is corrected; the counts per return and bounds stay as announced.
      header_.extended_number_of_point_records = static_cast<uint64_t>(p_count_);
      const LASheader announced = header_;
      update_header(&announced, false);
    } else {
      print_message("WARNING: stream not seekable. cannot update header from %" PRId64 " to %" PRId64
                    " points.\n",
                    npoints_, p_count_);
    }
  }
  // A pipe has no position: its failures show as failed writes, never as a negative size.
  const int64_t end = s.tell();
  const int64_t bytes = end >= header_start_ ? end - header_start_ : 0;
  if (own_file_) {
    if (std::fclose(own_file_.release()) != 0) fail("ERROR: closing the LAS file failed\n");
  } else if (own_stream_ && std::fflush(nullptr) != 0) {
    fail("ERROR: flushing the LAS output failed\n");
  }
  own_stream_.reset();
  stream_ = nullptr;
  encoder_.reset();
  return failed_ ? -1 : bytes;
}
