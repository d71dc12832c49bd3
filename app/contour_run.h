// The normal run: every input file in turn goes through the steps of app/contour_steps.h, from
// reading its points to writing its contours.
#pragma once

#include <cstdint>
#include <memory>

#include "app/breaklines.h"
#include "app/contour_steps.h"
#include "app/driver_options.h"
#include "contour/contour_tracer.h"
#include "tin/ctin.h"
#include "tin/delaunay.h"

class FileGeoreference;
struct GeoDatumShift;
class GeoProjectionConverter;
class LASinputOpener;
class LineOutputOpener;
class LINEwriter;

class ContourRun {
 public:
  // `converter` holds what the command line set; every file is georeferenced on a copy of it.
  ContourRun(const DriverSettings& settings, const GeoProjectionConverter& converter, LASinputOpener& input,
             LineOutputOpener& output);

  // Processes every input; answers the process exit code.
  int run();

 private:
  int process_file();
  // Reports when the thresholds switch to feet because the file is in feet.
  void report_feet(const FileGeoreference& geo) const;
  // The writer of the current file's contours (for KML wrapped in a reprojector to WGS 84 that
  // uses `geo` and `kml_shift`); none after the message.
  std::unique_ptr<LINEwriter> open_writer(FileGeoreference& geo, const GeoDatumShift& kml_shift);
  std::unique_ptr<LINEwriter> clip_to_tile(std::unique_ptr<LINEwriter> writer, const LASheader& main) const;
  // How many points may arrive; answers false after a fatal message. With -extra_pass the reader
  // is read once to count the points it keeps, then rewound.
  bool point_capacity(std::unique_ptr<LASreader>& reader, PointCapacity& capacity);
  const char* input_name() const;

  const DriverSettings& settings_;
  const GeoProjectionConverter& user_geo_;
  LASinputOpener& input_;
  LineOutputOpener& output_;

  bool extra_pass_ = false;         // the setting, off for piped input
  bool first_file_ = true;          // the given contour elevations join the first file's
  uint32_t incomplete_inputs_ = 0;  // inputs that ended before their announced points
  int64_t killed_triangles_ = 0;    // over the whole run
  // What the current file's run is doing, for the message when memory runs out ("... while
  // triangulating 'tile.las'").
  const char* step_ = "opening";
  StepTimer timer_;
  // Writes the triangulation when "-tin" asks for it. False after the message.
  bool write_tin_output(ConstTinView tin, const PointSet& points, const char* name);

  TIN tin_;
  CTIN ctin_;
  Breaklines breaklines_;
  ContourTracer tracer_;
};
