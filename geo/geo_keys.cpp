// GeoTIFF keys of a LAS header's GeoKeyDirectory turned into the converter's state.
#include <cstdio>

#include "geo/geoprojectionconverter.h"

bool GeoProjectionConverter::set_projection_from_geo_keys(std::span<const GeoKeyEntry>, std::string_view,
                                                          std::span<const double>, std::string*, bool) {
  return false;
}
