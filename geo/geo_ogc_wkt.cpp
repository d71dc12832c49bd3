// OGC WKT coordinate-system text: reading a LAS header's and writing a .prj file's.
#include "geo/geoprojectionconverter.h"

bool GeoProjectionConverter::set_projection_from_ogc_wkt(std::string_view) { return false; }
bool GeoProjectionConverter::get_ogc_wkt(std::string&, bool) const { return false; }
