// Where on the earth the input coordinates lie, and their conversion to longitude/latitude.
//
// The converter holds one ellipsoid, a geographic coordinate system (datum), the projection of the
// input points (source) and a target projection, the coordinate and elevation units of both sides
// and a vertical datum. It converts in one direction only: from the source projection to
// geographic longitude/latitude on its own ellipsoid, never applying a datum shift. The target side
// is parsed, reported and written back as option text, nothing more.
//
// The implementation is split by concern:
//   geo_ellipsoids.cpp, geo_projections.cpp  ellipsoids, projection records, units, to_lon_lat
//   geo_options.cpp, geo_state_planes.cpp    command-line options (parse/unparse), named zones
//   geo_keys.cpp, geo_epsg.cpp               GeoTIFF keys, EPSG codes and the parameter files
//   geo_ogc_wkt.cpp                          OGC WKT reading and writing
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geo/geo_units.h"

// The environment variable that names a folder holding the EPSG parameter files; it is searched
// before every other place.
inline constexpr const char* kGeoTablesVariable = "CONTOURMILL_TABLES";

// One parameter file and where it was looked for: `path` is the first place that has it, else the
// first place searched, so that opening it fails; `searched` lists the folders in search order.
struct GeoTableFile {
  const char* name = "";
  std::string path;
  std::vector<std::string> searched;
};

// One entry of an ellipsoid table, with the constants every projection derives from it.
struct GeoEllipsoid {
  int id = -1;
  const char* name = "Placeholder";
  double equatorial_radius = 0.0;           // a, meters
  double polar_radius = 0.0;                // b = a * sqrt(1 - e^2)
  double eccentricity_squared = 0.0;        // e^2, as tabled (not derived from the flattening)
  double inverse_flattening = 0.0;          // 1/f
  double eccentricity_prime_squared = 0.0;  // e'^2 = e^2 / (1 - e^2)
  double eccentricity = 0.0;                // e
  double eccentricity_e1 = 0.0;             // (1 - sqrt(1 - e^2)) / (1 + sqrt(1 - e^2))
};

// The projection types, numbered as they are stored and reported.
enum GeoProjectionType : int {
  GEO_PROJECTION_UTM = 0,
  GEO_PROJECTION_LCC = 1,
  GEO_PROJECTION_TM = 2,
  GEO_PROJECTION_LONG_LAT = 3,
  GEO_PROJECTION_LAT_LONG = 4,
  GEO_PROJECTION_ECEF = 5,
  GEO_PROJECTION_AEAC = 6,
  GEO_PROJECTION_HOM = 7,
  GEO_PROJECTION_OS = 8,
  GEO_PROJECTION_NONE = 9,
  GEO_PROJECTION_LCC_1SP = 10,          // Lambert Conformal Conic with one parallel and a scale
  GEO_PROJECTION_MERCATOR_A = 11,       // EPSG method 9804: scale at the equator
  GEO_PROJECTION_MERCATOR_B = 12,       // EPSG method 9805: true scale on a standard parallel
  GEO_PROJECTION_PSEUDO_MERCATOR = 13,  // EPSG method 1024: ellipsoidal coordinates on a sphere of radius a
  GEO_PROJECTION_LAEA = 14,             // Lambert Azimuthal Equal Area, EPSG method 9820
  GEO_PROJECTION_POLAR_STEREO_A = 15,   // EPSG method 9810: origin at a pole, scale there
  GEO_PROJECTION_POLAR_STEREO_B = 16,   // EPSG method 9829: true scale on a standard parallel
};

// A source or target projection. Every type uses the common head and the parameters listed for
// it; the rest stay 0. Angles are degrees (the *_radian copies are filled where the formulas need
// them); false easting and northing are meters.
struct GeoProjectionParameters {
  GeoProjectionType type = GEO_PROJECTION_NONE;
  int16_t geokey = 0;       // EPSG code of the projected CRS, 0 until known
  int16_t gcs = 0;          // EPSG code of its geographic CRS
  std::string description;  // at most 255 characters

  // UTM
  int utm_zone_number = 0;
  char utm_zone_letter = 0;
  bool utm_northern_hemisphere = true;
  int utm_long_origin = 0;  // central meridian, zone * 6 - 183

