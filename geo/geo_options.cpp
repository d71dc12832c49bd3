// Command-line options of the converter: the datum, projection, units and vertical datum of the
// input points and of the target, read from the shared argument vector and written back as text.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "common/argument_cursor.h"
#include "common/messages.h"
#include "common/numbers.h"
#include "geo/geo_projection_forms.h"
#include "geo/geo_state_planes.h"
#include "geo/geo_units.h"
#include "geo/geo_vertical_datums.h"
#include "geo/geoprojectionconverter.h"

namespace {

struct NamedCode {
  const char* option;
  int code;
};

// Datum options and their geographic CRS. The first option of a code is the one written back.
constexpr NamedCode kDatumOptions[] = {
    {"-wgs72", 4322},      {"-wgs84", 4326},      {"-nad27", 4267},      {"-nad83", 4269},
    {"-nad83_2011", 6318}, {"-nad83_harn", 4152}, {"-nad83_csrs", 4617}, {"-nad83_pa11", 6322},
    {"-gda94", 4283},      {"-gda2020", 7844},    {"-etrs89", 4258},     {"-osgb1936", 4277},
};

// Geoid models of NAVD88, by the suffix of -vertical_navd88. Only stored and written back.
constexpr NamedCode kNavd88Geoids[] = {
    {"", 0},
    {"_geoid12b", 1145103},
    {"_geoid12a", 1135103},
    {"_geoid12", 1125103},
    {"_geoid09", 1095103},
    {"_geoid06", 1065103},
    {"_geoid03", 1035103},
    {"_geoid99", 995103},
    {"_geoid96", 965103},
};

const NamedCode* find_option(std::span<const NamedCode> table, std::string_view option) {
  for (const NamedCode& entry : table) {
    if (option == entry.option) return &entry;
  }
  return nullptr;
}

const NamedCode* find_code(std::span<const NamedCode> table, int code) {
  for (const NamedCode& entry : table) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

bool is(const char* word, const char* option) {
  return std::strcmp(word, option) == 0;
}

enum class Outcome { kNotMine, kDone, kFailed };

// The three option families with a unit word among their arguments.
enum class Conic { kLcc, kTm, kAeac };

}  // namespace

// One pass over argv. Each parse_* member looks at the option under the cursor; when it is one of
// its own it consumes the option and its arguments and answers kDone (or kFailed after the message).
struct GeoOptionParser {
  GeoProjectionConverter& geo;
  ArgumentCursor args;

  const char* option() const { return args.option(); }
  const char* argument(int k) const { return args.argument(k); }
  const char* side_name(GeoSide side) const {
    return side == GeoSide::source ? "projection" : "target projection";
  }

  // Whether `count` arguments follow the option; otherwise prints which are missing.
  bool has_arguments(int count, const char* names) const {
    if (args.has(count)) return true;
    print_message("ERROR: '%s' needs %d argument%s: %s\n", option(), count, count == 1 ? "" : "s", names);
    return false;
  }

  // Empties the option and its `count` arguments and moves past them.
  Outcome consume(int count) {
    args.consume(count);
    return Outcome::kDone;
  }

  bool run();
  Outcome parse_datum();
  Outcome parse_vertical();
  Outcome parse_projection();
  Outcome parse_units();
  Outcome parse_ellipsoid();
  Outcome parse_utm(GeoSide side);
  Outcome parse_epsg(GeoSide side);
  bool read_epsg_code(unsigned& code) const;
  Outcome parse_state_plane(GeoSide side, bool nad83);
  bool set_state_plane_row(const StatePlaneMatch& zone, GeoSide side, bool nad83, std::string& described);
  Outcome parse_conic(Conic conic, GeoSide side);
  Outcome parse_precision(double& precision);
  void report_projection(GeoSide side, const char* kind, const std::string& described) const;
  void target_chosen(GeoSide side);

