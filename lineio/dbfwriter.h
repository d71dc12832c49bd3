// A dBASE III table written record by record; the companion of a shapefile with real columns.
#pragma once

#include <cstdint>
#include <vector>

#include "lineio/output_file.h"

class DBFwriter {
 public:
  DBFwriter() = default;
  DBFwriter(const DBFwriter&) = delete;
  DBFwriter& operator=(const DBFwriter&) = delete;
  ~DBFwriter();

  // The name must have a '.' four characters before its end; its extension is replaced by "dbf".
  bool open(const char* file_name);
  // Adds a 20-character float field ('F'); answers its index or -1.
  int add_float_field(const char* name);
  // Fails once the header is written, for a length outside 1..255, and when the header or the
  // record would outgrow the 16-bit lengths of the format. The name is cut to 10 characters.
  bool add_field(const char* name, int length, std::uint8_t type);
  // Formats with "%20.<decimals>f" for decimals 2..8 and "%20.12g" otherwise. A fixed-point text
  // longer than the 20 characters of the field falls back to "%20.12g", which always fits, so a
  // large value keeps its magnitude instead of being cut to its leading digits.
  bool set_float(int index, double value, int decimals);
  // Writes the header first when needed, then the current values as one record.
  bool write_record();
  // Ends the table with 0x0A, patches the record count and closes. A table without records still
  // gets its header, so the file is a valid empty table. Answers false without a file or when any
  // write failed. The table takes the place of its name only when it is complete.
  bool close();
  // The two halves of close(), for a table that appears together with its Shapefile.
  bool finish();
  bool commit();

  std::int32_t get_record_count() const { return record_count; }

 private:
  struct Field {
    char name[11];
    std::uint8_t length;
    std::uint8_t type;
    std::uint32_t offset;  // inside the record; the deletion flag is byte 0
  };
  bool write_header();

  OutputFile file;
  bool header_written = false;
  std::vector<Field> fields;
  std::vector<std::uint8_t> record;  // deletion flag followed by every field's current value
  std::int32_t record_length_sum = 0;
  std::int32_t record_count = 0;
};
