// Names of geodetic datums from the parameter file datums.csv: the ESRI name a .prj reader knows,
// and the datum a WKT text names only by its name.
#pragma once

#include <string>
#include <string_view>

// The ESRI name of a datum ("D_ETRS_1989" for 6258); empty when the file has none or is missing.
std::string geo_esri_datum_name(const std::string& path, int datum_code);

// The datum whose name or alias `name` is, compared without case, blanks or punctuation and
// without an ESRI "D_" prefix. Its EPSG name counts first, then an ESRI, a PROJ and last an EPSG
// alias; a tier that names two datums decides nothing. 0 when no datum has the name.
int geo_datum_of_name(const std::string& path, std::string_view name);
