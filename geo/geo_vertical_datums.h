// The vertical datums the converter knows by heart: one table for the command-line options that
// choose them, the names the GeoTIFF key look-up reports, and the VERT_CS text the WKT writer
// appends.
#pragma once

#include <string_view>

struct GeoVerticalDatum {
  int code;            // the converter's vertical code (an EPSG vertical CRS or datum code)
  const char* option;  // the option that selects it and that unparse writes back
  const char* name;    // what set_VerticalCSTypeGeoKey describes it as
  // The VERT_CS of the WKT writer; nullptr when it writes none for this datum.
  const char* wkt_name;
  const char* wkt_datum_name;
  int wkt_datum_code;
  int height_code;       // EPSG code of the height CRS in meters
  int feet_height_code;  // ... in a foot unit (only NAVD88 has its own)
};

inline constexpr int kGeoVerticalNavd88 = 5103;

// The datum of `code`, nullptr when it is not known by heart.
const GeoVerticalDatum* geo_vertical_datum(int code);

// The datum an option names exactly ("-vertical_navd29" too, the old name of NGVD29), nullptr for
// none. "-vertical_navd88" with a geoid suffix is left to the caller.
const GeoVerticalDatum* geo_vertical_datum_of_option(std::string_view option);

// The name set_VerticalCSTypeGeoKey gives a built-in code: the table's, or the generic name of the
// ellipsoidal codes 5000 to 5099; nullptr for codes the parameter file must answer.
const char* geo_vertical_datum_name(int code);
