// OGC WKT coordinate-system text: reading a LAS header's and writing a .prj file's.
//
// Reading is a text search with bracket counting, not a WKT parser: it only has to recognise the
// few shapes point files carry. Writing uses fixed templates in the ESRI flavour for the
// geographic part, which is what Shapefile readers expect in a .prj file.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "geo/geo_datum_names.h"
#include "geo/geo_epsg.h"
#include "geo/geo_projection_forms.h"
#include "geo/geo_units.h"
#include "geo/geo_vertical_datums.h"
#include "geo/geoprojectionconverter.h"

namespace {

constexpr size_t kNotFound = std::string::npos;
constexpr size_t kWktBufferSize = 4096;  // the writer's text never exceeds this, NUL included
constexpr size_t kUnitLength = std::char_traits<char>::length("UNIT[");
constexpr size_t kVertDatumLength = std::char_traits<char>::length("VERT_DATUM[");
constexpr size_t kGeogcsLength = std::char_traits<char>::length("GEOGCS[");
constexpr size_t kDatumLength = std::char_traits<char>::length("DATUM[");

bool starts_with_at(const std::string& text, size_t pos, const char* word) {
  return text.compare(pos, std::char_traits<char>::length(word), word) == 0;
}

// Calls visit(position, depth) for every character outside quoted text after the '[' at `open`,
// with depth 1 directly inside that bracket, until the bracket closes. Stops early when visit
// answers true and then returns that position.
template <typename Visit>
size_t scan_inside(const std::string& text, size_t open, Visit visit) {
  int depth = 1;
  for (size_t i = open + 1; i < text.size(); i++) {
    const char c = text[i];
    if (c == '"') {
      const size_t close = text.find('"', i + 1);
      if (close == kNotFound) return kNotFound;
      i = close;
    } else if (c == '[') {
      depth++;
    } else if (c == ']') {
      if (--depth == 0) return kNotFound;
    } else if (visit(i, depth)) {
      return i;
    }
  }
  return kNotFound;
}

// The number after the next comma from `pos`; none when a bracket comes first.
std::optional<double> number_after_comma(const std::string& text, size_t pos) {
  const size_t comma = text.find_first_of(",[]", pos);
  if (comma == kNotFound || text[comma] != ',') return std::nullopt;
  const char* begin = text.c_str() + comma + 1;
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin || !std::isfinite(value)) return std::nullopt;
  return value;
}

// AUTHORITY["EPSG","code"] at `pos`: the code, or 0.
int epsg_authority(const std::string& text, size_t pos) {
  size_t i = pos + std::char_traits<char>::length("AUTHORITY[");
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) i++;
  if (!starts_with_at(text, i, "\"EPSG\"")) return 0;
  const size_t comma = text.find_first_of(",[]", i);
  if (comma == kNotFound || text[comma] != ',') return 0;
  size_t digits = comma + 1;
  while (digits < text.size() && (text[digits] == '"' || text[digits] == ' ')) digits++;
  const char* begin = text.c_str() + digits;
  char* end = nullptr;
  const long code = std::strtol(begin, &end, 10);
  if (end == begin || code <= 0 || code > 0x7fffffff) return 0;
  return static_cast<int>(code);
}

// The position of the keyword `word` at `depth` inside the bracket opened at `open`.
size_t find_at_depth(const std::string& text, size_t open, const char* word, int depth) {
  return scan_inside(text, open,
                     [&](size_t i, int d) { return d == depth && starts_with_at(text, i, word); });
}

// "false_easting" -> "False_Easting": the capitalised spelling some writers use.
std::string capitalised(const char* name) {
  std::string text = name;
  for (size_t i = 0; i < text.size(); i++) {
    if (i == 0 || text[i - 1] == '_')
      text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
  }
  return text;
}

