// The parameter lists of the projection families: which parameters a family has, in the order its
// setter, its command-line option and its description take them, and the PARAMETER names and
// order of its WKT text. The setters, unparse and the WKT reader and writer all read this table,
// so a family's parameters are written out once. Internal to the geo module.
#pragma once

#include <span>

#include "geo/geoprojectionconverter.h"

enum class GeoParameter {
  false_easting,   // meters
  false_northing,  // meters
  latitude,        // of the origin or the centre, degrees
  longitude,       // central meridian or longitude of the centre, degrees
  first_parallel,
  second_parallel,
  scale,
  azimuth,
  rectified_grid_angle,
  zero,  // a WKT parameter every record of the family holds as 0 (the auxiliary sphere type)
};

struct GeoWktParameter {
  GeoParameter parameter;
  const char* name;  // as PARAMETER["name",...] writes and reads it
};

struct GeoProjectionForm {
  GeoProjectionType type;
  const char* default_description;
  // Setter order: the values of set_projection, of the option after its unit word (false easting
  // and northing first, before the unit) and of the described text.
  std::span<const GeoParameter> parameters;
  const char* described_format;  // one %g per parameter, in setter order
  const char* option;            // "lcc" for -lcc and -target_lcc; nullptr when there is none
  const char* wkt_projection;    // PROJECTION["..."] of the WKT writer
  // The WKT writer's PARAMETERs in order; the reader looks for the same names.
  std::span<const GeoWktParameter> wkt_parameters;
};

// The form of a family with parameters; nullptr for UTM and the types without parameters.
const GeoProjectionForm* geo_projection_form(GeoProjectionType type);

// A parameter of a record, in degrees for angles and meters for false easting and northing.
double geo_parameter(const GeoProjectionParameters& record, GeoParameter parameter);
// Stores a parameter, and the radian copy of an angle.
void geo_set_parameter(GeoProjectionParameters& record, GeoParameter parameter, double value);