  // The target side as option text, for unparse.
  static void unparse_target(const GeoProjectionConverter& geo, std::string& options);
};

bool GeoOptionParser::run() {
  while (args.next()) {
    const char* word = args.option();
    if (is(word, "-h") || is(word, "-help")) return true;
    if (is(word, "-v") || is(word, "-verbose")) {
      geo.verbose = true;  // the driver reads it as well
      continue;
    }
    Outcome outcome = parse_datum();
    if (outcome == Outcome::kNotMine) outcome = parse_vertical();
    if (outcome == Outcome::kNotMine) outcome = parse_projection();
    if (outcome == Outcome::kNotMine) outcome = parse_units();
    if (outcome == Outcome::kFailed) return false;
  }
  return true;
}

Outcome GeoOptionParser::parse_datum() {
  const char* word = option();
  if (is(word, "-ellipsoid")) return parse_ellipsoid();
  const GeoEllipsoid& ellipsoid = geo.get_ellipsoid();
  if (is(word, "-grs80")) {
    std::string described;
    geo.set_ellipsoid(11, &described);
    geo.ellipsoid_only = true;
    if (geo.verbose) print_message("using ellipsoid '%s'\n", described.c_str());
    return consume(0);
  }
  const NamedCode* datum = find_option(kDatumOptions, word);
  if (!datum) {
    if (std::strncmp(word, "-nad83", 6) != 0) return Outcome::kNotMine;
    print_message("ERROR: unknown datum '%s'.\n", word);
    return Outcome::kFailed;
  }
  if (!geo.set_gcs(datum->code)) {
    print_message("ERROR: unknown datum '%s'.\n", word);
    return Outcome::kFailed;
  }
  geo.ellipsoid_only = false;
  if (geo.verbose) {
    if (datum->code == 4322) {
      print_message("using ellipsoid '%2d - %s (%g %g)'\n", ellipsoid.id, ellipsoid.name,
                    ellipsoid.equatorial_radius, ellipsoid.eccentricity_squared);
    } else {
      print_message("using datum '%s' with ellipsoid '%s'\n", geo.datum_name.c_str(), ellipsoid.name);
    }
  }
  return consume(0);
}

Outcome GeoOptionParser::parse_ellipsoid() {
  if (!has_arguments(1, "ellipsoid_id")) return Outcome::kFailed;
  int id = 0;
  if (!args.number(1, id)) return Outcome::kFailed;
  std::string described;
  if (!geo.set_ellipsoid(id, &described)) {
    print_message("ERROR: ellipsoid with id %d is unknown. use one of those: \n", id);
    GeoProjectionConverter probe;
    for (int valid = 1; valid <= 24; valid++) {
      if (probe.set_ellipsoid(valid, &described)) print_message("  %s\n", described.c_str());
    }
    return Outcome::kFailed;
  }
  // An ellipsoid alone names no datum; unparse writes it back as such.
  geo.ellipsoid_only = true;
  if (geo.verbose) print_message("using ellipsoid '%s'\n", described.c_str());
  return consume(1);
}

Outcome GeoOptionParser::parse_vertical() {
  const char* word = option();
  if (std::strncmp(word, "-vertical_", 10) != 0) return Outcome::kNotMine;
  if (std::strncmp(word, "-vertical_navd88", 16) == 0) {
    const char* suffix = word + 16;
    const NamedCode* geoid = find_option(kNavd88Geoids, suffix);
    if (!geoid) print_message("WARNING: unknown specialization of NAVD88 '%s'\n", suffix);
    geo.vertical_geokey = kGeoVerticalNavd88;
    geo.vertical_geoid = geoid ? geoid->code : 0;
    return consume(0);
  }
  if (const GeoVerticalDatum* datum = geo_vertical_datum_of_option(word)) {
    geo.vertical_geokey = datum->code;
    geo.vertical_geoid = 0;
    return consume(0);
  }
  if (!is(word, "-vertical_epsg")) return Outcome::kNotMine;  // left for later parsers
  unsigned code = 0;
  if (!read_epsg_code(code)) return Outcome::kFailed;
  if (!geo.set_VerticalCSTypeGeoKey(static_cast<int>(code))) {
    print_message("ERROR: unknown vertical EPSG code in '%s %s'.\n", word, argument(1));
    return Outcome::kFailed;
  }
  geo.vertical_geoid = 0;
  if (geo.verbose) print_message("using vertical EPSG code %u\n", code);
  return consume(1);
}

void GeoOptionParser::report_projection(GeoSide side, const char* kind, const std::string& described) const {
  if (geo.verbose) print_message("using %s%s '%s'\n", kind, side_name(side), described.c_str());
}

// A target projection given explicitly replaces "-target_utm auto".
void GeoOptionParser::target_chosen(GeoSide side) {
  if (side == GeoSide::target) geo.target_utm_auto = false;
}

Outcome GeoOptionParser::parse_projection() {
  // Every projection option has a "-target_" form that sets the target side instead.
  const GeoSide side = std::strncmp(option(), "-target_", 8) != 0 ? GeoSide::source : GeoSide::target;
  const std::string name = side == GeoSide::source ? std::string(option()) : "-" + std::string(option() + 8);
  if (name == "-latlong" || name == "-longlat" || name == "-ecef") {
    std::string described;
    bool set = false;
    if (name == "-latlong") set = geo.set_latlong(side, nullptr, &described);
    if (name == "-longlat") set = geo.set_longlat(side, nullptr, &described);
    if (name == "-ecef") set = geo.set_ecef(side, nullptr, &described);
    if (!set) {
      print_message("ERROR: cannot set the %s of '%s'.\n", side_name(side), option());
      return Outcome::kFailed;
    }
    target_chosen(side);
    report_projection(side, "", described);
    return consume(0);
  }
  if (name == "-utm") return parse_utm(side);
  if (name == "-epsg") return parse_epsg(side);
  if (name == "-lcc") return parse_conic(Conic::kLcc, side);
  if (name == "-sp83") return parse_state_plane(side, true);
  if (name == "-sp27") return parse_state_plane(side, false);
  if (name == "-tm" || (side == GeoSide::source && name == "-transverse_mercator"))
    return parse_conic(Conic::kTm, side);
  if (name == "-aeac") return parse_conic(Conic::kAeac, side);
  return Outcome::kNotMine;
}

Outcome GeoOptionParser::parse_utm(GeoSide side) {
  if (!has_arguments(1, "zone")) return Outcome::kFailed;
  if (side == GeoSide::target && is(argument(1), "auto")) {
    geo.reset_projection(GeoSide::target);
    geo.target_utm_auto = true;
    if (geo.verbose) print_message("using target projection UTM '%s'\n", "auto select");
    return consume(1);
  }
  // "32north", "32n" and "5n" name band U, "55south" and "55s" band L: the hemisphere word is
  // looked for in the second and third character only.
  std::string zone_text = argument(1);
  for (size_t at = 1; at <= 2 && at < zone_text.size(); at++) {
    const char hemisphere = zone_text[at];
    if (hemisphere == 'n' || hemisphere == 's') {
      zone_text.resize(at + 1);
      zone_text[at] = hemisphere == 'n' ? 'U' : 'L';
      break;
    }
  }
  // The zone is the leading number 1 to 60 followed by exactly one band letter.
  size_t digits = 0;
  while (digits < zone_text.size() && std::isdigit(static_cast<unsigned char>(zone_text[digits]))) digits++;
  int zone = 0;
  const bool numbered = digits > 0 && read_number(std::string_view(zone_text).substr(0, digits), zone,
                                                  NumberRange::between(1, 60)) == NumberVerdict::kOk;
  const char letter = numbered && zone_text.size() == digits + 1 ? zone_text[digits] : '\0';
  std::string described;
  if (!numbered || zone < 1 || zone > 60 || letter < 'C' || letter > 'X' ||
      !geo.set_utm(zone, letter, letter >= 'N', side, nullptr, &described)) {
    print_message(
        "ERROR: utm zone '%s' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n",
        argument(1));
    return Outcome::kFailed;
  }
  target_chosen(side);
  if (geo.verbose) print_message("using %s UTM '%s'\n", side_name(side), described.c_str());
  return consume(1);
}

// The code after an EPSG option: a whole number 1 to 32767 (no larger code exists). A number
// outside that range is named as it was given rather than wrapped around.
bool GeoOptionParser::read_epsg_code(unsigned& code) const {
  if (!has_arguments(1, "EPSG code")) return false;
  int64_t value = 0;
  if (read_number(argument(1), value) == NumberVerdict::kNotANumber || value < 0) {
    print_message("ERROR: '%s' needs 1 argument: EPSG code but '%s' is not a valid code\n", option(),
                  argument(1));
    return false;
  }
  if (value < 1 || value > 32767) {
    print_message("ERROR: '%s' needs 1 argument: EPSG code but %s is not a valid code\n", option(),
                  argument(1));
    return false;
  }
  code = static_cast<unsigned>(value);
  return true;
}

Outcome GeoOptionParser::parse_epsg(GeoSide side) {
  unsigned code = 0;
  if (!read_epsg_code(code)) return Outcome::kFailed;
  if (!geo.set_epsg_code(static_cast<int>(code), nullptr, side)) {
    print_message("ERROR: unknown EPSG code in '%s %s'.\n", option(), argument(1));
    return Outcome::kFailed;
  }
  target_chosen(side);
  if (geo.verbose) print_message("using %s EPSG code %u\n", side_name(side), code);
  return consume(1);
}

Outcome GeoOptionParser::parse_state_plane(GeoSide side, bool nad83) {
  if (!has_arguments(1, "state plane zone")) return Outcome::kFailed;
  const StatePlaneMatch zone = find_state_plane(argument(1), nad83);
  if (zone.epsg_code() == 0) {
    print_message("ERROR: bad state code in '%s %s'.\n", option(), argument(1));
    geo.print_state_planes(nad83);
    return Outcome::kFailed;
  }
  std::string described;
  const bool set = zone.registered ? geo.set_epsg_code(zone.epsg_code(), &described, side)
                                   : set_state_plane_row(zone, side, nad83, described);
  if (!set) {
    print_message("ERROR: cannot set state plane '%s %s' (EPSG code %d).\n", option(), argument(1),
                  zone.epsg_code());
    return Outcome::kFailed;
  }
  target_chosen(side);
  if (geo.verbose) {
    print_message("using %s '%s' (%s %s) '%s'\n",
                  side == GeoSide::source ? "state plane" : "target state plane", argument(1),
                  nad83 ? "NAD83" : "NAD27", zone.lcc ? "LCC" : "TM", described.c_str());
  }
  return consume(1);
}

// A zone the parameter files do not know, set as its EPSG definition would: the datum, the unit
// of its definition (US survey feet for NAD27, meters for NAD83) and the projection. The record
// keeps no EPSG code, so unparse writes the parameters, which parse back without the files.
bool GeoOptionParser::set_state_plane_row(const StatePlaneMatch& zone, GeoSide side, bool nad83,
                                          std::string& described) {
  if (!geo.set_gcs(nad83 ? 4269 : 4267)) return false;
  if (nad83) {
    geo.set_coordinates_in_meter(side);
  } else {
    geo.set_coordinates_in_survey_feet(side);
  }
  if (zone.lcc) {
    const StatePlaneLcc& row = *zone.lcc;
    return geo.set_lcc(row.false_easting_meter, row.false_northing_meter, row.lat_origin_degree,
                       row.long_meridian_degree, row.first_std_parallel_degree,
                       row.second_std_parallel_degree, side, nullptr, &described);
  }
  const StatePlaneTm& row = *zone.tm;
  return geo.set_tm(row.false_easting_meter, row.false_northing_meter, row.lat_origin_degree,
                    row.long_meridian_degree, row.scale_factor, side, nullptr, &described);
}

namespace {

struct ConicForm {
  const char* kind;       // in the verbose message
  int count;              // arguments after the option
  const char* arguments;  // their names, for a missing one
};

constexpr ConicForm kConicForms[] = {
    {"LCC ", 7,
     "false_easting false_northing unit lat_origin central_meridian std_parallel_1 std_parallel_2"},
    {"TM ", 6, "false_easting false_northing unit lat_origin central_meridian scale_factor"},
    {"AEAC ", 7, "false_easting false_northing unit lat_center long_center std_parallel_1 std_parallel_2"},
};

void print_conic_examples(Conic conic, const char* option) {
  if (conic == Conic::kTm) {
    print_message("ERROR: wrong options for '%s'. use like shown in these examples:\n", option);
    print_message("  %s 500000 0 meter 0 -93 0.99996\n", option);
    print_message("  %s 1500000 0 feet 47 -120.833333 0.99996\n", option);
    print_message("  %s 1640416.666667 0 survey_feet 47 -120.833333 0.99996\n", option);
    return;
  }
  print_message("ERROR: wrong options for '%s'. use like shown in these examples:\n",
                conic == Conic::kLcc ? "-lcc" : "-aeac");
  print_message("  %s 609601.22 0 meter 33.75 -79 34.33333 36.16666\n", option);
  print_message("  %s 1640416.666667 0 survey_feet 47.000000 -120.833333 47.5 48.733333\n", option);
  print_message("  %s 1500000 0 feet 47.000000 -120.833333 47.5 48.733333\n", option);
}

}  // namespace

Outcome GeoOptionParser::parse_conic(Conic conic, GeoSide side) {
  const ConicForm& form = kConicForms[static_cast<int>(conic)];
  if (!has_arguments(form.count, form.arguments)) return Outcome::kFailed;
  // The third argument is the unit of false easting and northing; it also becomes the side's
  // coordinate unit.
  const char* unit_word = argument(3);
  geo_units::LengthUnit unit = geo_units::LengthUnit::meter;
  if (is(unit_word, "survey_feet") || is(unit_word, "surveyfeet")) {
    unit = geo_units::LengthUnit::survey_foot;
  } else if (is(unit_word, "feet") || is(unit_word, "ft")) {
    unit = geo_units::LengthUnit::foot;
  } else if (!is(unit_word, "meter") && !is(unit_word, "m")) {
    print_conic_examples(conic, option());
    return Outcome::kFailed;
  }
  double value[7] = {};
  for (int k = 1; k <= form.count; k++) {
    if (k == 3) continue;
    // A transverse Mercator scale (its sixth argument) shrinks or stretches: it must be positive.
    const bool scale = conic == Conic::kTm && k == 6;
    if (!args.number(k, value[k - 1], scale ? NumberRange::positive() : NumberRange::any())) {
      return Outcome::kFailed;
    }
  }
  geo.set_coordinate_unit(unit, side);
  const double to_meter = geo_units::to_meter_factor(unit);
  const double easting = value[0] * to_meter;
  const double northing = value[1] * to_meter;
  std::string described;
  bool set = false;
  if (conic == Conic::kLcc) {
    set = geo.set_lcc(easting, northing, value[3], value[4], value[5], value[6], side, nullptr, &described);
  } else if (conic == Conic::kTm) {
    set = geo.set_tm(easting, northing, value[3], value[4], value[5], side, nullptr, &described);
  } else {
    set = geo.set_aeac(easting, northing, value[3], value[4], value[5], value[6], side, nullptr, &described);
  }
  if (!set) {
    print_message("ERROR: cannot set the %s of '%s'.\n", side_name(side), option());
    return Outcome::kFailed;
  }
  target_chosen(side);
  report_projection(side, form.kind, described);
  return consume(form.count);
}

Outcome GeoOptionParser::parse_precision(double& precision) {
  if (!has_arguments(1, "precision")) return Outcome::kFailed;
  if (!args.number(1, precision, NumberRange::non_negative())) return Outcome::kFailed;
  return consume(1);
}

Outcome GeoOptionParser::parse_units() {
  const char* word = option();
  const GeoSide side = std::strncmp(word, "-target_", 8) != 0 ? GeoSide::source : GeoSide::target;
  const std::string name = side == GeoSide::source ? std::string(word) : "-" + std::string(word + 8);
  if (name == "-surveyfeet" || name == "-survey_feet") {
    geo.set_coordinates_in_survey_feet(side);
  } else if (name == "-feet") {
    geo.set_coordinates_in_feet(side);
  } else if (name == "-meter") {
    geo.set_coordinates_in_meter(side);
  } else if (name == "-elevation_surveyfeet" || name == "-elevation_survey_feet") {
    geo.set_elevation_in_survey_feet(side);
  } else if (name == "-elevation_feet") {
    geo.set_elevation_in_feet(side);
  } else if (name == "-elevation_meter") {
    geo.set_elevation_in_meter(side);
  } else if (is(word, "-target_precision")) {
    return parse_precision(geo.target_precision);
  } else if (is(word, "-target_elevation_precision")) {
    return parse_precision(geo.target_elevation_precision);
  } else {
    return Outcome::kNotMine;
  }
  return consume(0);
}

bool GeoProjectionConverter::parse(int argc, char* argv[]) {
  verbose = false;
  // A path given through set_program_path (a test, a relocated parameter folder) is kept.
  if (argc > 0 && argv[0] && program_path.empty()) set_program_path(argv[0]);
  GeoOptionParser parser{*this, ArgumentCursor(argc, argv)};
  return parser.run();
}

void GeoProjectionConverter::set_program_path(const char* argv0) {
  program_path = argv0 ? argv0 : "";
}

// ---- writing the state back ----

namespace {

void append(std::string& options, const char* format, auto... values) {
  if constexpr (sizeof...(values) == 0) {
    options += format;  // an option without values is its own text
  } else {
    char item[512];
    std::snprintf(item, sizeof(item), format, values...);
    options += item;
  }
  options += ' ';
}

// The parameters of a projection as the option after `prefix` ("-" or "-target_") reads them;
// UTM and the types without an option are left to the caller.
void append_projection(std::string& options, const GeoProjectionParameters& p, const char* prefix) {
  if (const GeoProjectionForm* form = geo_projection_form(p.type)) {
    if (!form->option) return;
    options += prefix;
    options += form->option;
    for (size_t i = 0; i < form->parameters.size(); i++) {
      char number[512];  // room for any double in %lf
      std::snprintf(number, sizeof(number), " %lf", geo_parameter(p, form->parameters[i]));
      options += number;
      if (i == 1) options += " m";  // false easting and northing are stored in meters
    }
    options += ' ';
    return;
  }
  switch (p.type) {
    case GEO_PROJECTION_LONG_LAT:
      append(options, "%slonglat", prefix);
      break;
    case GEO_PROJECTION_LAT_LONG:
      append(options, "%slatlong", prefix);
      break;
    case GEO_PROJECTION_ECEF:
      append(options, "%secef", prefix);
      break;
    default:
      break;
  }
}

const char* unit_option(geo_units::LengthUnit unit, const char* meter, const char* feet,
                        const char* survey_feet) {
  if (unit == geo_units::LengthUnit::meter) return meter;
  return unit == geo_units::LengthUnit::foot ? feet : survey_feet;
}

}  // namespace

int GeoProjectionConverter::unparse(std::string& options) const {
  options.clear();
  if (const GeoProjectionParameters* source = get_projection(GeoSide::source)) {
    if (source->geokey > 0) {
      append(options, "-epsg %u", static_cast<unsigned>(source->geokey));
    } else {
      const NamedCode* datum = find_code(kDatumOptions, gcs_code);
      if (ellipsoid_only && ellipsoid.id == 11) {
        append(options, "-grs80");
      } else if (ellipsoid_only || !datum) {
        append(options, "-ellipsoid %d", ellipsoid.id);
      } else {
        append(options, "%s", datum->option);
      }
      if (source->type == GEO_PROJECTION_UTM) {
        append(options, "-utm %d%c", source->utm_zone_number, source->utm_northern_hemisphere ? 'n' : 's');
      } else {
        append_projection(options, *source, "-");
      }
    }
  }
  // Meters stated on the command line are written too: they override a file's feet.
  if (source_coordinate_unit_set) {
    append(options, "%s",
           unit_option(get_coordinate_unit(GeoSide::source), "-meter", "-feet", "-surveyfeet"));
  }
  if (source_elevation_unit_set) {
    append(options, "%s",
           unit_option(get_elevation_unit(GeoSide::source), "-elevation_meter", "-elevation_feet",
                       "-elevation_surveyfeet"));
  }
  if (vertical_geokey == kGeoVerticalNavd88) {
    const NamedCode* geoid = find_code(kNavd88Geoids, vertical_geoid);
    append(options, "-vertical_navd88%s", geoid ? geoid->option : "");
  } else if (const GeoVerticalDatum* datum = geo_vertical_datum(vertical_geokey)) {
    append(options, "%s", datum->option);
  } else if (vertical_geokey != 0) {
    append(options, "-vertical_epsg %d", vertical_geokey);
  }
  GeoOptionParser::unparse_target(*this, options);
  return static_cast<int>(options.size());
}

void GeoOptionParser::unparse_target(const GeoProjectionConverter& geo, std::string& options) {
  if (const GeoProjectionParameters* target = geo.get_projection(GeoSide::target)) {
    if (target->geokey > 0) {
      append(options, "-target_epsg %u", static_cast<unsigned>(target->geokey));
    } else if (target->type == GEO_PROJECTION_UTM) {
      // Band N lies just north of the equator and band K just south of it.
      append(options, "-target_utm %d%c", target->utm_zone_number,
             target->utm_northern_hemisphere ? 'N' : 'K');
    } else {
      append_projection(options, *target, "-target_");
    }
  } else if (geo.target_utm_auto) {
    append(options, "-target_utm auto");
  }
  if (geo.target_coordinate_unit_set) {
    append(options, "%s",
           unit_option(geo.get_coordinate_unit(GeoSide::target), "-target_meter", "-target_feet",
                       "-target_surveyfeet"));
  }
  if (geo.target_elevation_unit_set) {
    append(options, "%s",
           unit_option(geo.get_elevation_unit(GeoSide::target), "-target_elevation_meter",
                       "-target_elevation_feet", "-target_elevation_surveyfeet"));
  }
  if (geo.target_precision != 0.0) append(options, "-target_precision %lf", geo.target_precision);
  if (geo.target_elevation_precision != 0.0) {
    append(options, "-target_elevation_precision %lf", geo.target_elevation_precision);
  }
}
