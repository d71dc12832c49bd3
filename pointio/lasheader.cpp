#include "pointio/lasheader.h"

#include <algorithm>
#include <cstring>

#include "common/messages.h"
#include "pointio/detail/unaligned.h"

namespace {

std::string_view fixed_string(const char* chars, size_t capacity) {
  return std::string_view(chars, strnlen(chars, capacity));
}

void copy_fixed(char* dst, size_t capacity, std::string_view src) {
  std::memset(dst, 0, capacity);
  if (!src.empty()) std::memcpy(dst, src.data(), std::min(capacity, src.size()));
}

using pointio_detail::load;

std::string_view text_of(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return {};  // a missing record has no data pointer to scan
  const char* chars = reinterpret_cast<const char*>(bytes.data());
  return std::string_view(chars, strnlen(chars, bytes.size()));
}

}  // namespace

int32_t LASattribute::get_size() const {
  static constexpr int32_t kBase[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};
  if (data_type == 0) return options;
  if (data_type <= 30) return ((data_type - 1) / 10 + 1) * kBase[(data_type - 1) % 10];
  return 0;
}

void LASattributeSet::add_attribute(const LASattribute& attribute) {
  const int32_t start = attributes.empty() ? 0 : attribute_starts.back() + attribute_sizes.back();
  attributes.push_back(attribute);
  attribute_starts.push_back(start);
  attribute_sizes.push_back(attribute.get_size());
  number_attributes = static_cast<int32_t>(attributes.size());
}

void LASattributeSet::set_attributes(std::vector<LASattribute> list) {
  clear_attributes();
  for (const LASattribute& a : list) add_attribute(a);
}

void LASattributeSet::clear_attributes() {
  attributes.clear();
  attribute_starts.clear();
  attribute_sizes.clear();
  number_attributes = 0;
}

int32_t LASattributeSet::get_attributes_size() const {
  return attributes.empty() ? 0 : attribute_starts.back() + attribute_sizes.back();
}

std::string_view LASvlr::get_user_id() const {
  return fixed_string(user_id, sizeof(user_id));
}
std::string_view LASevlr::get_user_id() const {
  return fixed_string(user_id, sizeof(user_id));
}

void LASheader::clear() {
  static_cast<LASquantizer&>(*this) = LASquantizer{};
  clear_attributes();
  std::memcpy(file_signature, "LASF", 4);
  file_source_ID = 0;
  global_encoding = 0;
  project_ID_GUID_data_1 = 0;
  project_ID_GUID_data_2 = 0;
  project_ID_GUID_data_3 = 0;
  std::memset(project_ID_GUID_data_4, 0, sizeof(project_ID_GUID_data_4));
  version_major = 1;
  version_minor = 2;
  std::memset(system_identifier, 0, sizeof(system_identifier));
  std::memset(generating_software, 0, sizeof(generating_software));
  file_creation_day = 0;
  file_creation_year = 0;
  header_size = 227;
  offset_to_point_data = 227;
  number_of_variable_length_records = 0;
  point_data_format = 0;
  point_data_record_length = 20;
  number_of_point_records = 0;
  std::fill(std::begin(number_of_points_by_return), std::end(number_of_points_by_return), 0u);
  max_x = min_x = max_y = min_y = max_z = min_z = 0.0;
  start_of_waveform_data_packet_record = 0;
  start_of_first_extended_variable_length_record = 0;
  number_of_extended_variable_length_records = 0;
  extended_number_of_point_records = 0;
  std::fill(std::begin(extended_number_of_points_by_return), std::end(extended_number_of_points_by_return),
            uint64_t{0});
  user_data_in_header.clear();
  vlrs.clear();
  evlrs.clear();
  compression_vlr_payload.reset();
  vlr_gridpatch.reset();
  vlr_lasoriginal.reset();
  user_data_after_header.clear();
  views_.fill(LASpayloadRef{});
  wave_packet_descr_.clear();
}

