// Helpers of the filter and transform tests: argument vectors, points of each kind, captured
// messages.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/messages.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"
#include "test_argv.h"

namespace filter_test {

using ::Argv;

// Splits "a b c" into words.
inline std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> w;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') i++;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ') i++;
    if (i > start) w.push_back(text.substr(start, i - start));
  }
  return w;
}

// A point of a given LAS point format with a header of its own (scale 0.01, offset 0) and, for
// extra bytes, attributes described by `attributes`.
class TestPoint {
 public:
  explicit TestPoint(uint8_t format = 3, uint16_t extra_bytes = 0,
                     const std::vector<LASattribute>& attributes = {}) {
    header.point_data_format = format;
    std::vector<LASitem> items;
    const uint16_t standard[] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
    las_point_format_items(format, static_cast<uint16_t>(standard[format] + extra_bytes), items);
    for (const LASattribute& a : attributes) header.add_attribute(a);
    point.init(&header, items, &header);
  }
  LASheader header;
  LASpoint point;
};

inline LASattribute attribute(uint8_t data_type, double scale = 1.0, double offset = 0.0) {
  LASattribute a;
  a.data_type = data_type;
  if (scale != 1.0) a.options |= 8;
  if (offset != 0.0) a.options |= 16;
  a.scale[0] = scale;
  a.offset[0] = offset;
  return a;
}

// Whether two points hold the same values in every field a filter or transform touches.
inline bool same_fields(const LASpoint& a, const LASpoint& b) {
  return a.X == b.X && a.Y == b.Y && a.Z == b.Z && a.intensity == b.intensity &&
         a.return_number == b.return_number && a.number_of_returns == b.number_of_returns &&
         a.scan_direction_flag == b.scan_direction_flag && a.edge_of_flight_line == b.edge_of_flight_line &&
         a.classification == b.classification && a.synthetic_flag == b.synthetic_flag &&
         a.keypoint_flag == b.keypoint_flag && a.withheld_flag == b.withheld_flag &&
         a.scan_angle_rank == b.scan_angle_rank && a.user_data == b.user_data &&
         a.point_source_ID == b.point_source_ID && a.extended_scan_angle == b.extended_scan_angle &&
         a.extended_scanner_channel == b.extended_scanner_channel &&
         a.extended_classification_flags == b.extended_classification_flags &&
         a.extended_classification == b.extended_classification &&
         a.extended_return_number == b.extended_return_number &&
         a.extended_number_of_returns == b.extended_number_of_returns &&
         std::memcmp(&a.gps_time, &b.gps_time, sizeof a.gps_time) == 0 &&
         std::memcmp(a.rgb, b.rgb, sizeof a.rgb) == 0 &&
         std::memcmp(a.wavepacket.data, b.wavepacket.data, sizeof a.wavepacket.data) == 0 &&
         a.extra_bytes == b.extra_bytes && a.have_rgb == b.have_rgb;
}

// Runs f and answers the messages it printed.
template <class F>
std::string messages_of(F&& f) {
  MessageCollector collector;
  f();
  return collector.text();
}

}  // namespace filter_test