  // every family with parameters
  double false_easting_meter = 0.0;
  double false_northing_meter = 0.0;
  // Latitude of origin and central meridian (LCC, TM, OS, LAEA, Mercator, polar stereographic A),
  // or latitude and longitude of the centre (AEAC, HOM).
  double lat_origin_degree = 0.0;
  double long_meridian_degree = 0.0;
  double lat_origin_radian = 0.0;
  double long_meridian_radian = 0.0;
  // LCC, AEAC; the first alone: Mercator B and polar stereographic B (where scale is true)
  double first_std_parallel_degree = 0.0;
  double second_std_parallel_degree = 0.0;
  double first_std_parallel_radian = 0.0;
  double second_std_parallel_radian = 0.0;
  // TM, HOM, OS, LCC 1SP, Mercator A, polar stereographic A
  double scale_factor = 0.0;
  // HOM
  double azimuth_degree = 0.0;
  double rectified_grid_angle_degree = 0.0;
  double azimuth_radian = 0.0;
  double rectified_grid_angle_radian = 0.0;
  // HOM: false easting and northing are the grid coordinates of the projection centre (EPSG
  // method 9815, variant B) rather than of the natural origin (9812, variant A).
  bool hom_variant_b = false;

  // Constants derived from the parameters and the ellipsoid, recomputed whenever either changes.
  // Their meaning depends on the type (LCC: n, aF, rho0; TM: the meridian-arc coefficients A'..E';
  // AEAC, HOM, OS: the constants of their inverse formulas).
  double derived[12] = {};
};

// The two sides of the converter: the projection and units of the input points (source), and the
// target that is only parsed, reported and written back.
enum class GeoSide { source, target };

constexpr GeoSide other_side(GeoSide side) {
  return side == GeoSide::source ? GeoSide::target : GeoSide::source;
}

// The ellipsoid of table id 1 to 24 with its derived constants; false for other ids.
bool geo_ellipsoid_of_id(int id, GeoEllipsoid& ellipsoid);

struct GeoDatumShift;
enum class GeoShiftLookup;

// One GeoTIFF key entry as stored in a GeoKeyDirectoryTag record.
struct GeoKeyEntry {
  uint16_t key_id = 0;
  uint16_t tiff_tag_location = 0;
  uint16_t count = 0;
  uint16_t value_offset = 0;
};

class GeoProjectionConverter {
 public:
  GeoProjectionConverter();
  ~GeoProjectionConverter();
  // A copy is an independent converter with the same projections, datum and units: the driver
  // georeferences each input on a copy of what the command line set.
  GeoProjectionConverter(const GeoProjectionConverter&) = default;
  GeoProjectionConverter& operator=(const GeoProjectionConverter&) = delete;

  // Output arguments named `described` receive the text the setter produced; nullptr for none.
  // Arguments named `description` replace a projection's default description (cut to 255
  // characters); nullptr keeps the default. `side` says which projection or unit a call sets or reads.

  // ---- ellipsoids, projections, units, conversion ----
  bool set_ellipsoid(int id, std::string* described = nullptr);
  const GeoEllipsoid& get_ellipsoid() const { return ellipsoid; }

  bool set_utm(int zone, char zone_letter, bool northern, GeoSide side = GeoSide::source,
               const char* description = nullptr, std::string* described = nullptr);
  bool set_lcc(double false_easting_meter, double false_northing_meter, double lat_origin,
               double long_meridian, double first_std_parallel, double second_std_parallel,
               GeoSide side = GeoSide::source, const char* description = nullptr,
               std::string* described = nullptr);
  bool set_tm(double false_easting_meter, double false_northing_meter, double lat_origin,
              double long_meridian, double scale_factor, GeoSide side = GeoSide::source,
              const char* description = nullptr, std::string* described = nullptr);
  bool set_aeac(double false_easting_meter, double false_northing_meter, double lat_center,
                double long_center, double first_std_parallel, double second_std_parallel,
                GeoSide side = GeoSide::source, const char* description = nullptr,
                std::string* described = nullptr);
  bool set_hom(double false_easting_meter, double false_northing_meter, double lat_center, double long_center,
               double azimuth, double rectified_grid_angle, double scale_factor,
               GeoSide side = GeoSide::source, const char* description = nullptr,
               std::string* described = nullptr);
  bool set_os(double false_easting_meter, double false_northing_meter, double lat_origin,
              double long_meridian, double scale_factor, GeoSide side = GeoSide::source,
              const char* description = nullptr, std::string* described = nullptr);
  // A family with parameters from its values in setter order: the order of its setter above, and
  // for the families without one false easting, false northing, then LCC 1SP: latitude of origin,
  // central meridian, scale; Mercator A: central meridian, scale; Mercator B: standard parallel,
  // central meridian; Pseudo-Mercator: central meridian; LAEA: latitude and longitude of origin;
  // polar stereographic A: latitude of origin (a pole), central meridian, scale; B: standard
  // parallel, central meridian. Fails for other types, another number of values, or values that
  // describe no projection (angles out of range, a degenerate cone, a scale that is not positive).
  bool set_projection(GeoProjectionType type, std::span<const double> values, GeoSide side = GeoSide::source,
                      const char* description = nullptr, std::string* described = nullptr);
  bool set_longlat(GeoSide side = GeoSide::source, const char* description = nullptr,
                   std::string* described = nullptr);
  bool set_latlong(GeoSide side = GeoSide::source, const char* description = nullptr,
                   std::string* described = nullptr);
  bool set_ecef(GeoSide side = GeoSide::source, const char* description = nullptr,
                std::string* described = nullptr);
  bool set_no_projection(GeoSide side = GeoSide::source, const char* description = nullptr,
                         std::string* described = nullptr);

