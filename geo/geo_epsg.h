// EPSG look-ups shared by the GeoTIFF key, EPSG code and WKT parts of the converter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The converter's ellipsoid id (1 to 24) of an EPSG ellipsoid code; 0 when it has none.
int geo_ellipsoid_id_from_epsg(int ellipsoid_code);

enum class GeoLookup { found, missing_file, not_found };

struct GeoTableFile;

// Finds the line of `code` in the parameter file and answers it without its line end. A missing
// file prints a message that lists every folder searched.
GeoLookup geo_find_epsg_line(const GeoTableFile& file, int code, std::string& line);

// The comma-separated fields of a parameter file line; a field in double quotes keeps its commas
// and loses its quotes.
std::vector<std::string> geo_split_fields(std::string_view line);

// The geographic CRS that set_gcs takes without a message for `code`, the EPSG code of a
// geographic CRS (by_datum false) or of a datum (by_datum true): from the built-in table, else from
// the parameter file gcs.csv at `gcs_path`, where a datum counts through its 2D CRS on Greenwich.
// 0 when there is none, also when the file is missing; nothing is printed.
int geo_settable_gcs(const std::string& gcs_path, int code, bool by_datum);
