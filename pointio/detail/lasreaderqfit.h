// The source of NASA airborne topographic mapper (QFIT) files: records of 10, 12 or 14 32-bit
// words (40, 48 or 56 bytes) in either byte order, the record length being the first word of the
// file. Longitude and latitude are millionths of a degree, elevation millimetres.
//
// Words of a record: 1 time (ms), 2 latitude, 3 longitude, 4 elevation, 5 start pulse signal
// strength, 6 reflected signal strength (the intensity), 7 scan azimuth, 8 pitch, 9 roll (each
// degrees x 1000); 12-word records then hold the GPS dilution of precision, the received pulse
// width and the packed GPS time; 14-word records the passive channel's signal, latitude,
// longitude and elevation and the packed GPS time. Azimuth, pitch, roll and, where a record has
// it, the pulse width become extra attributes.
#pragma once

#include <cstdint>

#include "pointio/detail/lasreaderrecordfile.h"

// The stream given to open must be able to seek.
class LASreaderQFIT : public LASreaderRecordFile<LASreaderQFIT> {
 public:
  int32_t get_format() const override { return FORMAT_QFIT; }
  bool seek(int64_t p_index) override;

  int32_t record_length() const { return record_length_; }
  bool is_big_endian() const { return big_endian_; }

 private:
  friend class LASreaderRecordFile<LASreaderQFIT>;
  bool read_header();
  bool read_record();
  void sample_bounds();

  int32_t record_length_ = 0;
  bool big_endian_ = false;
  int64_t point_start_ = 0;
  bool has_pulse_width_ = false;
};
