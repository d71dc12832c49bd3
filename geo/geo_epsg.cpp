// EPSG codes: the ones known by heart and the parameter files pcs.csv, gcs.csv and vertcs.csv.
#include "geo/geo_epsg.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "common/messages.h"
#include "geo/geo_units.h"
#include "geo/geo_vertical_datums.h"
#include "geo/geoprojectionconverter.h"

namespace {

constexpr int kHotineVariantB = 9815;

// ---- reading the parameter files ----

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr int kLineLength = 2048;

// A user whose installation lost its tables must see where they were expected, so that the files
// can be put there or the variable pointed at them.
void report_missing_file(const GeoTableFile& file) {
  print_message("ERROR: cannot open '%s' file. maybe your Quorvane distribution\n", file.name);
  print_message("       has no %s in any of these folders:\n", file.name);
  if (!std::getenv(kGeoTablesVariable)) print_message("         (%s is not set)\n", kGeoTablesVariable);
  for (const std::string& folder : file.searched) print_message("         %s\n", folder.c_str());
  print_message("       set %s to the folder that holds it, or download the\n", kGeoTablesVariable);
  print_message("       latest Quorvane distribution or contact Quorvane support for assistance\n");
}

// Reads one line of at most kLineLength characters. The rest of a longer line is dropped so that
// it can never pass for a line of its own.
bool read_line(std::FILE* file, std::string& line) {
  char buffer[kLineLength];
  if (!std::fgets(buffer, sizeof(buffer), file)) return false;
  line = buffer;
  if (!line.empty() && line.back() != '\n') {
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n') {
    }
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return true;
}

// The decimal code a line starts with, when a comma follows it.
bool line_code(const std::string& line, int& code) {
  const char* begin = line.c_str();
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(begin, &end, 10);
  if (end == begin || *end != ',' || errno == ERANGE) return false;
  code = static_cast<int>(value);
  return value == code;
}

bool parse_int(const std::string& field, int& value) {
  const char* begin = field.c_str();
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(begin, &end, 10);
  if (end == begin || *end != '\0' || errno == ERANGE || parsed != static_cast<int>(parsed)) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool parse_double(const std::string& field, double& value) {
  const char* begin = field.c_str();
  char* end = nullptr;
  value = std::strtod(begin, &end);
  return end != begin && *end == '\0' && std::isfinite(value);
}

// ---- geographic coordinate systems known by heart ----

struct GcsEntry {
  int code;
  const char* name;
  int ellipsoid_id;
  int datum_code;           // 0: keep the current datum
  const char* datum_name;   // nullptr: keep the current datum
  int ellipsoid_epsg_code;  // 0: keep the current code
};

constexpr GcsEntry kGcs[] = {
    {4149, "CH1903", 3, 6149, "CH1903", 7004},
    {4152, "NAD83(HARN)", 11, 6152, "NAD83_High_Accuracy_Regional_Network", 7019},
    {4167, "NZGD2000", 11, 6167, "New_Zealand_Geodetic_Datum_2000", 7019},
    {4237, "HD72", 10, 6237, "Hungarian_Datum_1972", 7036},
    {4258, "ETRS89", 11, 6258, "European_Terrestrial_Reference_System_1989", 7019},
    {4267, "NAD27", 5, 6267, "North_American_Datum_1927", 7008},
    {4269, "NAD83", 11, 6269, "North_American_Datum_1983", 7019},
    {4277, "OSGB1936", 1, 6277, "OSGB1936", 7001},
    {4283, "GDA94", 11, 6283, "Geocentric_Datum_of_Australia_1994", 7019},
    {4291, "SAD69", 10, 6291, "South_American_Datum_1969", 7036},
    {4322, "WGS 72", 22, 6322, "World_Geodetic_System_1972", 7043},
    {4324, "WGS 72BE", 22, 6324, "WGS_1972_Transit_Broadcast_Ephemeris", 7043},
    {4326, "WGS 84", 23, 6326, "World_Geodetic_System_1984", 7030},
    {4617, "NAD83(CSRS)", 11, 6140, "NAD83_Canadian_Spatial_Reference_System", 7019},
    {4759, "NAD83(NSRS2007)", 11, 6759, "NAD83_National_Spatial_Reference_System_2007", 7019},
    // Their datums are their own: keeping the one set before (WGS 84 at the start) would take
    // them for WGS 84 when KML is shifted to it.
    {6318, "NAD83(2011)", 11, 1116, "NAD83_National_Spatial_Reference_System_2011", 7019},
    {6322, "NAD83(PA11)", 11, 1117, "NAD83_National_Spatial_Reference_System_PA11", 7019},
    {7844, "GDA2020", 11, 9844, "Geocentric_Datum_of_Australia_2020", 7019},
};

// ---- UTM zones known by heart ----

struct UtmRange {
  int first, last, zone_offset;
  bool northern;
  int gcs;
  const char* grid;  // "UTM" or "MGA"
};

constexpr UtmRange kUtmRanges[] = {
    {32601, 32660, 32600, true, 4326, "UTM"}, {32701, 32760, 32700, false, 4326, "UTM"},
    {25828, 25838, 25800, true, 4258, "UTM"}, {26903, 26923, 26900, true, 4269, "UTM"},
    {3154, 3157, 3147, true, 4617, "UTM"},    {3158, 3160, 3144, true, 4617, "UTM"},
    {7846, 7859, 7800, false, 7844, "MGA"},   {28348, 28358, 28300, false, 4283, "MGA"},
    {29118, 29122, 29100, true, 4291, "UTM"}, {29177, 29185, 29160, false, 4291, "UTM"},
    {32201, 32260, 32200, true, 4322, "UTM"}, {32301, 32360, 32300, false, 4322, "UTM"},
    {32401, 32460, 32400, true, 4324, "UTM"}, {32501, 32560, 32500, false, 4324, "UTM"},
    {26703, 26723, 26700, true, 4267, "UTM"},
};

void put(std::string* described, const std::string& text) {
  if (described) *described = text;
}

bool is_angle_unit(int unit) {
  return unit == 9102 || unit == 9105 || unit == 9110;
}
bool is_length_unit(int unit) {
  return unit == 9001 || unit == 9002 || unit == 9003;
}

// The values of the parameter groups "value,unit,next code" that follow the five integers of a
// pcs.csv line, angles in degrees and lengths in meters. A unit the converter cannot convert fails
// the look-up rather than turning the parameter into 0.
struct PcsParameters {
  double value[7] = {};
};

bool scan_pcs_parameters(const std::vector<std::string>& fields, int count, const char* kinds,
                         PcsParameters& out) {
  constexpr size_t kFirstValue = 7;
  if (fields.size() < kFirstValue + 3 * static_cast<size_t>(count) - 1) return false;
  for (int i = 0; i < count; i++) {
    double value = 0.0;
    int unit = 0;
    if (!parse_double(fields[kFirstValue + 3 * i], value) ||
        !parse_int(fields[kFirstValue + 3 * i + 1], unit)) {
      return false;
    }
    switch (kinds[i]) {
      case 'a':
        if (!is_angle_unit(unit)) {
          geo_angle_from_unit(value, unit);  // reports the unit
          return false;
        }
        out.value[i] = geo_angle_from_unit(value, unit);
        break;
      case 'l':
        if (!is_length_unit(unit)) {
          geo_length_from_unit(value, unit);
          return false;
        }
        out.value[i] = geo_length_from_unit(value, unit);
        break;
      default:  // a scale factor, unitless
        out.value[i] = value;
        break;
    }
  }
  return true;
}

// Sets a family from the values scanned off its pcs.csv line, in setter order.
bool set_scanned(GeoProjectionConverter& converter, GeoProjectionType type,
                 std::initializer_list<double> values, int code, GeoSide side, const char* name) {
  if (converter.set_projection(type, std::span(values.begin(), values.size()), side, name)) return true;
  print_message("parameters of EPSG code %d describe no projection.\n", code);
  return false;
}

// Builds the projection of a pcs.csv line by its method code. Answers false after its message.
bool set_pcs_projection(GeoProjectionConverter& converter, int method, int code,
                        const std::vector<std::string>& fields, const std::string& line, GeoSide side) {
  PcsParameters p;
  const char* name = fields[1].c_str();
  const double* v = p.value;
  switch (method) {
    case 9807:
      if (!scan_pcs_parameters(fields, 5, "aasll", p)) {
        print_message("failed to scan TM parameters from '%s'\n", line.c_str());
        return false;
      }
      return converter.set_tm(v[3], v[4], v[0], v[1], v[2], side, name);
    case 9802:
      if (!scan_pcs_parameters(fields, 6, "aaaall", p)) {
        print_message("failed to scan LCC(2SP) parameters from '%s'\n", line.c_str());
        return false;
      }
      return converter.set_lcc(v[4], v[5], v[0], v[1], v[2], v[3], side, name);
    case 9801:
      if (!scan_pcs_parameters(fields, 5, "aasll", p)) {
        print_message("failed to scan LCC(1SP) parameters from '%s'\n", line.c_str());
        return false;
      }
      return set_scanned(converter, GEO_PROJECTION_LCC_1SP, {v[3], v[4], v[0], v[1], v[2]}, code, side, name);
    case 9804:
      // The latitude of origin of variant A is the equator by definition.
      if (!scan_pcs_parameters(fields, 5, "aasll", p)) {
        print_message("failed to scan Mercator (variant A) parameters from '%s'\n", line.c_str());
        return false;
      }
      return set_scanned(converter, GEO_PROJECTION_MERCATOR_A, {v[3], v[4], v[1], v[2]}, code, side, name);
    case 9805:
      if (!scan_pcs_parameters(fields, 4, "aall", p)) {
        print_message("failed to scan Mercator (variant B) parameters from '%s'\n", line.c_str());
        return false;
      }
      return set_scanned(converter, GEO_PROJECTION_MERCATOR_B, {v[2], v[3], v[0], v[1]}, code, side, name);
    case 1024:
      if (!scan_pcs_parameters(fields, 4, "aall", p)) {
        print_message("failed to scan Pseudo-Mercator parameters from '%s'\n", line.c_str());
        return false;
      }
      return set_scanned(converter, GEO_PROJECTION_PSEUDO_MERCATOR, {v[2], v[3], v[1]}, code, side, name);
    case 9820:
      if (!scan_pcs_parameters(fields, 4, "aall", p)) {
        print_message("failed to scan LAEA parameters from '%s'\n", line.c_str());
        return false;
      }
      return set_scanned(converter, GEO_PROJECTION_LAEA, {v[2], v[3], v[0], v[1]}, code, side, name);
    case 9810:
      if (!scan_pcs_parameters(fields, 5, "aasll", p)) {
        print_message("failed to scan polar stereographic (variant A) parameters from '%s'\n", line.c_str());
        return false;
      }
      return set_scanned(converter, GEO_PROJECTION_POLAR_STEREO_A, {v[3], v[4], v[0], v[1], v[2]}, code, side,
                         name);
    case 9829:
      if (!scan_pcs_parameters(fields, 4, "aall", p)) {
        print_message("failed to scan polar stereographic (variant B) parameters from '%s'\n", line.c_str());
        return false;
      }
      return set_scanned(converter, GEO_PROJECTION_POLAR_STEREO_B, {v[2], v[3], v[0], v[1]}, code, side,
                         name);
    case 9822:
      if (!scan_pcs_parameters(fields, 6, "aaaall", p)) {
        print_message("failed to scan AEAC parameters from '%s'\n", line.c_str());
        return false;
      }
      return converter.set_aeac(v[4], v[5], v[0], v[1], v[2], v[3], side, name);
    case 9812:
    case 9815:
      if (!scan_pcs_parameters(fields, 7, "aaaasll", p)) {
        print_message("failed to scan HOM parameters from '%s'\n", line.c_str());
        return false;
      }
      return converter.set_hom(v[5], v[6], v[0], v[1], v[2], v[3], v[4], side, name);
    case 9809:
      if (!scan_pcs_parameters(fields, 5, "aasll", p)) {
        print_message("failed to scan OS parameters from '%s'\n", line.c_str());
        return false;
      }
      return converter.set_os(v[3], v[4], v[0], v[1], v[2], side, name);
    default:
      print_message("transform %d of EPSG code %d not implemented.\n", method, code);
      return false;
  }
}

// A projected CRS from its line in pcs.csv: unit, geographic CRS, then the projection by method,
// which is answered in `method`.
bool set_pcs_code(GeoProjectionConverter& converter, const GeoTableFile& pcs, int code, GeoSide side,
                  int& method) {
  std::string line;
  const GeoLookup found = geo_find_epsg_line(pcs, code, line);
  if (found == GeoLookup::missing_file) return false;
  if (found == GeoLookup::not_found) {
    print_message("EPSG code %d not found in 'pcs.csv' file\n", code);
    return false;
  }
  const std::vector<std::string> fields = geo_split_fields(line);
  int numbers[5] = {};
  bool scanned = fields.size() >= 7;
  for (int i = 0; scanned && i < 5; i++) scanned = parse_int(fields[2 + i], numbers[i]);
  if (!scanned) {
    print_message("failed to scan units, gcs, and transform from '%s'\n", line.c_str());
    return false;
  }
  const int unit = numbers[0];
  const int gcs = numbers[1];
  method = numbers[3];
  if (!converter.set_ProjLinearUnitsGeoKey(unit, side)) {
    print_message("units %d of EPSG code %d not implemented.\n", unit, code);
    return false;
  }
  if (!converter.set_gcs(gcs)) {
    print_message("GCS %d of EPSG code %d not implemented.\n", gcs, code);
    return false;
  }
  return set_pcs_projection(converter, method, code, fields, line, side);
}

}  // namespace

// ---- shared look-ups ----

int geo_ellipsoid_id_from_epsg(int code) {
  switch (code) {
    case 7001:
      return 1;
    case 7002:
      return 16;
    case 7003:
      return 2;
    case 7004:
    case 7005:
      return 3;
    case 7006:
    case 7046:
      return 4;
    case 7008:
    case 7009:
      return 5;
    case 7010:
    case 7011:
    case 7012:
    case 7013:
    case 7014:
    case 7034:
      return 6;
    case 7015:
    case 7016:
    case 7017:
      return 7;
    case 7018:
      return 17;
    case 7019:
      return 11;
    case 7020:
      return 12;
    case 7021:
      return 24;
    case 7022:
    case 7023:
      return 14;
    case 7024:
      return 15;
    case 7030:
      return 23;
    case 7043:
      return 22;
    default:
      return 0;
  }
}

GeoLookup geo_find_epsg_line(const GeoTableFile& table, int code, std::string& line) {
  File file(std::fopen(table.path.c_str(), "r"));
  if (!file) {
    report_missing_file(table);
    return GeoLookup::missing_file;
  }
  while (read_line(file.get(), line)) {
    int line_epsg = 0;
    if (line_code(line, line_epsg) && line_epsg == code) return GeoLookup::found;
  }
  return GeoLookup::not_found;
}

std::vector<std::string> geo_split_fields(std::string_view line) {
  std::vector<std::string> fields;
  size_t i = 0;
  while (true) {
    std::string field;
    if (i < line.size() && line[i] == '"') {
      const size_t close = line.find('"', i + 1);
      const size_t stop = close == std::string_view::npos ? line.size() : close;
      field.assign(line.substr(i + 1, stop - i - 1));
      i = stop == line.size() ? stop : stop + 1;
      // Whatever follows the closing quote up to the comma still belongs to this field.
      const size_t comma = line.find(',', i);
      i = comma == std::string_view::npos ? line.size() : comma;
    } else {
      const size_t comma = line.find(',', i);
      const size_t stop = comma == std::string_view::npos ? line.size() : comma;
      field.assign(line.substr(i, stop - i));
      i = stop;
    }
    fields.push_back(std::move(field));
    if (i >= line.size()) break;
    ++i;  // the comma
  }
  return fields;
}

namespace {

// The datum and ellipsoid codes of a gcs.csv line, read as set_gcs reads them.
bool gcs_line_codes(const std::vector<std::string>& fields, int& datum, int& ellipsoid_code) {
  return fields.size() >= 7 && parse_int(fields[2], datum) && parse_int(fields[6], ellipsoid_code);
}

// A datum has several CRSs in gcs.csv (3D ones, others on a Paris meridian); the converter's is the
// plain 2D one on Greenwich, in degrees.
bool is_greenwich_2d(const std::vector<std::string>& fields) {
  const std::string& cs = fields[5];
  return fields[4] == "8901" && (cs == "6422" || cs == "6424" || cs == "6402");
}

}  // namespace

int geo_settable_gcs(const std::string& gcs_path, int code, bool by_datum) {
  for (const GcsEntry& entry : kGcs) {
    if (by_datum ? entry.datum_name && entry.datum_code == code : entry.code == code) return entry.code;
  }
  File file(std::fopen(gcs_path.c_str(), "r"));
  if (!file) return 0;
  std::string line;
  while (read_line(file.get(), line)) {
    int line_epsg = 0;
    if (!line_code(line, line_epsg) || (!by_datum && line_epsg != code)) continue;
    const std::vector<std::string> fields = geo_split_fields(line);
    int datum = 0;
    int ellipsoid_code = 0;
    const bool usable =
        gcs_line_codes(fields, datum, ellipsoid_code) && geo_ellipsoid_id_from_epsg(ellipsoid_code) != 0;
    // set_gcs reads the first line of a code, so a code's later lines do not count.
    if (!by_datum) return usable ? code : 0;
    if (usable && datum == code && is_greenwich_2d(fields)) return line_epsg;
  }
  return 0;
}

namespace {

// The real executable, wherever the link or the search path that started it is; empty when the
// system cannot tell.
std::string real_executable() {
  std::string executable(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", executable.data(), executable.size());
  if (length <= 0 || static_cast<size_t>(length) >= executable.size()) return {};
  executable.resize(static_cast<size_t>(length));
  return executable;
}

// Folders are searched and reported as absolute names without "." and "..", so that a message
// names them unambiguously and two spellings of one folder are searched once.
std::string plain_folder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
  if (error) return folder;
  std::string plain = absolute.lexically_normal().string();
  while (plain.size() > 1 && plain.back() == '/') plain.pop_back();
  return plain;
}

bool same_folder(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

std::vector<std::string> GeoProjectionConverter::table_folders() const {
  std::vector<std::string> folders;
  const auto add = [&folders](const std::string& given) {
    std::string folder = plain_folder(given);
    for (const std::string& known : folders) {
      if (same_folder(known, folder)) return;
    }
    folders.push_back(std::move(folder));
  };
  if (const char* named = std::getenv(kGeoTablesVariable); named && *named) add(named);
  // argv[0] with a folder is where the program was started from; a bare name was found through
  // the search path and says nothing about where the program lies.
  const size_t cut = program_path.find_last_of("/\\:");
  if (cut != std::string::npos) add(program_path.substr(0, cut) + "/serf/geo");
  const std::string executable = real_executable();
  if (!executable.empty()) {
    const std::string folder = executable.substr(0, executable.find_last_of('/'));
    add(folder + "/serf/geo");
    // An installed program lies in <prefix>/bin and its tables in <prefix>/share/contourmill,
    // wherever the prefix was moved to.
    add(folder + "/../share/contourmill");
  } else if (cut == std::string::npos) {
    add("./serf/geo");
  }
#ifdef CM_INSTALLED_TABLES_DIR
  add(CM_INSTALLED_TABLES_DIR);
#endif
  return folders;
}

GeoTableFile GeoProjectionConverter::parameter_file(const char* name) const {
  GeoTableFile file;
  file.name = name;
  file.searched = table_folders();
  for (const std::string& folder : file.searched) {
    const std::string path = folder + "/" + name;
    if (::access(path.c_str(), R_OK) == 0) {
      file.path = path;
      return file;
    }
  }
  file.path = file.searched.empty() ? name : file.searched.front() + "/" + name;
  return file;
}

// ---- geographic coordinate systems ----

bool GeoProjectionConverter::set_gcs(int code, std::string* described) {
  for (const GcsEntry& entry : kGcs) {
    if (entry.code != code) continue;
    set_ellipsoid(entry.ellipsoid_id);
    gcs_code = entry.code;
    gcs_name = entry.name;
    if (entry.datum_name) {
      datum_code = entry.datum_code;
      datum_name = entry.datum_name;
      ellipsoid_epsg_code = entry.ellipsoid_epsg_code;
    }
    ellipsoid_only = false;
    put(described, gcs_name);
    return true;
  }
  std::string line;
  const GeoLookup found = geo_find_epsg_line(parameter_file("gcs.csv"), code, line);
  if (found == GeoLookup::missing_file) return false;
  if (found == GeoLookup::found) {
    const std::vector<std::string> fields = geo_split_fields(line);
    int datum = 0;
    int ellipsoid_code = 0;
    if (gcs_line_codes(fields, datum, ellipsoid_code)) {
      const int id = geo_ellipsoid_id_from_epsg(ellipsoid_code);
      if (id == 0) {
        print_message("ERROR: ellipsoid with EPSG code %d for '%s' not supported\n", ellipsoid_code,
                      fields[1].c_str());
      } else {
        set_ellipsoid(id);
        gcs_code = code;
        gcs_name = fields[1];
        datum_code = datum;
        datum_name = fields[3];
        ellipsoid_epsg_code = ellipsoid_code;
        ellipsoid_only = false;
        put(described, gcs_name);
        return true;
      }
    }
  }
  put(described, "unknown");
  return false;
}

// ---- projected coordinate systems ----

bool GeoProjectionConverter::set_epsg_code(int code, std::string* described, GeoSide side) {
  const UtmRange* range = nullptr;
  for (const UtmRange& candidate : kUtmRanges) {
    if (code >= candidate.first && code <= candidate.last) range = &candidate;
  }
  bool known = false;
  int method = 0;
  if (range) {
    const int zone = code - range->zone_offset;
    set_gcs(range->gcs);
    char text[256];
    std::snprintf(text, sizeof(text), "%s / %s %d%s", gcs_name.c_str(), range->grid, zone,
                  range->northern ? "N" : "S");
    known = set_utm(zone, 0, range->northern, side, text);
  } else if (code == 4326) {
    set_gcs(4326);
    known = set_longlat(side);
  } else if (code == 4978) {
    known = set_ecef(side);
  } else if (code == 21781) {
    // The Swiss and Hungarian grids are oblique Mercators whose initial line runs east-west; a
    // transverse Mercator with the same origin drifts metres away within 100 km of it.
    set_gcs(4149);
    set_coordinates_in_meter(side);
    known = set_hom(600000, 200000, 46.95240555555556, 7.439583333333333, 90, 90, 1.0, side, "CH1903 / LV03");
    method = kHotineVariantB;
  } else if (code == 23700) {
    set_gcs(4237);
    set_coordinates_in_meter(side);
    known = set_hom(650000, 200000, 47.14439372222222, 19.04857177777778, 90, 90, 0.99993, side,
                    "EOV / HD72 / Hungarian National Grid");
    method = kHotineVariantB;
  } else {
    known = set_pcs_code(*this, parameter_file("pcs.csv"), code, side, method);
  }
  if (!known) return false;
  std::unique_ptr<GeoProjectionParameters>& projection = slot(side);
  if (!projection) {
    print_message("WARNING: %s not set despite geokey %d\n",
                  side == GeoSide::source ? "source_projection" : "target_projection", code);
    return true;
  }
  // Variant B counts its false easting and northing from the projection centre.
  projection->hom_variant_b = projection->type == GEO_PROJECTION_HOM && method == kHotineVariantB;
  projection->geokey = static_cast<int16_t>(code);
  projection->gcs = static_cast<int16_t>(gcs_code);
  put(described, projection->description);
  return true;
}

bool GeoProjectionConverter::set_ProjectedCSTypeGeoKey(int code, std::string* described, GeoSide side) {
  if (code == 32767) {
    put(described, "user-defined");
    return true;
  }
  if (set_epsg_code(code, described, side)) return true;
  print_message("set_ProjectedCSTypeGeoKey: look-up for %d not implemented\n", code);
  return false;
}

bool GeoProjectionConverter::set_ProjLinearUnitsGeoKey(int code, GeoSide side) {
  switch (code) {
    case 9001:
      set_coordinates_in_meter(side);
      return true;
    case 9002:
      set_coordinates_in_feet(side);
      return true;
    case 9003:
      set_coordinates_in_survey_feet(side);
      return true;
    default:
      print_message("set_ProjLinearUnitsGeoKey: look-up for %d not implemented\n", code);
      return false;
  }
}

// ---- vertical datums ----

bool GeoProjectionConverter::set_VerticalCSTypeGeoKey(int code, std::string* described) {
  if (const char* name = geo_vertical_datum_name(code)) {
    vertical_geokey = code;
    put(described, name);
    return true;
  }
  std::string line;
  const GeoLookup found = geo_find_epsg_line(parameter_file("vertcs.csv"), code, line);
  if (found == GeoLookup::missing_file) return false;
  if (found == GeoLookup::not_found) {
    print_message("EPSG code %d not found in 'vertcs.csv' file\n", code);
    print_message("set_VerticalCSTypeGeoKey: look-up for %d not implemented\n", code);
    return false;
  }
  const std::vector<std::string> fields = geo_split_fields(line);
  int unit = 0;
  int second = 0;
  if (fields.size() < 5 || !parse_int(fields[3], unit) || !parse_int(fields[4], second)) {
    print_message("failed to scan units from '%s'\n", line.c_str());
    return false;
  }
  if (!set_VerticalUnitsGeoKey(unit)) {
    print_message("units %d of EPSG code %d not implemented.\n", unit, code);
    return false;
  }
  vertical_geokey = code;
  put(described, fields[1]);
  return true;
}

bool GeoProjectionConverter::set_VerticalUnitsGeoKey(int code) {
  switch (code) {
    case 9001:
      set_elevation_in_meter(GeoSide::source);
      return true;
    case 9002:
      set_elevation_in_feet(GeoSide::source);
      return true;
    case 9003:
      set_elevation_in_survey_feet(GeoSide::source);
      return true;
    default:
      print_message("set_VerticalUnitsGeoKey: look-up for %d not implemented\n", code);
      return false;
  }
}
