// EPSG codes: the ones known by heart and the parameter files pcs.csv, gcs.csv, vertcs.csv.
#include <cstdio>

#include "geo/geoprojectionconverter.h"

bool GeoProjectionConverter::set_gcs(int, std::string*) { return false; }
bool GeoProjectionConverter::set_epsg_code(int, std::string*, bool) { return false; }
bool GeoProjectionConverter::set_ProjectedCSTypeGeoKey(int, std::string*, bool) { return false; }
bool GeoProjectionConverter::set_ProjLinearUnitsGeoKey(int, bool) { return false; }
bool GeoProjectionConverter::set_VerticalCSTypeGeoKey(int, std::string*) { return false; }
bool GeoProjectionConverter::set_VerticalUnitsGeoKey(int) { return false; }
std::string GeoProjectionConverter::parameter_file_path(const char* name) const {
  return "./serf/geo/" + std::string(name);
}
