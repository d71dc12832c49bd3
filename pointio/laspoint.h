#pragma once
// The one point a reader has just delivered, and the item list that describes a point record.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "compression/rkp_item.h"
#include "pointio/lasquantizer.h"

struct LASattributeSet;

// One item of a point record. version 0 means stored uncompressed.
using LASitem = RkpItem;

// Builds the uncompressed item list of a LAS point format. A record longer than the standard
// length gets one extra-bytes item (BYTE up to format 5, BYTE14 from format 6) for the surplus.
// Answers false, after its "ERROR: ..." line, for a shorter record and for point formats other
// than 0 to 10.
bool las_point_format_items(uint8_t point_data_format, uint16_t point_data_record_length,
                            std::vector<LASitem>& items);

// The 29 bytes of a WAVEPACKET item, kept verbatim; the fields are read and written through
// accessors because their natural alignment does not match the packed record.
class LASwavepacket {
 public:
  uint8_t get_index() const { return data[0]; }
  uint64_t get_offset() const { return load<uint64_t>(1); }
  uint32_t get_size() const { return load<uint32_t>(9); }
  float get_location() const { return load<float>(13); }
  float get_xt() const { return load<float>(17); }
  float get_yt() const { return load<float>(21); }
  float get_zt() const { return load<float>(25); }
  void set_index(uint8_t v) { data[0] = v; }
  void set_offset(uint64_t v) { store(1, v); }
  void set_size(uint32_t v) { store(9, v); }
  void set_location(float v) { store(13, v); }
  void set_xt(float v) { store(17, v); }
  void set_yt(float v) { store(21, v); }
  void set_zt(float v) { store(25, v); }

  uint8_t data[29] = {};

 private:
  template <class T>
  T load(int at) const {
    T v;
    std::memcpy(&v, data + at, sizeof(T));
    return v;
  }
  template <class T>
  void store(int at, T v) {
    std::memcpy(data + at, &v, sizeof(T));
  }
};

// The fixed point fields. The first 20 bytes are byte-identical with the POINT10 item so that raw
// records are copied straight into them (checked by static_asserts in laspoint.cpp).
struct LASpointFields {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Z = 0;
  uint16_t intensity = 0;
  uint8_t return_number : 3 = 1;      // legacy 3-bit return number
  uint8_t number_of_returns : 3 = 1;  // legacy 3-bit number of returns
  uint8_t scan_direction_flag : 1 = 0;
  uint8_t edge_of_flight_line : 1 = 0;
  uint8_t classification : 5 = 0;  // legacy 5-bit class
  uint8_t synthetic_flag : 1 = 0;
  uint8_t keypoint_flag : 1 = 0;
  uint8_t withheld_flag : 1 = 0;
  int8_t scan_angle_rank = 0;
  uint8_t user_data = 0;
  uint16_t point_source_ID = 0;

  int16_t extended_scan_angle = 0;      // units of 0.006 degree
  uint8_t extended_point_type : 2 = 0;  // 1 when built from a POINT14 item
  uint8_t extended_scanner_channel : 2 = 0;
  uint8_t extended_classification_flags : 4 = 0;  // synthetic, keypoint, withheld, overlap from bit 0
  uint8_t extended_classification = 0;
  uint8_t extended_return_number : 4 = 1;
  uint8_t extended_number_of_returns : 4 = 1;

  double gps_time = 0.0;
  uint16_t rgb[4] = {0, 0, 0, 0};  // red, green, blue, near infrared
  LASwavepacket wavepacket;
};

class LASpoint : public LASpointFields {
 public:
  LASpoint();
  // A point holds pointers into itself (the item pointers), so it is never copied or moved
  // implicitly; copy_from copies the values between points prepared from the same item list.
  LASpoint(const LASpoint&) = delete;
  LASpoint& operator=(const LASpoint&) = delete;

  // Points each item at its place inside this point and allocates the extra bytes. Answers false
  // for an unknown item type (the point is then cleared).
  bool init(const LASquantizer* quantizer, const std::vector<LASitem>& item_list,
            const LASattributeSet* attributer = nullptr);

  // Sets every field to zero except the return numbers and counts (1) and extended_point_type.
  void zero();
  // Zeroes and forgets the item list, the item pointers and the extra bytes.
  void clear();
  // Copies the fixed fields, gps_time, rgb, wavepacket and extra bytes of a point with the same
  // item list.
  void copy_from(const LASpoint& other);

  double get_x() const { return quantizer->get_x(X); }
  double get_y() const { return quantizer->get_y(Y); }
  double get_z() const { return quantizer->get_z(Z); }
  void set_x(double x) { X = quantizer->get_X(x); }
  void set_y(double y) { Y = quantizer->get_Y(y); }
  void set_z(double z) { Z = quantizer->get_Z(z); }

  // Where each item's bytes live inside this point, in item order.
  uint8_t* const* item_pointers() { return point.data(); }

  std::vector<uint8_t> extra_bytes;         // the BYTE/BYTE14 item
  const LASquantizer* quantizer;            // normally the owning reader's header
  double coordinates[3] = {0.0, 0.0, 0.0};  // real x, y, z for readers that parse reals
  const LASattributeSet* attributer = nullptr;
  std::vector<uint8_t*> point;  // one per item
  bool have_gps_time = false;
  bool have_rgb = false;
  bool have_nir = false;
  bool have_wavepacket = false;
  int32_t extra_bytes_number = 0;
  uint32_t total_point_size = 0;  // sum of the item sizes
  uint16_t num_items = 0;
  std::vector<LASitem> items;
};
