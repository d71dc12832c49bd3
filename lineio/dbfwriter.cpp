#include "lineio/dbfwriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/messages.h"
#include "lineio/detail/byte_order.h"

namespace {
constexpr int kFloatFieldLength = 20;
constexpr int kMaxU16 = 65535;
}  // namespace

// A table destroyed before close() leaves no file behind.
DBFwriter::~DBFwriter() = default;

bool DBFwriter::open(const char* file_name) {
  const std::size_t length = file_name == nullptr ? 0 : std::strlen(file_name);
  if (length < 4 || file_name[length - 4] != '.') {
    print_message("ERROR: invalid file name '%s' for DBF file\n", file_name ? file_name : "");
    return false;
  }
  std::string name(file_name);
  name.replace(length - 3, 3, "dbf");
  if (!file.open(name.c_str(), "wb")) {
    print_message("ERROR: cannot open file '%s'\n", name.c_str());
    return false;
  }
  header_written = false;
  record_count = 0;
  record.assign(1, ' ');
  return true;
}

int DBFwriter::add_float_field(const char* name) {
  if (!add_field(name, kFloatFieldLength, 'F')) return -1;
  return static_cast<int>(fields.size()) - 1;
}

bool DBFwriter::add_field(const char* name, int length, std::uint8_t type) {
  if (header_written || length < 1 || length > 255) return false;
  const int header_length = 32 * (static_cast<int>(fields.size()) + 1) + 33;
  if (header_length > kMaxU16 || record_length_sum + length + 1 > kMaxU16) return false;
  Field field{};
  std::snprintf(field.name, sizeof field.name, "%.10s", name);
  field.length = static_cast<std::uint8_t>(length);
  field.type = type;
  field.offset = static_cast<std::uint32_t>(record_length_sum + 1);
  fields.push_back(field);
  record_length_sum += length;
  if (record.empty()) record.assign(1, ' ');
  record.resize(static_cast<std::size_t>(record_length_sum) + 1, 0);
  return true;
}

bool DBFwriter::set_float(int index, double value, int decimals) {
  if (index < 0 || index >= static_cast<int>(fields.size())) {
    print_message("ERROR: index %d out of bounds\n", index);
    return false;
  }
  const Field& field = fields[static_cast<std::size_t>(index)];
  if (field.type != 'F') {
    print_message("ERROR: indexed field float has wrong type '%c'\n", field.type);
    return false;
  }
  char text[512];
  int n = -1;
  if (decimals >= 2 && decimals <= 8) n = std::snprintf(text, sizeof text, "%20.*f", decimals, value);
  if (n < 0 || n > kFloatFieldLength) n = std::snprintf(text, sizeof text, "%20.12g", value);
  std::uint8_t* slot = record.data() + field.offset;
  std::memset(slot, 0, field.length);
  std::memcpy(slot, text, std::min<std::size_t>(static_cast<std::size_t>(n), field.length));
  return true;
}

bool DBFwriter::write_header() {
  record_count = 0;
  std::uint8_t header[32] = {};
  header[0] = 3;
  header[1] = header[2] = header[3] = 9;
  byte_order::put_u16_le(header + 8, static_cast<std::uint16_t>(32 * fields.size() + 33));
  byte_order::put_u16_le(header + 10, static_cast<std::uint16_t>(record_length_sum + 1));
  header[29] = 0x57;
  file.write(header, sizeof header);
  for (const Field& field : fields) {
    std::uint8_t descriptor[32] = {};
    std::memcpy(descriptor, field.name, 11);
    descriptor[11] = field.type;
    byte_order::put_u32_le(descriptor + 12, field.offset);
    descriptor[16] = field.length;
    descriptor[17] = field.type == 'F' ? 3 : 0;
    file.write(descriptor, sizeof descriptor);
  }
  file.write_byte(0x0D);
  header_written = true;
  return !file.failed();
}

bool DBFwriter::write_record() {
  if (!file.is_open()) return false;
  if (!header_written) write_header();
  record[0] = ' ';
  file.write(record.data(), record.size());
  record_count++;
  return !file.failed();
}

bool DBFwriter::close() {
  return finish() && file.commit();
}

bool DBFwriter::commit() {
  return file.commit();
}

bool DBFwriter::finish() {
  if (!file.is_open()) return false;
  if (!header_written) write_header();
  std::uint8_t count[4];
  byte_order::put_u32_le(count, static_cast<std::uint32_t>(record_count));
  file.write_byte(0x0A);
  file.seek(4);
  file.write(count, sizeof count);
  file.seek_end();
  header_written = false;
  return file.finish();
}
