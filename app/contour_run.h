// The normal run: every input file in turn is read into the point buffer, triangulated, and its
// contours are traced and written.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "app/driver_options.h"
#include "contour/contour_tracer.h"
#include "geo/geo_datum_shift.h"
#include "geo/geo_units.h"
#include "tin/delaunay.h"

class GeoProjectionConverter;
class LASinputOpener;
class LASheader;
class LASreader;
class LineOutputOpener;
class LINEwriter;

class ContourRun {
 public:
  ContourRun(DriverSettings& settings, GeoProjectionConverter& converter, LASinputOpener& input,
             LineOutputOpener& output)
      : settings_(settings), converter_(converter), input_(input), output_(output) {}

  // Processes every input; answers the process exit code.
  int run();

 private:
  int process_file();
  // Takes the projection and units from the file when the command line gave none.
  void georeference(const LASheader& header);
  // KML needs longitude/latitude: wraps the writer in a reprojector, guessing a geographic
  // projection from the header's bounds when nothing else gave one. False after the message.
  // Sets the source projection KML needs (guessing degrees when the file has none) and the shift to
  // WGS 84; false after the error when the points cannot be placed.
  bool prepare_kml(const LASheader& header, GeoDatumShift& shift);
  void keep_user_units();
  void forget_file_georeference();
  // Reads the kept points into the point buffer and triangulates them; false after a fatal
  // message. `expected` is the most points to store; `count_proven` tells whether the source
  // can really hold that many (a pipe cannot tell).
  bool read_and_triangulate(LASreader& reader, uint32_t expected, bool count_proven);
  bool triangulate_stored_points();
  bool reserve_points(uint64_t points);
  bool clean_tin(uint32_t points, TINinsertion insertion = TINinsertion::kDelayed);
  // Counts the points the reader will deliver, then rewinds it.
  bool extra_pass(std::unique_ptr<LASreader>& reader, uint32_t& kept);
  bool header_holds(const LASheader& h, double x, double y) const;
  void use_first_point_as_origin(double x, double y);
  void choose_elevation_range(const LASheader& h, double z_low, double z_high);
  float squared_threshold(float length) const;
  void shape_terrain();
  void kill_long_edges();
  void print_statistics() const;
  bool write_contours(LINEwriter& writer);
  std::pair<float, float> stored_z_range() const;
  // The current input's name for messages.
  const char* input_name() const;
  double step_seconds();
  double file_seconds() const;

  DriverSettings& settings_;
  GeoProjectionConverter& converter_;
  LASinputOpener& input_;
  LineOutputOpener& output_;

  std::vector<float> point_buffer_;  // x, y relative to the header minimum, z absolute
  uint32_t stored_points_ = 0;
  // Coordinates are stored relative to this origin: the header's minimum x and y, unless the
  // header's bounding box does not hold the points (see read_and_triangulate).
  double origin_x_ = 0.0, origin_y_ = 0.0;
  // Elevation range used for the contour elevations.
  double min_z_ = 0.0, max_z_ = 0.0;
  uint32_t incomplete_inputs_ = 0;  // inputs that ended before their announced points
  int64_t killed_triangles_ = 0;    // over the whole run
  bool feet_ = false;               // the input's horizontal unit is a foot
  bool user_projection_ = false;    // the command line gave the source projection
  bool user_units_ = false;         // ... the source coordinate unit
  bool user_elevation_units_ = false;
  geo_units::LengthUnit user_coordinate_unit_ = geo_units::LengthUnit::meter;  // as the command line stated
  geo_units::LengthUnit user_elevation_unit_ = geo_units::LengthUnit::meter;
  bool file_projection_ = false;  // the current file gave (or let us guess) the source projection
  TIN tin_;
  ContourTracer tracer_;
  std::vector<float> iso_values_;
  std::clock_t file_clock_ = 0;
  std::clock_t step_clock_ = 0;
};
