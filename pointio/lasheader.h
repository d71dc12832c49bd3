#pragma once
// The LAS-style description of a whole point source: counts, bounding box, scale and offset,
// variable length records and the typed views into their payloads.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "pointio/lasquantizer.h"

// One extra-bytes attribute descriptor, the 192-byte record of the extra bytes VLR byte for byte.
struct LASattribute {
  uint8_t reserved[2] = {0, 0};
  uint8_t data_type = 0;
  uint8_t options = 0;
  char name[32] = {};
  uint8_t unused[4] = {};
  uint8_t no_data[24] = {};
  uint8_t min[24] = {};
  uint8_t max[24] = {};
  double scale[3] = {0.0, 0.0, 0.0};
  double offset[3] = {0.0, 0.0, 0.0};
  char description[32] = {};

  // Bytes of this attribute inside the point's extra bytes (0 for unknown data types).
  int32_t get_size() const;
};
static_assert(sizeof(LASattribute) == 192);

// The header's attribute set: descriptors with the byte offset and size of each inside a point's
// extra bytes.
struct LASattributeSet {
  int32_t number_attributes = 0;
  std::vector<LASattribute> attributes;
  std::vector<int32_t> attribute_starts;  // running sum of the sizes
  std::vector<int32_t> attribute_sizes;

  void add_attribute(const LASattribute& attribute);
  void set_attributes(std::vector<LASattribute> list);
  void clear_attributes();
  // Sum of all attribute sizes.
  int32_t get_attributes_size() const;
};

struct LASvlr {
  uint16_t reserved = 0;
  char user_id[16] = {};
  uint16_t record_id = 0;
  uint16_t record_length_after_header = 0;
  char description[32] = {};
  std::vector<uint8_t> data;  // empty when record_length_after_header is 0

  std::string_view get_user_id() const;  // up to the first NUL
};

struct LASevlr {
  uint16_t reserved = 0;
  char user_id[16] = {};
  uint16_t record_id = 0;
  int64_t record_length_after_header = 0;
  char description[32] = {};
  std::vector<uint8_t> data;

  std::string_view get_user_id() const;
};

// Tiling record of a file cut from a quadtree (28 bytes).
struct LASvlrGridpatch {
  uint32_t level = 0;
  uint32_t level_index = 0;
  uint32_t implicit_levels = 0;  // low 30 bits: level count; top bits: flags
  float min_x = 0, max_x = 0, min_y = 0, max_y = 0;
};

// Extent and counts of the file a tile was cut from (176 bytes; min before max in the file).
struct LASvlrLasoriginal {
  int64_t number_of_point_records = 0;
  int64_t number_of_points_by_return[15] = {};
  double max_x = 0, min_x = 0, max_y = 0, min_y = 0, max_z = 0, min_z = 0;
};

// GeoKey directory header: the first 8 bytes of the GeoKeyDirectoryTag record.
struct LASvlrKeyDirectory {
  uint16_t key_directory_version = 0;
  uint16_t key_revision = 0;
  uint16_t minor_revision = 0;
  uint16_t number_of_keys = 0;
};

struct LASvlrKeyEntry {
  uint16_t key_id = 0;
  uint16_t tiff_tag_location = 0;
  uint16_t count = 0;
  uint16_t value_offset = 0;
};

// Waveform packet descriptor (LASF_Spec records 100 to 354, 26 bytes).
struct LASvlrWavePacketDescr {
  uint8_t bits_per_sample = 0;
  uint8_t compression_type = 0;
  uint32_t number_of_samples = 0;
  uint32_t temporal_spacing = 0;
  double digitizer_gain = 0.0;
  double digitizer_offset = 0.0;
};

// Where a typed view finds its payload: the index of a record still held in vlrs or evlrs.
// Views are indices rather than pointers so that removing or replacing a record can never leave
// one dangling; remove_vlr and clean_vlrs keep them in step.
struct LASpayloadRef {
  enum Source : uint8_t { NONE, VLR, EVLR };
  Source source = NONE;
  uint32_t index = 0;
};

class LASheader : public LASquantizer, public LASattributeSet {
 public:
  enum View { GEO_KEYS, GEO_DOUBLE_PARAMS, GEO_ASCII_PARAMS, GEO_OGC_WKT_MATH, GEO_OGC_WKT, CLASSIFICATION };

  LASheader() { clear(); }

