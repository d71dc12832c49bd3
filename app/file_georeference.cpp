#include "app/file_georeference.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/driver_options.h"
#include "common/messages.h"

FileGeoreference::FileGeoreference(const GeoProjectionConverter& user, const LASheader& header,
                                   const char* input_name)
    : converter_(user) {
  const bool user_units = user.has_coordinate_unit(GeoSide::source);
  if (!user.has_projection(GeoSide::source)) {
    const std::string_view wkt = header.vlr_geo_ogc_wkt();
    const bool has_keys = header.vlr_geo_keys().has_value();
    if (!wkt.empty() && !converter_.set_projection_from_ogc_wkt(wkt)) {
      print_message(has_keys ? "WARNING: cannot use the OGC WKT of '%s'. using its GeoKeys instead\n"
                             : "WARNING: cannot use the OGC WKT of '%s'\n",
                    input_name);
    }
    if (!converter_.has_projection(GeoSide::source) && has_keys) {
      std::vector<GeoKeyEntry> keys;
      for (const LASvlrKeyEntry& e : header.vlr_geo_key_entries()) {
        keys.push_back({e.key_id, e.tiff_tag_location, e.count, e.value_offset});
      }
      const std::vector<double> doubles = header.vlr_geo_double_params();
      converter_.set_projection_from_geo_keys(keys, header.vlr_geo_ascii_params(), doubles);
    }
    unusable_file_records_ = !converter_.has_projection(GeoSide::source) && (!wkt.empty() || has_keys);
    // Units stated on the command line override the unit keys or WKT units of the file.
    if (user_units)
      converter_.set_coordinate_unit(user.get_coordinate_unit(GeoSide::source), GeoSide::source);
    if (user.has_elevation_unit(GeoSide::source)) {
      converter_.set_elevation_unit(user.get_elevation_unit(GeoSide::source), GeoSide::source);
    }
  }
  // Both foot units count (unit codes 9002 and 9003).
  feet_from_file_ = !user_units;
  feet_ = (user_units ? user : converter_).get_unit_epsg(GeoSide::source) > 9001;
}

bool FileGeoreference::prepare_kml(const LASheader& h, const char* input_name, bool verbose,
                                   GeoDatumShift& shift) {
  if (!converter_.has_projection(GeoSide::source)) {
    if (h.min_x >= -180 && h.max_x <= 180 && h.min_y >= -90 && h.max_y <= 90) {
      print_message("WARNING: assuming longitude/latitude projection for georeferencing\n");
      converter_.set_longlat(GeoSide::source);
    } else if (h.min_x >= -90 && h.max_x <= 90 && h.min_y >= -180 && h.max_y <= 180) {
      print_message("WARNING: assuming latitude/longitude projection for georeferencing\n");
      converter_.set_latlong(GeoSide::source);
    } else {
      print_message("ERROR: cannot parse or guess georeferencing from LAS header for KML output\n");
      print_usage_and_wait();
      return false;
    }
  }
  double centre[3] = {(h.min_x + h.max_x) / 2.0, (h.min_y + h.max_y) / 2.0, 0.0};
  if (!converter_.to_lon_lat_checked(centre) || std::fabs(centre[0]) > 180.0 || std::fabs(centre[1]) > 90.0) {
    print_message(
        "ERROR: cannot place '%s' on the globe for KML output: its projection does not reach %g %g\n",
        input_name, (h.min_x + h.max_x) / 2.0, (h.min_y + h.max_y) / 2.0);
    return false;
  }
  const std::string datum = converter_.get_datum_description();
  switch (converter_.find_wgs84_shift(centre[0], centre[1], shift)) {
    case GeoShiftLookup::identity:
      break;
    case GeoShiftLookup::found:
      if (verbose) {
        char accuracy[64] = "unknown accuracy";
        if (shift.accuracy >= 0) std::snprintf(accuracy, sizeof(accuracy), "accuracy %g m", shift.accuracy);
        print_message("KML in WGS 84: datum '%s' through '%s' (EPSG %d, %s)\n", datum.c_str(),
                      shift.name.c_str(), shift.code, accuracy);
      }
      break;
    case GeoShiftLookup::not_covered:
      print_message(
          "WARNING: no transformation from datum '%s' to WGS 84 covers longitude %.6f latitude %.6f. KML "
          "coordinates stay in that datum\n",
          datum.c_str(), centre[0], centre[1]);
      break;
    case GeoShiftLookup::unknown:
      print_message(
          "WARNING: no transformation from datum '%s' to WGS 84 is known. KML coordinates stay in that "
          "datum\n",
          datum.c_str());
      break;
    case GeoShiftLookup::missing_file:
      print_message(
          "WARNING: cannot read 'towgs84.csv' to take datum '%s' to WGS 84. KML coordinates stay in that "
          "datum\n",
          datum.c_str());
      break;
  }
  return true;
}