std::optional<double> parameter_value(const std::string& text, size_t from, const char* name) {
  size_t at = text.find(name, from);
  if (at == kNotFound) at = text.find(capitalised(name), from);
  if (at == kNotFound) return std::nullopt;
  return number_after_comma(text, at);
}

// The geographic CRS that the GEOGCS directly inside the PROJCS opened at `open` names and that
// set_gcs can take: its own EPSG authority, else the one of its DATUM (the CRS of that datum), else
// the datum's name or one of its aliases. 0 when it names none the converter knows.
int named_gcs(const std::string& text, size_t open, const std::string& gcs_path,
              const std::string& datums_path) {
  const size_t geogcs = find_at_depth(text, open, "GEOGCS[", 1);
  if (geogcs == kNotFound) return 0;
  const size_t geogcs_open = geogcs + kGeogcsLength - 1;
  const size_t authority = find_at_depth(text, geogcs_open, "AUTHORITY[", 1);
  if (authority != kNotFound) {
    const int code = epsg_authority(text, authority);
    if (const int settable = code ? geo_settable_gcs(gcs_path, code, false) : 0) return settable;
  }
  const size_t datum = find_at_depth(text, geogcs_open, "DATUM[", 1);
  if (datum == kNotFound) return 0;
  const size_t datum_open = datum + kDatumLength - 1;
  const size_t datum_authority = find_at_depth(text, datum_open, "AUTHORITY[", 1);
  if (datum_authority != kNotFound) {
    const int datum_code = epsg_authority(text, datum_authority);
    if (const int settable = datum_code ? geo_settable_gcs(gcs_path, datum_code, true) : 0) return settable;
  }
  // A datum named by text alone ("D_NAD83_NATIONAL_SPATIAL_REFERENCE_SYSTEM_2011"): its name.
  const size_t name_begin = datum_open + 1;
  if (name_begin >= text.size() || text[name_begin] != '"') return 0;
  const size_t name_end = text.find('"', name_begin + 1);
  if (name_end == kNotFound) return 0;
  const int datum_code = geo_datum_of_name(
      datums_path, std::string_view(text).substr(name_begin + 1, name_end - name_begin - 1));
  return datum_code ? geo_settable_gcs(gcs_path, datum_code, true) : 0;
}

// The families the reader recognises, by the start of their PROJECTION name (the first match
// counts: "Lambert_Conformal_Conic" takes the 2SP form and the ESRI one).
const GeoProjectionForm* readable_form(const std::string& projection_name) {
  struct Readable {
    const char* prefix;
    GeoProjectionType type;
  };
  constexpr Readable kReadable[] = {
      {"Lambert_Conformal_Conic_1SP", GEO_PROJECTION_LCC_1SP},
      {"Lambert_Conformal_Conic", GEO_PROJECTION_LCC},
      {"Mercator_1SP", GEO_PROJECTION_MERCATOR_A},
      {"Mercator_2SP", GEO_PROJECTION_MERCATOR_B},
      {"Mercator_Auxiliary_Sphere", GEO_PROJECTION_PSEUDO_MERCATOR},
      {"Lambert_Azimuthal_Equal_Area", GEO_PROJECTION_LAEA},
      {"Transverse_Mercator", GEO_PROJECTION_TM},
      {"Albers_Conic_Equal_Area", GEO_PROJECTION_AEAC},
  };
  for (const Readable& readable : kReadable) {
    if (projection_name.starts_with(readable.prefix)) return geo_projection_form(readable.type);
  }
  return nullptr;
}

// The PARAMETER name of a family's parameter; nullptr when its text has none.
const char* wkt_name(const GeoProjectionForm& form, GeoParameter parameter) {
  for (const GeoWktParameter& wkt : form.wkt_parameters) {
    if (wkt.parameter == parameter) return wkt.name;
  }
  return nullptr;
}

}  // namespace

