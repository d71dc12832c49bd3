// US State Plane zones by name, for -sp27 and -sp83.
#include "geo/geoprojectionconverter.h"

void GeoProjectionConverter::print_state_planes(bool) const {}
