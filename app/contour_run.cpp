#include "app/contour_run.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "app/file_georeference.h"
#include "app/output_plan.h"
#include "app/tin_output.h"
#include "common/messages.h"
#include "contour/iso_values.h"
#include "geo/geo_units.h"
#include "geo/geoprojectionconverter.h"
#include "lineio/line_output_opener.h"
#include "lineio/linewriter_clipper.h"
#include "lineio/linewriter_reprojector.h"
#include "pointio/lasinputopener.h"
#include "pointio/lasreader.h"

namespace {}  // namespace

ContourRun::ContourRun(const DriverSettings& settings, const GeoProjectionConverter& converter,
                       LASinputOpener& input, LineOutputOpener& output)
    : settings_(settings),
      user_geo_(converter),
      input_(input),
      output_(output),
      timer_(settings.verbose),
      breaklines_(settings) {}

const char* ContourRun::input_name() const {
  return input_.get_file_name() ? input_.get_file_name() : "stdin";
}

int ContourRun::run() {
  if (!input_.active()) {
    print_message("ERROR: no input specified\n");
    print_usage();
    return 1;
  }
  // The triangle file's name comes from the contour file's: standard output has none.
  if (settings_.tin_output && output_.get_use_stdout()) {
    print_message(
        "ERROR: '-tin' writes the triangles to a file named after the contour output. it cannot be used with "
        "'-stdout'\n");
    return 1;
  }
  // Points piped on and contours on standard output would interleave into one unusable stream.
  if (input_.is_pipe_on() && output_.get_use_stdout()) {
    print_message(
        "ERROR: '-pipe_on' and '-stdout' would both write to standard output. use only one of them\n");
    return 1;
  }
  if (!check_output_plan(input_, output_)) return 1;
  input_.set_decompress_selective(1);
  input_.set_populate_header(true);
  extra_pass_ = settings_.extra_pass;
  if (extra_pass_ && input_.is_piped()) {
    print_message("WARNING: disabling -extra_pass because input is piped\n");
    extra_pass_ = false;
  }
  tracer_.set_simplification({settings_.simplify_area, settings_.simplify_length, settings_.clean});
  while (input_.active()) {
    int rc = 1;
    // Every step sizes its large buffers itself and reports their failure; an allocation that
    // fails anywhere else still ends the run with one line that says what it was doing.
    try {
      rc = process_file();
    } catch (const std::bad_alloc&) {
      print_message("ERROR: out of memory while %s '%s'\n", step_, input_name());
      return 1;
    }
    if (rc != 0) return rc;
  }
  // Damaged inputs still get the contours of the points they held, but the run must not look
  // like a clean success to the script that started it.
  if (incomplete_inputs_) {
    print_message(
        "ERROR: %u input(s) ended before all their points were read. their contours are incomplete\n",
        incomplete_inputs_);
    return 1;
  }
  return 0;
}