bool GeoProjectionConverter::set_projection_from_ogc_wkt(std::string_view wkt_view) {
  const std::string wkt(wkt_view.substr(0, wkt_view.find('\0')));

  const size_t vertical = wkt.find("VERT_CS[");
  if (vertical != kNotFound) {
    vertical_geokey = 0;
    const size_t open = vertical + std::char_traits<char>::length("VERT_CS");
    // Only the datum's own authority names the vertical datum; the unit and the height system
    // carry authorities of their own.
    const size_t datum = find_at_depth(wkt, open, "VERT_DATUM[", 1);
    if (datum != kNotFound) {
      const size_t authority = find_at_depth(wkt, datum + kVertDatumLength - 1, "AUTHORITY[", 1);
      if (authority != kNotFound) vertical_geokey = epsg_authority(wkt, authority);
    }
    const size_t unit_at = find_at_depth(wkt, open, "UNIT[", 1);
    if (unit_at != kNotFound) {
      if (const std::optional<double> unit = number_after_comma(wkt, unit_at + kUnitLength)) {
        if (*unit == 1.0) {
          set_elevation_in_meter(GeoSide::source);
        } else if (std::fabs(*unit - geo_units::kSurveyFootExact) < geo_units::kUnitTolerance) {
          set_elevation_in_survey_feet(GeoSide::source);
        } else {
          set_elevation_in_feet(GeoSide::source);
        }
      }
    }
  }

  const size_t projcs = wkt.find("PROJCS[");
  if (projcs == kNotFound) return false;
  const size_t open = projcs + std::char_traits<char>::length("PROJCS");
  const size_t authority = find_at_depth(wkt, open, "AUTHORITY[", 1);
  if (authority != kNotFound) {
    if (const int code = epsg_authority(wkt, authority)) return set_epsg_code(code, nullptr, GeoSide::source);
  }

  const size_t projection = find_at_depth(wkt, open, "PROJECTION[", 1);
  if (projection == kNotFound) return false;
  const size_t name_begin = wkt.find('"', projection);
  const size_t name_end = name_begin == kNotFound ? kNotFound : wkt.find('"', name_begin + 1);
  if (name_end == kNotFound) return false;
  const std::string name = wkt.substr(name_begin + 1, name_end - name_begin - 1);
  const size_t after = name_end + 1;

  double unit = 1.0;
  const size_t unit_at = wkt.find("UNIT[", after);
  if (unit_at != kNotFound) {
    const std::optional<double> value = number_after_comma(wkt, unit_at + kUnitLength);
    if (!value || *value <= 0.0) return false;
    unit = *value;
  }
  const GeoProjectionForm* form = readable_form(name);
  if (name.starts_with("Polar_Stereographic")) {
    // One name for both variants: a pole as the latitude of origin is variant A with its scale,
    // any other latitude the standard parallel of variant B.
    const std::optional<double> latitude = parameter_value(wkt, after, "latitude_of_origin");
    if (!latitude) return false;
    form = geo_projection_form(std::fabs(*latitude) == 90.0 ? GEO_PROJECTION_POLAR_STEREO_A
                                                            : GEO_PROJECTION_POLAR_STEREO_B);
  }
  if (!form) return false;
  double values[7] = {};
  for (size_t i = 0; i < form->parameters.size(); i++) {
    const GeoParameter parameter = form->parameters[i];
    const char* name_of_parameter = wkt_name(*form, parameter);
    const std::optional<double> value =
        name_of_parameter ? parameter_value(wkt, after, name_of_parameter) : std::nullopt;
    if (!value) return false;
    const bool length = parameter == GeoParameter::false_easting || parameter == GeoParameter::false_northing;
    values[i] = length ? *value * unit : *value;
  }

  // The geographic CRS is taken just before the projection, whose record keeps its code; a CRS the
  // converter cannot set leaves the current one.
  if (const int gcs =
          named_gcs(wkt, open, parameter_file_path("gcs.csv"), parameter_file_path("datums.csv"))) {
    set_gcs(gcs);
  }
  const bool set = set_projection(form->type, std::span(values, form->parameters.size()), GeoSide::source);
  // The projection converts coordinates in the text's linear unit, so the source coordinates are
  // in that unit too (as with the GeoTIFF key and EPSG paths).
  if (set) {
    if (unit == 1.0) {
      set_coordinates_in_meter(GeoSide::source);
    } else if (unit == geo_units::kFootToMeter) {
      set_coordinates_in_feet(GeoSide::source);
    } else if (std::fabs(unit - geo_units::kSurveyFootExact) < geo_units::kUnitTolerance) {
      set_coordinates_in_survey_feet(GeoSide::source);
    }
  }
  return set;
}

