#include "app/contour_run.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <span>

#include "common/messages.h"
#include "contour/iso_values.h"
#include "contour/terrain.h"
#include "geo/geo_datum_shift.h"
#include "geo/geoprojectionconverter.h"
#include "lineio/line_output_opener.h"
#include "lineio/linewriter_reprojector.h"
#include "pointio/lasinputopener.h"
#include "pointio/lasreader.h"
#include "tin/spatial_sort.h"

namespace {

constexpr const char* kSupportLine = "       contact Quorvane support for assistance\n";
constexpr uint32_t kStride = 3;

double seconds_since(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

}  // namespace

double ContourRun::step_seconds() {
  const double s = seconds_since(step_clock_);
  step_clock_ = std::clock();
  return s;
}

const char* ContourRun::input_name() const {
  return input_.get_file_name() ? input_.get_file_name() : "stdin";
}

double ContourRun::file_seconds() const {
  return seconds_since(file_clock_);
}

int ContourRun::run() {
  if (!input_.active()) {
    print_message("ERROR: no input specified\n");
    print_usage();
    return 1;
  }
  if (settings_.lakes_file || settings_.creeks_file) {
    print_message("ERROR: breaklines ('-lakes', '-creeks') are not supported yet\n");
    return 1;
  }
  input_.set_decompress_selective(1);
  input_.set_populate_header(true);
  if (settings_.extra_pass && input_.is_piped()) {
    print_message("WARNING: disabling -extra_pass because input is piped\n");
    settings_.extra_pass = false;
  }
  output_.set_converter(&converter_);
  user_projection_ = converter_.has_projection(GeoSide::source);
  user_units_ = converter_.has_coordinate_unit(GeoSide::source);
  user_elevation_units_ = converter_.has_elevation_unit(GeoSide::source);
  user_coordinate_unit_ = converter_.get_coordinate_unit(GeoSide::source);
  user_elevation_unit_ = converter_.get_elevation_unit(GeoSide::source);
  if (user_units_) feet_ = converter_.get_unit_epsg(GeoSide::source) > 9001;
  iso_values_ = settings_.iso_values;
  tracer_.set_simplification({settings_.simplify_area, settings_.simplify_length, settings_.clean});
  while (input_.active()) {
    const int rc = process_file();
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
  file_clock_ = step_clock_ = std::clock();
  std::unique_ptr<LASreader> reader = input_.open();
  if (!reader) {
    print_message("ERROR: cannot open lasreader\n");
    print_usage_and_wait();
    return 1;
  }
  georeference(reader->header);
  // KML needs its way to WGS 84 settled before its file is opened: a run that cannot place the
  // points must not leave a document of styles behind.
  const bool kml = output_.format_is("kml");
  GeoDatumShift kml_shift;
  if (kml && !prepare_kml(reader->header, kml_shift)) return 1;
  if (!output_.is_active()) output_.make_file_name(input_.get_file_name());
  std::unique_ptr<LINEwriter> writer = output_.open_writer(false);
  if (!writer) {
    print_message("ERROR: cannot open linewriter\n");
    print_usage_and_wait();
    return 1;
  }
  if (kml) writer = std::make_unique<LINEwriterReprojector>(converter_, std::move(writer), kml_shift);

  const int64_t npoints = reader->get_npoints();
  if (npoints < 0 || npoints > UINT32_MAX) {
    print_message("ERROR: cannot handle that many points yet.\n%s", kSupportLine);
    return 1;
  }
  uint32_t expected = static_cast<uint32_t>(npoints);
  // A header may announce more points than its file holds; the buffers are sized from what can
  // really arrive, so a lying count cannot claim gigabytes.
  const int64_t available = reader->max_points_in_file();
  const bool count_proven = available >= 0;
  if (count_proven && available < npoints) {
    print_message("WARNING: '%s' announces %lld points but holds at most %lld\n", input_name(),
                  static_cast<long long>(npoints), static_cast<long long>(available));
    expected = static_cast<uint32_t>(available);
  }
  if (settings_.extra_pass) {
    if (!extra_pass(reader, expected)) return 1;
  } else if (settings_.verbose) {
    print_message("processing %u points ...\n", expected);
  }
  if (!read_and_triangulate(*reader, expected, count_proven || settings_.extra_pass)) return 1;
  if (reader->is_incomplete()) incomplete_inputs_++;
  writer->set_offset(origin_x_, origin_y_, 0.0);
  reader->close();

  shape_terrain();
  if (!write_contours(*writer)) return 1;
  writer.reset();
  forget_file_georeference();
  if (settings_.iso_number || settings_.iso_every != 0.0) iso_values_.clear();
  tin_.release();
  point_buffer_ = std::vector<float>();
  tracer_.release_pools();
  if (settings_.verbose) {
    print_message("done with '%s'. total time %g sec.\n",
                  output_.get_file_name() ? output_.get_file_name() : "", file_seconds());
  }
  if (!output_.get_use_stdout()) output_.set_file_name(nullptr);
  return 0;
}

void ContourRun::georeference(const LASheader& header) {
  if (!user_projection_) {
    const std::string_view wkt = header.vlr_geo_ogc_wkt();
    const bool has_keys = header.vlr_geo_keys().has_value();
    if (!wkt.empty() && !converter_.set_projection_from_ogc_wkt(wkt)) {
      print_message(has_keys ? "WARNING: cannot use the OGC WKT of '%s'. using its GeoKeys instead\n"
                             : "WARNING: cannot use the OGC WKT of '%s'\n",
                    input_name());
    }
    if (!converter_.has_projection(GeoSide::source) && has_keys) {
      std::vector<GeoKeyEntry> keys;
      for (const LASvlrKeyEntry& e : header.vlr_geo_key_entries()) {
        keys.push_back({e.key_id, e.tiff_tag_location, e.count, e.value_offset});
      }
      const std::vector<double> doubles = header.vlr_geo_double_params();
      converter_.set_projection_from_geo_keys(keys, header.vlr_geo_ascii_params(), doubles);
    }
    file_projection_ = converter_.has_projection(GeoSide::source);
    keep_user_units();
    // A file that says where it lies but in terms this program cannot use must not lose that
    // silently: KML stops with an error later; a Shapefile goes without its .prj.
    if (!file_projection_ && (!wkt.empty() || has_keys) && output_.format_is("shp")) {
      print_message("WARNING: cannot use the georeferencing of '%s'. no .prj file is written\n",
                    input_name());
    }
  }
  if (user_units_) return;
  feet_ = converter_.get_unit_epsg(GeoSide::source) > 9001;
  if (feet_ && settings_.verbose) {
    print_message("switching kill from %g meters to %g feet\n", settings_.kill,
                  settings_.kill * geo_units::kFeetPerMeterRounded);
    print_message("switching concavity from %g meters to %g feet\n", settings_.concavity,
                  settings_.concavity * geo_units::kFeetPerMeterRounded);
  }
}

bool ContourRun::prepare_kml(const LASheader& h, GeoDatumShift& shift) {
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
    file_projection_ = true;
  }
  // The datum shift is chosen for the middle of the tile, where the contours will be.
  double centre[3] = {(h.min_x + h.max_x) / 2.0, (h.min_y + h.max_y) / 2.0, 0.0};
  if (!converter_.to_lon_lat_checked(centre) || std::fabs(centre[0]) > 180.0 || std::fabs(centre[1]) > 90.0) {
    print_message(
        "ERROR: cannot place '%s' on the globe for KML output: its projection does not reach %g %g\n",
        input_name(), (h.min_x + h.max_x) / 2.0, (h.min_y + h.max_y) / 2.0);
    return false;
  }
  const std::string datum = converter_.get_datum_description();
  switch (converter_.find_wgs84_shift(centre[0], centre[1], shift)) {
    case GeoShiftLookup::identity:
      break;
    case GeoShiftLookup::found:
      if (settings_.verbose) {
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

// Units stated on the command line override the unit keys or WKT units of the file.
void ContourRun::keep_user_units() {
  if (user_units_) converter_.set_coordinate_unit(user_coordinate_unit_, GeoSide::source);
  if (user_elevation_units_) converter_.set_elevation_unit(user_elevation_unit_, GeoSide::source);
}

// What one file said about its georeferencing must not carry over to the next file, which may
// say nothing: its thresholds would be switched to feet and its KML placed by the wrong
// projection.
void ContourRun::forget_file_georeference() {
  if (user_projection_) return;
  if (file_projection_) converter_.reset_projection(GeoSide::source);
  file_projection_ = false;
  if (!user_units_) converter_.set_coordinates_in_meter(GeoSide::source);
  if (!user_elevation_units_) converter_.set_elevation_in_meter(GeoSide::source);
}

bool ContourRun::extra_pass(std::unique_ptr<LASreader>& reader, uint32_t& kept) {
  if (settings_.verbose) {
    print_message("extra pass reading %u points to determine which we keep ...\n", kept);
  }
  uint32_t count = 0;
  while (reader->read_point()) {
    if (count == UINT32_MAX) {
      print_message("ERROR: cannot handle that many points yet.\n%s", kSupportLine);
      return false;
    }
    count++;
  }
  if (!input_.reopen(reader)) {
    print_message("ERROR: could not re-open lasreader\n");
    return false;
  }
  if (settings_.verbose) print_message("took %g sec. keeping %u points.\n", step_seconds(), count);
  kept = count;
  return true;
}

// Files are sized from their point count. A pipe cannot prove its header's count, so its buffer
// grows with the points that really arrive: a lying header on a pipe cannot claim gigabytes. The
// points are then sorted and triangulated (see triangulate_stored_points). In arrival order a file
// is triangulated while it is read, and a pipe once its points are in, in the same order, so the
// triangulation is the same.
bool ContourRun::read_and_triangulate(LASreader& reader, uint32_t expected, bool count_proven) {
  const bool piped = !count_proven;
  const bool insert_while_reading = settings_.arrival_order && !piped;
  if (!reserve_points(piped ? std::min<uint32_t>(expected, 1u << 20) : expected)) return false;
  if (insert_while_reading && !clean_tin(expected)) return false;
  const LASheader& h = reader.header;
  const LASpoint& p = reader.point;
  stored_points_ = 0;
  origin_x_ = h.min_x;
  origin_y_ = h.min_y;
  double z_low = std::numeric_limits<double>::infinity(), z_high = -z_low;
  while (reader.read_point()) {
    // A source that delivers more points than it announced must not write past the buffer.
    if (stored_points_ == expected) {
      print_message("WARNING: '%s' delivers more than the %u points announced. ignoring the rest.\n",
                    input_name(), expected);
      break;
    }
    const double x = p.X * h.x_scale_factor + h.x_offset;
    const double y = p.Y * h.y_scale_factor + h.y_offset;
    const double z = p.Z * h.z_scale_factor + h.z_offset;
    if (stored_points_ == 0 && !header_holds(h, x, y)) use_first_point_as_origin(x, y);
    const size_t at = static_cast<size_t>(stored_points_) * kStride;
    if (at == point_buffer_.size() && !reserve_points(std::min<uint64_t>(2ull * stored_points_, expected))) {
      return false;
    }
    float* v = &point_buffer_[at];
    v[0] = static_cast<float>(x - origin_x_);
    v[1] = static_cast<float>(y - origin_y_);
    v[2] = static_cast<float>(z);
    // Points that are not finite cannot be triangulated; their slot is reused.
    if (!std::isfinite(v[0]) || !std::isfinite(v[1])) continue;
    if (insert_while_reading && !tin_.add_point(stored_points_)) continue;
    z_low = std::min(z_low, z);
    z_high = std::max(z_high, z);
    stored_points_++;
  }
  if (piped) {
    point_buffer_.resize(static_cast<size_t>(stored_points_) * kStride);
    point_buffer_.shrink_to_fit();
  }
  if (!insert_while_reading && !triangulate_stored_points()) return false;
  choose_elevation_range(h, z_low, z_high);
  if (!tin_.finish()) {
    print_message("\nWARNING: the %u points of '%s' form degenerate TIN ...\n", stored_points_, input_name());
  }
  if (settings_.verbose) {
    print_message("triangulating %u points took %g sec.\n", stored_points_, step_seconds());
  }
  return true;
}

// By default the points are inserted along a Hilbert curve: fast, and the triangulation (hence
// every contour) is the same for the same points in any record order or split over merged files.
// The buffer is reordered in place of the file order; the sort's scratch memory is gone before
// the triangle buffer fills, so the peak stays that of points and triangles.
bool ContourRun::triangulate_stored_points() {
  if (!settings_.arrival_order) {
    try {
      hilbert_sort(point_buffer_, kStride, 0, stored_points_);
    } catch (const std::bad_alloc&) {
      print_message("ERROR: cannot alloc memory to sort %u points.\n%s", stored_points_, kSupportLine);
      return false;
    }
  }
  const TINinsertion insertion = settings_.arrival_order ? TINinsertion::kDelayed : TINinsertion::kImmediate;
  if (!clean_tin(stored_points_, insertion)) return false;
  for (uint32_t i = 0; i < stored_points_; i++) tin_.add_point(i);
  return true;
}

// Grows the point buffer to hold `points` points.
bool ContourRun::reserve_points(uint64_t points) {
  try {
    point_buffer_.resize(static_cast<size_t>(std::max<uint64_t>(points, 1)) * kStride);
  } catch (const std::bad_alloc&) {
    print_message("ERROR: cannot alloc point_buffer for %u points.\n%s", static_cast<uint32_t>(points),
                  kSupportLine);
    return false;
  }
  return true;
}

bool ContourRun::clean_tin(uint32_t points, TINinsertion insertion) {
  if (tin_.clean(points, point_buffer_.data(), kStride, insertion)) return true;
  print_message("ERROR: cannot alloc enough TIN triangles to triangulate %u points.\n%s", points,
                kSupportLine);
  return false;
}

// Single-precision coordinates relative to a far-away origin lose their detail (at 2e8 units a
// float resolves only 16), so a header whose bounding box does not hold the points cannot
// provide the origin. The first point does instead.
bool ContourRun::header_holds(const LASheader& h, double x, double y) const {
  const double tx = std::abs(h.x_scale_factor) + 1e-9 * std::abs(x);
  const double ty = std::abs(h.y_scale_factor) + 1e-9 * std::abs(y);
  return x >= h.min_x - tx && x <= h.max_x + tx && y >= h.min_y - ty && y <= h.max_y + ty;
}

void ContourRun::use_first_point_as_origin(double x, double y) {
  print_message("WARNING: points of '%s' lie outside its header's bounding box. ignoring the box.\n",
                input_name());
  origin_x_ = x;
  origin_y_ = y;
}

// Contour elevations come from the header's elevation range, unless the points leave it: then
// the range of the points, so that a wrong header does not put every contour off the terrain.
void ContourRun::choose_elevation_range(const LASheader& h, double z_low, double z_high) {
  min_z_ = h.min_z;
  max_z_ = h.max_z;
  if (stored_points_ == 0) return;
  const double tz = std::abs(h.z_scale_factor) + 1e-9 * std::max(std::abs(z_low), std::abs(z_high));
  if (z_low >= h.min_z - tz && z_high <= h.max_z + tz) return;
  print_message("WARNING: elevations %g to %g of '%s' leave its header's range %g to %g. using theirs.\n",
                z_low, z_high, input_name(), h.min_z, h.max_z);
  min_z_ = z_low;
  max_z_ = z_high;
}

// Thresholds are lengths in the units of x and y; the user states them in meters, so they grow
// with the square of the foot when the input is in feet.
float ContourRun::squared_threshold(float length) const {
  float squared = length * length;
  if (feet_) squared *= geo_units::kSquareFeetPerSquareMeterRounded;
  return squared;
}

// The concave hull and the smoothing change the triangulation before elevations are chosen.
void ContourRun::shape_terrain() {
  const float concavity_sq = squared_threshold(settings_.concavity);
  if (concavity_sq != 0.0f) {
    carve_concave_hull(tin_.triangles(), tin_.triangle_count(), point_buffer_.data(), kStride, concavity_sq);
    if (settings_.verbose) {
      print_message("growing concave hull with concavity %g took %g sec.\n", std::sqrt(concavity_sq),
                    step_seconds());
    }
  }
  if (settings_.smooth_passes != 0) {
    if (settings_.verbose) {
      print_message("smoothing terrain with %d passes because of '-smooth %d'\n", settings_.smooth_passes,
                    settings_.smooth_passes);
    }
    smooth_terrain(tin_.triangles(), tin_.triangle_count(), point_buffer_.data(), kStride,
                   settings_.smooth_passes, false);
    if (settings_.verbose) print_message("smoothing took %g sec.\n", step_seconds());
  }
}

void ContourRun::kill_long_edges() {
  const float kill_sq = squared_threshold(settings_.kill);
  if (!(kill_sq > 0.0f)) return;
  if (settings_.verbose) {
    print_message("killing triangles with edges longer than %g units ... \n", std::sqrt(kill_sq));
  }
  killed_triangles_ += kill_long_edge_triangles(tin_.triangles(), tin_.triangle_count(), point_buffer_.data(),
                                                kStride, kill_sq);
  if (settings_.verbose && killed_triangles_ != 0) {
    print_message("killed %lld triangles with '-kill %g'\n", static_cast<long long>(killed_triangles_),
                  std::sqrt(kill_sq));
  }
}

// The totals since the start of the run, after every file.
void ContourRun::print_statistics() const {
  const ContourStatistics& c = tracer_.counts();
  const auto n = [](int64_t v) { return static_cast<long long>(v); };
  if (settings_.simplify_area != 0.0f) {
    print_message("simplified away %lld segments with '-simplify_area %g'\n", n(c.area_removed),
                  settings_.simplify_area);
  }
  if (settings_.simplify_length != 0.0f) {
    print_message("simplified away %lld segments (including %lld lines and %lld loops) with '-simplify %g'\n",
                  n(c.length_removed), n(c.lines_vanished), n(c.loops_vanished), settings_.simplify_length);
  }
  if (settings_.clean != 0.0f) {
    print_message(
        "cleaned away %lld lines with %lld segments and %lld loops with %lld segments with '-clean %g'\n",
        n(c.lines_cleaned), n(c.line_segments_cleaned), n(c.loops_cleaned), n(c.loop_segments_cleaned),
        settings_.clean);
  }
  print_message("output %lld lines with %lld segments and %lld loops with %lld segments\n", n(c.lines),
                n(c.line_segments), n(c.loops), n(c.loop_segments));
}

// The elevations of the stored points as the tracer sees them (single precision, after smoothing).
// A NaN elevation is compared with no level, so it leaves every level in play.
std::pair<float, float> ContourRun::stored_z_range() const {
  float low = std::numeric_limits<float>::infinity(), high = -low;
  for (size_t i = 2; i < static_cast<size_t>(stored_points_) * kStride; i += kStride) {
    const float z = point_buffer_[i];
    if (std::isnan(z))
      return {-std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()};
    low = std::min(low, z);
    high = std::max(high, z);
  }
  return {low, high};
}

bool ContourRun::write_contours(LINEwriter& writer) {
  const char* name = input_name();
  setup_iso_values(iso_values_, settings_.iso_number, settings_.iso_every, min_z_, max_z_, name,
                   settings_.verbose);
  kill_long_edges();
  bool ok = true;
  const std::span<const float> levels = levels_within(iso_values_, stored_z_range());
  if (!levels.empty()) {
    ok = tracer_.extract(tin_.triangles(), tin_.triangle_count(), point_buffer_.data(), kStride, levels,
                         writer, settings_.loops_only);
  }
  if (settings_.verbose) {
    print_statistics();
    print_message("computing and outputting isolines and isoloops took %g sec for '%s.\n", step_seconds(),
                  name);
  }
  ok = writer.close() && ok;
  if (!ok) {
    print_message("ERROR: writing contours of '%s' failed\n", name);
  }
  return ok;
}
