// US State Plane zones by name, for -sp27 and -sp83, and their listing.
#include "geo/geo_state_planes.h"

#include <cstdio>

#include "common/messages.h"
#include "geo/geoprojectionconverter.h"

namespace {

#include "geo/geo_state_plane_tables.inc"

template <typename Row>
const Row* find_in(std::span<const Row> rows, std::string_view name) {
  for (const Row& row : rows) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

bool registered(int code) {
  for (const uint16_t outside : kStatePlanesOutsideEpsg) {
    if (outside == code) return false;
  }
  return true;
}

}  // namespace

std::span<const StatePlaneLcc> state_planes_lcc(bool nad83) {
  if (nad83) return kStatePlanesNad83Lcc;
  return kStatePlanesNad27Lcc;
}

std::span<const StatePlaneTm> state_planes_tm(bool nad83) {
  if (nad83) return kStatePlanesNad83Tm;
  return kStatePlanesNad27Tm;
}

StatePlaneMatch find_state_plane(std::string_view name, bool nad83) {
  StatePlaneMatch match;
  match.lcc = find_in(state_planes_lcc(nad83), name);
  if (!match.lcc) match.tm = find_in(state_planes_tm(nad83), name);
  match.registered = registered(match.epsg_code());
  return match;
}

void GeoProjectionConverter::print_state_planes(bool nad83) const {
  for (const StatePlaneLcc& row : state_planes_lcc(nad83)) {
    print_message(
        "%s - false east/north: %g/%g [m], origin lat/meridian long: %g/%g, parallel 1st/2nd: %g/%g\n",
        row.name, row.false_easting_meter, row.false_northing_meter, row.lat_origin_degree,
        row.long_meridian_degree, row.first_std_parallel_degree, row.second_std_parallel_degree);
  }
  for (const StatePlaneTm& row : state_planes_tm(nad83)) {
    print_message("%s - false east/north: %g/%g [m], origin lat/meridian long: %g/%g, scale factor: %g\n",
                  row.name, row.false_easting_meter, row.false_northing_meter, row.lat_origin_degree,
                  row.long_meridian_degree, row.scale_factor);
  }
}