  bool has_projection(GeoSide side = GeoSide::source) const;
  void reset_projection(GeoSide side = GeoSide::source);
  // The projection record of a side, nullptr when none is set.
  const GeoProjectionParameters* get_projection(GeoSide side = GeoSide::source) const;

  // Units of a side. The setters mark the unit as set explicitly.
  void set_coordinate_unit(geo_units::LengthUnit unit, GeoSide side = GeoSide::source);
  void set_elevation_unit(geo_units::LengthUnit unit, GeoSide side = GeoSide::source);
  void set_coordinates_in_meter(GeoSide side = GeoSide::source) {
    set_coordinate_unit(geo_units::LengthUnit::meter, side);
  }
  void set_coordinates_in_feet(GeoSide side = GeoSide::source) {
    set_coordinate_unit(geo_units::LengthUnit::foot, side);
  }
  void set_coordinates_in_survey_feet(GeoSide side = GeoSide::source) {
    set_coordinate_unit(geo_units::LengthUnit::survey_foot, side);
  }
  void set_elevation_in_meter(GeoSide side = GeoSide::source) {
    set_elevation_unit(geo_units::LengthUnit::meter, side);
  }
  void set_elevation_in_feet(GeoSide side = GeoSide::source) {
    set_elevation_unit(geo_units::LengthUnit::foot, side);
  }
  void set_elevation_in_survey_feet(GeoSide side = GeoSide::source) {
    set_elevation_unit(geo_units::LengthUnit::survey_foot, side);
  }
  // Whether the coordinate (elevation) unit of a side was set explicitly.
  bool has_coordinate_unit(GeoSide side = GeoSide::source) const;
  bool has_elevation_unit(GeoSide side = GeoSide::source) const;
  geo_units::LengthUnit get_coordinate_unit(GeoSide side = GeoSide::source) const;
  geo_units::LengthUnit get_elevation_unit(GeoSide side = GeoSide::source) const;
  // 9001 meter, 9002 feet, 9003 otherwise; 9000 when the side is longitude/latitude or
  // latitude/longitude.
  int get_unit_epsg(GeoSide side = GeoSide::source) const;
  double get_coordinate_factor(GeoSide side = GeoSide::source) const;  // source: to meter; target: from meter
  double get_elevation_factor(GeoSide side = GeoSide::source) const;

  // Converts (x, y, z) in place from the source projection to longitude, latitude (degrees) and
  // elevation. Fails only without a source projection; a point whose inverse gives up keeps its
  // input values and still counts as converted.
  bool to_lon_lat(double point[3]) const;
  // As to_lon_lat, but fails also when the projection's inverse gives up on the point (which then
  // keeps its input values), so a caller can tell a converted point from an unconverted one.
  bool to_lon_lat_checked(double point[3]) const;

  // The transformation that takes positions of the current datum near lon, lat (degrees) to
  // WGS 84, from the parameter file towgs84.csv. A datum that is only an ellipsoid (-ellipsoid,
  // -grs80) is unknown.
  GeoShiftLookup find_wgs84_shift(double lon, double lat, GeoDatumShift& shift) const;
  // The datum's name for messages; an ellipsoid chosen alone is named as such.
  std::string get_datum_description() const;