bool LASheader::check_standard_fields() const {
  if (std::memcmp(file_signature, "LASF", 4) != 0) {
    char signature[5] = {};
    std::memcpy(signature, file_signature, 4);
    print_message("ERROR: wrong file signature '%4s'\n", signature);
    return false;
  }
  if (version_major != 1 || version_minor > 4) {
    print_message("WARNING: unknown version %d.%d (should be 1.0 or 1.1 or 1.2 or 1.3 or 1.4)\n",
                  version_major, version_minor);
  }
  if (header_size < 227) {
    print_message("ERROR: header size is %d but should be at least 227\n", header_size);
    return false;
  }
  if (offset_to_point_data < header_size) {
    print_message("ERROR: offset to point data %d is smaller than header size %d\n",
                  int(offset_to_point_data), header_size);
    return false;
  }
  if (x_scale_factor == 0) print_message_text("WARNING: x scale factor is zero.\n");
  if (y_scale_factor == 0) print_message_text("WARNING: y scale factor is zero.\n");
  if (z_scale_factor == 0) print_message_text("WARNING: z scale factor is zero.\n");
  if ((max_x < min_x || max_y < min_y || max_z < min_z) &&
      (number_of_point_records || extended_number_of_point_records)) {
    print_message("WARNING: invalid bounding box [ %g %g %g / %g %g %g ]\n", min_x, min_y, min_z, max_x,
                  max_y, max_z);
  }
  return true;
}

void LASheader::clean_vlrs() {
  for (const LASvlr& vlr : vlrs) offset_to_point_data -= 54u + vlr.record_length_after_header;
  vlrs.clear();
  number_of_variable_length_records = 0;
  forget_source(LASpayloadRef::VLR);
}

void LASheader::clean_evlrs() {
  evlrs.clear();
  number_of_extended_variable_length_records = 0;
  forget_source(LASpayloadRef::EVLR);
}

void LASheader::clean_user_data_in_header() {
  const auto n = static_cast<uint32_t>(user_data_in_header.size());
  header_size = static_cast<uint16_t>(header_size - n);
  offset_to_point_data -= n;
  user_data_in_header.clear();
}

void LASheader::clean_user_data_after_header() {
  offset_to_point_data -= static_cast<uint32_t>(user_data_after_header.size());
  user_data_after_header.clear();
}

void LASheader::add_vlr(std::string_view user_id, uint16_t record_id, std::vector<uint8_t> payload,
                        std::string_view description) {
  const auto length = static_cast<uint16_t>(std::min<size_t>(payload.size(), 65535));
  payload.resize(length);
  for (LASvlr& vlr : vlrs) {
    if (vlr.get_user_id() == user_id.substr(0, 16) && vlr.record_id == record_id) {
      offset_to_point_data = offset_to_point_data - vlr.record_length_after_header + length;
      vlr.record_length_after_header = length;
      vlr.data = std::move(payload);
      if (!description.empty()) copy_fixed(vlr.description, sizeof(vlr.description), description);
      return;
    }
  }
  LASvlr vlr;
  copy_fixed(vlr.user_id, sizeof(vlr.user_id), user_id);
  vlr.record_id = record_id;
  vlr.record_length_after_header = length;
  copy_fixed(vlr.description, sizeof(vlr.description), description);
  vlr.data = std::move(payload);
  vlrs.push_back(std::move(vlr));
  number_of_variable_length_records = static_cast<uint32_t>(vlrs.size());
  offset_to_point_data += 54u + length;
}

bool LASheader::remove_vlr(uint32_t index) {
  if (index >= vlrs.size()) return false;
  offset_to_point_data -= 54u + vlrs[index].record_length_after_header;
  vlrs.erase(vlrs.begin() + index);
  number_of_variable_length_records = static_cast<uint32_t>(vlrs.size());
  forget_vlr_index(LASpayloadRef::VLR, index);
  return true;
}

bool LASheader::remove_vlr(std::string_view user_id, uint16_t record_id) {
  for (uint32_t i = 0; i < vlrs.size(); i++) {
    if (vlrs[i].get_user_id() == user_id && vlrs[i].record_id == record_id) return remove_vlr(i);
  }
  return false;
}

bool LASheader::remove_evlr(uint32_t index) {
  if (index >= evlrs.size()) return false;
  evlrs.erase(evlrs.begin() + index);
  number_of_extended_variable_length_records = static_cast<uint32_t>(evlrs.size());
  forget_vlr_index(LASpayloadRef::EVLR, index);
  return true;
}