namespace {

constexpr const char* kGeogcsTail = "PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.017453292519943295]],";
constexpr const char* kGrs80Tail =
    "SPHEROID[\"GRS 1980\",6378137,298.257222101]],PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0."
    "017453292519943295]],";

const char* spheroid_of(int ellipsoid_epsg_code) {
  switch (ellipsoid_epsg_code) {
    case 7001:
      return "SPHEROID[\"Airy 1830\",6377563.396,299.3249646]";
    case 7004:
      return "SPHEROID[\"Bessel 1841\",6377397.155,299.1528128]";
    case 7008:
      return "SPHEROID[\"Clarke 1866\",6378206.4,294.9786982139006]";
    case 7019:
      return "SPHEROID[\"GRS 1980\",6378137,298.257222101]";
    case 7022:
      return "SPHEROID[\"International 1924\",6378388,297]";
    case 7030:
      return "SPHEROID[\"WGS 84\",6378137,298.257223563]";
    case 7036:
      return "SPHEROID[\"GRS 1967\",6378160,298.247167427]";
    case 7043:
      return "SPHEROID[\"WGS 72\",6378135,298.26]";
    default:
      return nullptr;
  }
}

const char* nad83_geogcs_head(int gcs_code) {
  switch (gcs_code) {
    case 4269:
      return "GEOGCS[\"GCS_North_American_1983\",DATUM[\"D_North_American_1983\",";
    case 4152:
      return "GEOGCS[\"NAD83(HARN)\",DATUM[\"D_North_American_1983_HARN\",";
    // The datum names GDAL and other .prj readers know for these three.
    case 4617:
      return "GEOGCS[\"NAD83(CSRS)\",DATUM[\"D_North_American_1983_CSRS\",";
    case 6322:
      return "GEOGCS[\"NAD83(PA11)\",DATUM[\"D_NAD_1983_PA11\",";
    case 6318:
      return "GEOGCS[\"NAD83(2011)\",DATUM[\"D_NAD_1983_2011\",";
    default:
      return nullptr;
  }
}

void append_format(std::string& text, const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), format, value);
  text += buffer;
}

// PARAMETER["name",value], with the value as %.15g.
void append_parameter(std::string& text, const char* name, double value) {
  text += "PARAMETER[\"";
  text += name;
  text += "\",";
  append_format(text, "%.15g", value);
  text += "],";
}

// Hotine variant B by the ESRI names that GDAL maps back onto it: the azimuth form carries no
// rectified grid angle (readers take it equal to the azimuth), so a grid turned by another angle
// needs the skew orthomorphic form with its plane rotation.
void append_hom_centre(std::string& wkt, const GeoProjectionParameters& p, double meter_to_unit) {
  const bool rotated = p.rectified_grid_angle_degree != p.azimuth_degree;
  wkt += rotated ? "PROJECTION[\"Rectified_Skew_Orthomorphic_Center\"],"
                 : "PROJECTION[\"Hotine_Oblique_Mercator_Azimuth_Center\"],";
  append_parameter(wkt, "false_easting", p.false_easting_meter * meter_to_unit);
  append_parameter(wkt, "false_northing", p.false_northing_meter * meter_to_unit);
  append_parameter(wkt, "scale_factor", p.scale_factor);
  append_parameter(wkt, "azimuth", p.azimuth_degree);
  append_parameter(wkt, "longitude_of_center", p.long_meridian_degree);
  append_parameter(wkt, "latitude_of_center", p.lat_origin_degree);
  if (rotated) append_parameter(wkt, "xy_plane_rotation", p.rectified_grid_angle_degree);
}