int ContourRun::process_file() {
  timer_.start_file();
  step_ = "opening";
  const unsigned long errors_before = error_message_count();
  std::unique_ptr<LASreader> reader = input_.open();
  if (!reader) {
    if (error_message_count() == errors_before) print_message("ERROR: cannot open lasreader\n");
    print_usage_and_wait();
    return 1;
  }
  const char* name = input_name();
  FileGeoreference geo(user_geo_, reader->header, name);
  // A file that says where it lies but in terms this program cannot use must not lose that
  // silently: KML stops with an error; a Shapefile goes without its .prj.
  if (geo.unusable_file_records() && output_.format_is("shp")) {
    print_message("WARNING: cannot use the georeferencing of '%s'. no .prj file is written\n", name);
  }
  report_feet(geo);
  // KML needs its way to WGS 84 settled before any work: a run that cannot place the points must
  // stop before it reads them.
  GeoDatumShift kml_shift;
  if (output_.format_is("kml") && !geo.prepare_kml(reader->header, name, settings_.verbose, kml_shift))
    return 1;

  // Breakline files are checked before the points are read, so a bad one stops the run at once.
  uint32_t breakline_points = 0;
  step_ = "reading the breaklines for";
  if (!breaklines_.count(breakline_points, timer_)) return 1;
  step_ = "reading the points of";
  PointCapacity capacity;
  if (!point_capacity(reader, capacity)) return 1;
  PointSet points;
  if (!read_points(*reader, capacity, name, points)) return 1;
  // A transform that pushed coordinates past the 32-bit integers put points where they do not
  // belong: no contour may be traced from them.
  if (!input_.check_for_overflow()) return 1;
  if (reader->is_incomplete()) incomplete_inputs_++;
  const double scale_x = reader->header.x_scale_factor, scale_y = reader->header.y_scale_factor;
  reader->close();
  const bool constrained = breakline_points > 0;
  step_ = "triangulating";
  if (constrained) {
    if (!triangulate_with_breaklines(points, breakline_points, breaklines_, settings_.arrival_order, scale_x,
                                     scale_y, name, ctin_, timer_)) {
      return 1;
    }
  } else if (!triangulate(points, settings_.arrival_order, name, tin_, timer_)) {
    return 1;
  }
  const TinView tin = constrained ? points.view(ctin_) : points.view(tin_);
  if (settings_.tin_output && !write_tin_output(tin, points, name)) return 1;

  const TerrainSettings terrain = terrain_settings(settings_, geo.feet());
  step_ = "preparing the terrain and the contour levels of";
  carve_and_smooth(tin, terrain, timer_);
  const std::vector<float> levels =
      contour_levels(settings_.levels, first_file_, points.min_z, points.max_z, name, settings_.verbose);
  kill_long_edges(tin, terrain, timer_, killed_triangles_);
  // The output is opened only now that everything that can fail before tracing has been checked.
  // It is written under a temporary name and takes its place when it is complete, so a run that
  // fails while tracing leaves an existing file untouched.
  step_ = "opening the output for";
  std::unique_ptr<LINEwriter> writer = open_writer(geo, kml_shift);
  if (!writer) return 1;
  if (settings_.clip_to_tile) writer = clip_to_tile(std::move(writer), reader->main_header());
  writer->set_offset(points.origin_x, points.origin_y, 0.0);
  step_ = "tracing and writing the contours of";
  if (!trace_and_write(tracer_, tin, levels_within(levels, points.z_range()), settings_, *writer, name,
                       timer_)) {
    return 1;
  }

  writer.reset();
  output_.set_converter(nullptr);
  first_file_ = false;
  tin_.release();
  ctin_.release();
  tracer_.release_pools();
  if (settings_.verbose) {
    print_message("done with '%s'. total time %g sec.\n",
                  output_.get_file_name() ? output_.get_file_name() : "", timer_.file_seconds());
  }
  if (!output_.get_use_stdout()) output_.set_file_name(nullptr);
  return 0;
}

bool ContourRun::write_tin_output(ConstTinView tin, const PointSet& points, const char* name) {
  // The contour output is opened later, but its name is the triangle file's base now.
  if (!output_.is_active()) output_.make_file_name(input_.get_file_name());
  const std::string file_name = tin_file_name(output_.get_file_name() ? output_.get_file_name() : "output");
  uint32_t written = 0;
  if (!write_tin(tin, points.origin_x, points.origin_y, file_name, written)) {
    print_message("ERROR: writing the triangulation of '%s' failed\n", name);
    return false;
  }
  if (settings_.verbose) {
    print_message("outputting TIN with %u faces to '%s' took %g sec.\n", written, file_name.c_str(),
                  timer_.step_seconds());
  }
  return true;
}