  char file_signature[4];
  uint16_t file_source_ID;
  uint16_t global_encoding;
  uint32_t project_ID_GUID_data_1;
  uint16_t project_ID_GUID_data_2;
  uint16_t project_ID_GUID_data_3;
  uint8_t project_ID_GUID_data_4[8];
  uint8_t version_major;
  uint8_t version_minor;
  char system_identifier[32];
  char generating_software[32];
  uint16_t file_creation_day;
  uint16_t file_creation_year;
  uint16_t header_size;
  uint32_t offset_to_point_data;
  uint32_t number_of_variable_length_records;
  uint8_t point_data_format;
  uint16_t point_data_record_length;
  uint32_t number_of_point_records;
  uint32_t number_of_points_by_return[5];
  double max_x, min_x, max_y, min_y, max_z, min_z;
  // LAS 1.3
  uint64_t start_of_waveform_data_packet_record;
  // LAS 1.4
  uint64_t start_of_first_extended_variable_length_record;
  uint32_t number_of_extended_variable_length_records;
  uint64_t extended_number_of_point_records;
  uint64_t extended_number_of_points_by_return[15];

  std::vector<uint8_t> user_data_in_header;  // between the standard fields and header_size
  std::vector<LASvlr> vlrs;                  // number_of_variable_length_records entries
  std::vector<LASevlr> evlrs;                // number_of_extended_variable_length_records entries

  // The raw payload of the "rekomp encoded" record. The record itself is removed from vlrs when
  // read, so the in-memory header describes the file without it.
  std::optional<std::vector<uint8_t>> compression_vlr_payload;
  std::optional<LASvlrGridpatch> vlr_gridpatch;
  std::optional<LASvlrLasoriginal> vlr_lasoriginal;

  std::vector<uint8_t> user_data_after_header;  // between the last VLR and offset_to_point_data

  // To the defaults: everything zero except scale factors 0.01, "LASF", version 1.2, header_size
  // and offset_to_point_data 227 and point_data_record_length 20.
  void clear();
  // Checks what a reader and a writer both rely on: the signature, a header size of at least the
  // LAS 1.0 block, point data after the header. False after printing the error; an unknown
  // version, a zero scale factor or an inverted bounding box around points only warn.
  bool check_standard_fields() const;
  // Remove all VLRs, subtracting 54 + payload bytes of each from offset_to_point_data.
  void clean_vlrs();
  void clean_evlrs();
  // Remove the bytes between the standard fields and header_size (header_size and
  // offset_to_point_data shrink with them).
  void clean_user_data_in_header();
  // Remove the bytes between the last VLR and offset_to_point_data.
  void clean_user_data_after_header();
  void clean_gridpatch() { vlr_gridpatch.reset(); }
  void clean_lasoriginal() { vlr_lasoriginal.reset(); }

  // Appends a VLR, or replaces the payload of the one with the same user_id and record_id;
  // offset_to_point_data follows the change. payload.size() is the record length (at most 65535).
  void add_vlr(std::string_view user_id, uint16_t record_id, std::vector<uint8_t> payload,
               std::string_view description = {});
  // Removes VLR index (offset_to_point_data shrinks by 54 + its length). Views that referred to
  // it are cleared; views of later VLRs follow the shift.
  bool remove_vlr(uint32_t index);
  bool remove_vlr(std::string_view user_id, uint16_t record_id);
  // Same for EVLRs (no offset accounting: they follow the points).
  bool remove_evlr(uint32_t index);

  // Typed views. Each describes a record still held in vlrs or evlrs.
  void set_view(View view, LASpayloadRef ref) { views_[view] = ref; }
  bool has_view(View view) const { return views_[view].source != LASpayloadRef::NONE; }
  std::span<const uint8_t> view_payload(View view) const { return payload_of(views_[view]); }

  std::optional<LASvlrKeyDirectory> vlr_geo_keys() const;
  // The entries that follow the directory, never more than the payload holds.
  std::vector<LASvlrKeyEntry> vlr_geo_key_entries() const;
  std::vector<double> vlr_geo_double_params() const;
  std::string_view vlr_geo_ascii_params() const;
  std::string_view vlr_geo_ogc_wkt_math() const;  // up to the first NUL
  std::string_view vlr_geo_ogc_wkt() const;       // up to the first NUL
  std::span<const uint8_t> vlr_classification() const { return view_payload(CLASSIFICATION); }

  // Wave packet descriptor table, entry i for LASF_Spec record 99 + i (1..255).
  void set_wave_packet_descr(int index, LASpayloadRef ref);
  bool has_wave_packet_descr(int index) const;
  std::optional<LASvlrWavePacketDescr> vlr_wave_packet_descr(int index) const;

 private:
  std::span<const uint8_t> payload_of(LASpayloadRef ref) const;
  void forget_vlr_index(LASpayloadRef::Source source, uint32_t index);
  void forget_source(LASpayloadRef::Source source);

  std::array<LASpayloadRef, 6> views_{};
  std::vector<LASpayloadRef> wave_packet_descr_;  // 256 entries once used
};
