// US State Plane zones by name: the NAD27 and NAD83 zones of the Lambert Conformal Conic and the
// Transverse Mercator families, with their published parameters in meters and degrees.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct StatePlaneLcc {
  uint16_t epsg_code;
  const char* name;
  double false_easting_meter;
  double false_northing_meter;
  double lat_origin_degree;
  double long_meridian_degree;
  double first_std_parallel_degree;  // the southern one
  double second_std_parallel_degree;
};

struct StatePlaneTm {
  uint16_t epsg_code;
  const char* name;
  double false_easting_meter;
  double false_northing_meter;
  double lat_origin_degree;
  double long_meridian_degree;
  double scale_factor;
};

std::span<const StatePlaneLcc> state_planes_lcc(bool nad83);
std::span<const StatePlaneTm> state_planes_tm(bool nad83);

// A zone found by its exact name: the Lambert table of the datum is searched before the
// Transverse Mercator one. epsg_code 0 means no zone has that name.
struct StatePlaneMatch {
  int epsg_code = 0;
  bool lambert = false;
};
StatePlaneMatch find_state_plane(std::string_view name, bool nad83);