  // ---- command-line options ----
  // Consumes the options it knows by emptying their words; unknown words stay for later parsers.
  // Prints one "ERROR: ..." (or the documented list) and fails on a bad option.
  bool parse(int argc, char* argv[]);
  // Writes the state back as option text, each item followed by a blank; answers its length.
  int unparse(std::string& options) const;
  void print_state_planes(bool nad83) const;
  bool is_verbose() const { return verbose; }
  // The program file whose folder holds serf/geo/{pcs,gcs,vertcs}.csv (parse takes it from argv[0]).
  void set_program_path(const char* argv0);
  // The folders searched for the parameter files, in order: the one named by kGeoTablesVariable
  // (when set), serf/geo beside the program as started, serf/geo beside the real executable (a
  // link on PATH leads there), ../share/contourmill beside it (an installed program), and the
  // folder the build was configured to install the files to.
  std::vector<std::string> table_folders() const;

  // ---- GeoTIFF keys and EPSG codes ----
  bool set_projection_from_geo_keys(std::span<const GeoKeyEntry> keys, std::string_view ascii_params,
                                    std::span<const double> double_params, std::string* described = nullptr,
                                    GeoSide side = GeoSide::source);
  bool set_gcs(int code, std::string* described = nullptr);
  bool set_epsg_code(int code, std::string* described = nullptr, GeoSide side = GeoSide::source);
  bool set_ProjectedCSTypeGeoKey(int code, std::string* described = nullptr, GeoSide side = GeoSide::source);
  bool set_ProjLinearUnitsGeoKey(int code, GeoSide side = GeoSide::source);
  bool set_VerticalCSTypeGeoKey(int code, std::string* described = nullptr);
  bool set_VerticalUnitsGeoKey(int code);
  int get_gcs_code() const { return gcs_code; }
  int get_vertical_code() const { return vertical_geokey; }

  // ---- OGC WKT ----
  // Reads a LAS header's coordinate-system text; always sets the source side. The geographic CRS
  // comes along when the projection's GEOGCS names one the converter can set, by its own EPSG
  // authority or its datum's.
  bool set_projection_from_ogc_wkt(std::string_view wkt);
  // The WKT of a side's projection (what a .prj file holds); fails without a projection.
  bool get_ogc_wkt(std::string& wkt, GeoSide side = GeoSide::source) const;

 private:
  // The command-line parser (geo_options.cpp) sets the datum, vertical and target fields directly.
  friend struct GeoOptionParser;

  std::unique_ptr<GeoProjectionParameters>& slot(GeoSide side) {
    return side == GeoSide::source ? source_projection : target_projection;
  }
  enum class Conversion { converted, gave_up, no_projection };
  Conversion convert(double point[3]) const;
  // Recomputes the derived constants of a record from its parameters and the current ellipsoid.
  void compute_derived(GeoProjectionParameters& projection) const;
  // The parameter file <name> in the first of table_folders() that has it.
  GeoTableFile parameter_file(const char* name) const;
  std::string parameter_file_path(const char* name) const { return parameter_file(name).path; }

  GeoEllipsoid ellipsoid;
  // Owns a projection record and copies it along with the converter.
  struct ProjectionSlot : std::unique_ptr<GeoProjectionParameters> {
    ProjectionSlot() = default;
    ProjectionSlot(const ProjectionSlot& other)
        : std::unique_ptr<GeoProjectionParameters>(other ? std::make_unique<GeoProjectionParameters>(*other)
                                                         : nullptr) {}
    ProjectionSlot& operator=(const ProjectionSlot&) = delete;
  };
  ProjectionSlot source_projection;
  ProjectionSlot target_projection;

  // Geographic coordinate system and datum (4326 / WGS 84 after construction).
  int gcs_code = 4326;
  std::string gcs_name = "WGS 84";
  int datum_code = 6326;
  std::string datum_name = "World_Geodetic_System_1984";
  int ellipsoid_epsg_code = 7030;
  bool ellipsoid_only = false;  // -grs80: an ellipsoid chosen without a datum

  // Vertical datum: 0 none. The geoid code is stored for -vertical_navd88_geoid* and written back.
  int vertical_geokey = 0;
  int vertical_geoid = 0;

  // Units: source factors convert coordinates to meters, target factors convert meters to
  // coordinates. Each side's unit remembers whether it was set explicitly.
  double coordinates2meter = 1.0;
  double meter2coordinates = 1.0;
  double elevation2meter = 1.0;
  double meter2elevation = 1.0;
  bool source_coordinate_unit_set = false;
  bool target_coordinate_unit_set = false;
  bool source_elevation_unit_set = false;
  bool target_elevation_unit_set = false;
  double target_precision = 0.0;
  double target_elevation_precision = 0.0;
  bool target_utm_auto = false;  // "-target_utm auto"

  // Options
  bool verbose = false;
  std::string program_path;
};
