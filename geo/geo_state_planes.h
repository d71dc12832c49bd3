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
// Transverse Mercator one. Both rows are null when no zone has that name.
struct StatePlaneMatch {
  const StatePlaneLcc* lcc = nullptr;
  const StatePlaneTm* tm = nullptr;
  // False for the few zones whose codes left the EPSG register: the parameter files do not know
  // them, so they are set from their rows.
  bool registered = true;

  int epsg_code() const { return lcc ? lcc->epsg_code : tm ? tm->epsg_code : 0; }
};
StatePlaneMatch find_state_plane(std::string_view name, bool nad83);