// The PROJCS text of a projected side: name, geographic part, projection, parameters, unit.
void append_projcs(std::string& wkt, const GeoProjectionParameters& p, const std::string& name,
                   const std::string& geogcs, double meter_to_unit, int unit_epsg) {
  wkt = "PROJCS[\"" + name + "\"," + geogcs;
  switch (p.type) {
    case GEO_PROJECTION_UTM: {
      char text[400];
      std::snprintf(text, sizeof(text),
                    "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],PARAMETER["
                    "\"central_meridian\",%d],PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\","
                    "500000],PARAMETER[\"false_northing\",%d],",
                    p.utm_zone_number * 6 - 183, p.utm_northern_hemisphere ? 0 : 10000000);
      wkt += text;
      break;
    }
    case GEO_PROJECTION_HOM:
      if (p.hom_variant_b) {
        append_hom_centre(wkt, p, meter_to_unit);
        break;
      }
      [[fallthrough]];
    default:
      if (const GeoProjectionForm* form = geo_projection_form(p.type)) {
        wkt += "PROJECTION[\"";
        wkt += form->wkt_projection;
        wkt += "\"],";
        for (const GeoWktParameter& parameter : form->wkt_parameters) {
          const bool length = parameter.parameter == GeoParameter::false_easting ||
                              parameter.parameter == GeoParameter::false_northing;
          const double value = geo_parameter(p, parameter.parameter);
          append_parameter(wkt, parameter.name, length ? value * meter_to_unit : value);
        }
      }
      break;
  }
  if (unit_epsg == 9002) {
    wkt += "UNIT[\"foot\",0.3048]";
  } else if (unit_epsg == 9003) {
    wkt += "UNIT[\"US survey foot\",0.3048006096012192]";
  } else {
    wkt += "UNIT[\"Meter\",1]";
  }
  wkt += "]";
}

// The name of a projected CRS in pcs.csv, for projections set without a description.
std::string pcs_name(const GeoTableFile& pcs, int code) {
  std::string line;
  if (code > 0 && geo_find_epsg_line(pcs, code, line) == GeoLookup::found) {
    const std::vector<std::string> fields = geo_split_fields(line);
    if (fields.size() > 1 && !fields[1].empty()) return fields[1];
  }
  return "unnamed";
}

// The VERT_CS text of the vertical datums the writer knows; nothing for others.
void append_vert_cs(std::string& wkt, int vertical_code, int elevation_unit_epsg) {
  const GeoVerticalDatum* v = geo_vertical_datum(vertical_code);
  if (!v || !v->wkt_name) return;
  char text[512];
  const int height_code = elevation_unit_epsg == 9001 ? v->height_code : v->feet_height_code;
  const char* unit = elevation_unit_epsg == 9001   ? "UNIT[\"metre\",1.0],"
                     : elevation_unit_epsg == 9002 ? "UNIT[\"foot\",0.3048],"
                                                   : "UNIT[\"US survey foot\",0.3048006096012192],";
  std::snprintf(text, sizeof(text),
                "VERT_CS[\"%s\",VERT_DATUM[\"%s\",2005,AUTHORITY[\"EPSG\",\"%d\"]],%sAXIS[\"Gravity-related "
                "height\",UP],AUTHORITY[\"EPSG\",\"%d\"]]",
                v->wkt_name, v->wkt_datum_name, v->wkt_datum_code, unit, height_code);
  wkt += text;
}

}  // namespace