// The tile: the file's tiling record, else the grid square that holds its centre, else its
// bounding box.
std::unique_ptr<LINEwriter> ContourRun::clip_to_tile(std::unique_ptr<LINEwriter> writer,
                                                     const LASheader& main) const {
  double min_x = main.min_x, min_y = main.min_y, max_x = main.max_x, max_y = main.max_y;
  if (main.vlr_gridpatch) {
    min_x = main.vlr_gridpatch->min_x, max_x = main.vlr_gridpatch->max_x;
    min_y = main.vlr_gridpatch->min_y, max_y = main.vlr_gridpatch->max_y;
  } else if (settings_.clip_tile_size > 0) {
    const double size = settings_.clip_tile_size;
    min_x = std::floor((main.min_x + main.max_x) / 2 / size) * size;
    min_y = std::floor((main.min_y + main.max_y) / 2 / size) * size;
    max_x = min_x + size;
    max_y = min_y + size;
  }
  if (settings_.verbose) {
    print_message("clipping contours to the tile [%g %g / %g %g]\n", min_x, min_y, max_x, max_y);
  }
  return std::make_unique<LINEwriterClipper>(std::move(writer), min_x, min_y, max_x, max_y);
}

void ContourRun::report_feet(const FileGeoreference& geo) const {
  if (!geo.feet_from_file() || !geo.feet() || !settings_.verbose) return;
  print_message("switching kill from %g meters to %g feet\n", double{settings_.kill},
                double{settings_.kill} * geo_units::kFeetPerMeterRounded);
  print_message("switching concavity from %g meters to %g feet\n", double{settings_.concavity},
                double{settings_.concavity} * geo_units::kFeetPerMeterRounded);
}

std::unique_ptr<LINEwriter> ContourRun::open_writer(FileGeoreference& geo, const GeoDatumShift& kml_shift) {
  if (!output_.is_active()) output_.make_file_name(input_.get_file_name());
  // The .prj beside a Shapefile describes this file's georeferencing.
  output_.set_converter(&geo.converter());
  std::unique_ptr<LINEwriter> writer = output_.open_writer(false);
  if (!writer) {
    print_usage_and_wait();
    return nullptr;
  }
  if (!output_.format_is("kml")) return writer;
  return std::make_unique<LINEwriterReprojector>(geo.converter(), std::move(writer), kml_shift);
}

bool ContourRun::point_capacity(std::unique_ptr<LASreader>& reader, PointCapacity& capacity) {
  const int64_t npoints = reader->get_npoints();
  // A header may announce more points than its file holds; the buffers are sized from what can
  // really arrive, so a lying count cannot claim gigabytes.
  const int64_t available = reader->max_points_in_file();
  capacity.count_proven = available >= 0;
  // A count a pipe announces (a PTX header's columns times rows) proves nothing: the points that
  // arrive decide, so a lying header neither refuses the input nor sizes its buffer.
  if (npoints < 0 || (npoints > UINT32_MAX && capacity.count_proven)) {
    print_message("ERROR: cannot handle that many points yet.\n%s", kSupportLine);
    return false;
  }
  capacity.capacity = static_cast<uint32_t>(std::min<int64_t>(npoints, UINT32_MAX));
  // A source read without a counting pass (text on standard input) knows its count only at the
  // end; its buffer grows with the points that arrive.
  if (!capacity.count_proven && npoints == 0) capacity.capacity = UINT32_MAX;
  if (capacity.count_proven && available < npoints) {
    print_message("WARNING: '%s' announces %lld points but holds at most %lld\n", input_name(),
                  static_cast<long long>(npoints), static_cast<long long>(available));
    capacity.capacity = static_cast<uint32_t>(available);
  }
  if (!extra_pass_) {
    if (settings_.verbose) print_message("processing %u points ...\n", capacity.capacity);
    return true;
  }
  if (settings_.verbose) {
    print_message("extra pass reading %u points to determine which we keep ...\n", capacity.capacity);
  }
  uint32_t count = 0;
  while (reader->read_point()) {
    if (count == UINT32_MAX) {
      print_message("ERROR: cannot handle that many points yet.\n%s", kSupportLine);
      return false;
    }
    count++;
  }
  // A buffered tile keeps its buffer for the pass that makes the contours.
  if (!input_.reopen(reader, true)) {
    print_message("ERROR: could not re-open lasreader\n");
    return false;
  }
  if (settings_.verbose) print_message("took %g sec. keeping %u points.\n", timer_.step_seconds(), count);
  capacity.capacity = count;
  // The count was read, not announced: even a pipe is sized from it.
  capacity.count_proven = true;
  return true;
}