void LASheader::forget_vlr_index(LASpayloadRef::Source source, uint32_t index) {
  auto adjust = [&](LASpayloadRef& ref) {
    if (ref.source != source) return;
    if (ref.index == index) {
      ref = LASpayloadRef{};
    } else if (ref.index > index) {
      ref.index--;
    }
  };
  for (LASpayloadRef& ref : views_) adjust(ref);
  for (LASpayloadRef& ref : wave_packet_descr_) adjust(ref);
}

void LASheader::forget_source(LASpayloadRef::Source source) {
  for (LASpayloadRef& ref : views_) {
    if (ref.source == source) ref = LASpayloadRef{};
  }
  for (LASpayloadRef& ref : wave_packet_descr_) {
    if (ref.source == source) ref = LASpayloadRef{};
  }
}

std::span<const uint8_t> LASheader::payload_of(LASpayloadRef ref) const {
  if (ref.source == LASpayloadRef::VLR && ref.index < vlrs.size()) return vlrs[ref.index].data;
  if (ref.source == LASpayloadRef::EVLR && ref.index < evlrs.size()) return evlrs[ref.index].data;
  return {};
}

std::optional<LASvlrKeyDirectory> LASheader::vlr_geo_keys() const {
  const auto p = view_payload(GEO_KEYS);
  if (p.size() < 8) return std::nullopt;
  return LASvlrKeyDirectory{load<uint16_t>(&p[0]), load<uint16_t>(&p[2]), load<uint16_t>(&p[4]),
                            load<uint16_t>(&p[6])};
}

std::vector<LASvlrKeyEntry> LASheader::vlr_geo_key_entries() const {
  std::vector<LASvlrKeyEntry> entries;
  const auto keys = vlr_geo_keys();
  if (!keys) return entries;
  const auto p = view_payload(GEO_KEYS);
  const size_t n = std::min<size_t>(keys->number_of_keys, (p.size() - 8) / 8);
  entries.reserve(n);
  for (size_t i = 0; i < n; i++) {
    const uint8_t* e = &p[8 + 8 * i];
    entries.push_back(
        {load<uint16_t>(e), load<uint16_t>(e + 2), load<uint16_t>(e + 4), load<uint16_t>(e + 6)});
  }
  return entries;
}

std::vector<double> LASheader::vlr_geo_double_params() const {
  const auto p = view_payload(GEO_DOUBLE_PARAMS);
  std::vector<double> values(p.size() / 8);
  for (size_t i = 0; i < values.size(); i++) values[i] = load<double>(&p[8 * i]);
  return values;
}

std::string_view LASheader::vlr_geo_ascii_params() const {
  const auto p = view_payload(GEO_ASCII_PARAMS);
  return std::string_view(reinterpret_cast<const char*>(p.data()), p.size());
}

std::string_view LASheader::vlr_geo_ogc_wkt_math() const {
  return text_of(view_payload(GEO_OGC_WKT_MATH));
}
std::string_view LASheader::vlr_geo_ogc_wkt() const {
  return text_of(view_payload(GEO_OGC_WKT));
}

void LASheader::set_wave_packet_descr(int index, LASpayloadRef ref) {
  if (index < 0 || index > 255) return;
  if (wave_packet_descr_.empty()) wave_packet_descr_.resize(256);
  wave_packet_descr_[index] = ref;
}

bool LASheader::has_wave_packet_descr(int index) const {
  return index >= 0 && index < static_cast<int>(wave_packet_descr_.size()) &&
         wave_packet_descr_[index].source != LASpayloadRef::NONE;
}

std::optional<LASvlrWavePacketDescr> LASheader::vlr_wave_packet_descr(int index) const {
  if (!has_wave_packet_descr(index)) return std::nullopt;
  const auto p = payload_of(wave_packet_descr_[index]);
  if (p.size() < 26) return std::nullopt;
  LASvlrWavePacketDescr d;
  d.bits_per_sample = p[0];
  d.compression_type = p[1];
  d.number_of_samples = load<uint32_t>(&p[2]);
  d.temporal_spacing = load<uint32_t>(&p[6]);
  d.digitizer_gain = load<double>(&p[10]);
  d.digitizer_offset = load<double>(&p[18]);
  return d;
}