bool GeoProjectionConverter::get_ogc_wkt(std::string& wkt, GeoSide side) const {
  wkt.clear();
  const GeoProjectionParameters* projection = get_projection(side);
  if (!projection || projection->type == GEO_PROJECTION_NONE) return false;
  if (projection->type == GEO_PROJECTION_ECEF) {
    wkt =
        "GEOCCS[\"WGS 84\",DATUM[\"World Geodetic System 1984\",SPHEROID[\"WGS "
        "84\",6378137.0,298.257223563,AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM["
        "\"Greenwich\",0.0,AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"m\",1.0],AXIS[\"Geocentric X\",OTHER],AXIS["
        "\"Geocentric Y\",EAST],AXIS[\"Geocentric Z\",NORTH],AUTHORITY[\"EPSG\",\"4978\"]]";
    return true;
  }

  // The geographic part.
  std::string geogcs;
  if (gcs_code == 4326) {
    geogcs =
        "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],PRIMEM["
        "\"Greenwich\",0],UNIT[\"Degree\",0.017453292519943295]],";
  } else if (const char* head = nad83_geogcs_head(gcs_code)) {
    geogcs = std::string(head) + kGrs80Tail;
  } else {
    geogcs = "GEOGCS[\"" + gcs_name + "\",";
    // The ESRI name of the datum is the one .prj readers recognise; the table's name otherwise.
    const std::string esri = geo_esri_datum_name(parameter_file_path("datums.csv"), datum_code);
    if (datum_code == 6326) {
      geogcs += "DATUM[\"D_WGS_1984\",";
    } else if (esri.starts_with("D_")) {
      geogcs += "DATUM[\"" + esri + "\",";
    } else {
      geogcs += "DATUM[\"D_" + datum_name + "\",";
    }
    if (const char* spheroid = spheroid_of(ellipsoid_epsg_code)) {
      geogcs += spheroid;
    } else {
      // A datum without its spheroid is no valid WKT: name the converter's own ellipsoid instead.
      char text[160];
      std::snprintf(text, sizeof(text), "SPHEROID[\"%s\",%.15g,%.15g]", ellipsoid.name,
                    ellipsoid.equatorial_radius, ellipsoid.inverse_flattening);
      geogcs += text;
    }
    geogcs += "],";
    geogcs += kGeogcsTail;
  }

  std::string name;
  if (projection->type == GEO_PROJECTION_LONG_LAT || projection->type == GEO_PROJECTION_LAT_LONG) {
    name = geogcs.substr(8, geogcs.find('"', 8) - 8);
    wkt = geogcs.substr(0, geogcs.size() - 2);
    wkt += projection->type == GEO_PROJECTION_LONG_LAT
               ? ",AXIS[\"Longitude\",EAST],AXIS[\"Latitude\",NORTH]]"
               : ",AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST]]";
  } else {
    const double meter_to_unit = side == GeoSide::source ? 1.0 / coordinates2meter : meter2coordinates;
    name = projection->description.empty() ? pcs_name(parameter_file("pcs.csv"), projection->geokey)
                                           : projection->description;
    append_projcs(wkt, *projection, name, geogcs, meter_to_unit, get_unit_epsg(side));
  }
  // A height system joins the horizontal one in a compound system; readers take a VERT_CS that
  // merely follows the PROJCS for trailing garbage.
  const int elevation_epsg = geo_units::epsg_of_unit(get_elevation_unit(side));
  std::string vert_cs;
  append_vert_cs(vert_cs, vertical_geokey, elevation_epsg);
  if (!vert_cs.empty()) {
    const std::string vert_name = vert_cs.substr(9, vert_cs.find('"', 9) - 9);
    wkt = "COMPD_CS[\"" + name + " + " + vert_name + "\"," + wkt + "," + vert_cs + "]";
  }
  if (wkt.size() >= kWktBufferSize) wkt.resize(kWktBufferSize - 1);
  return true;
}
