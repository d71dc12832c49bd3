#include "app/contour_steps.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

#include "common/messages.h"
#include "contour/iso_values.h"
#include "contour/terrain.h"
#include "geo/geo_units.h"
#include "tin/spatial_sort.h"

namespace {

constexpr uint32_t kStride = PointSet::kStride;

double seconds_since(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// Grows the point buffer to hold `count` points.
bool reserve_points(PointSet& points, uint64_t count) {
  try {
    points.buffer.resize(static_cast<size_t>(std::max<uint64_t>(count, 1)) * kStride);
  } catch (const std::bad_alloc&) {
    print_message("ERROR: cannot alloc point_buffer for %u points.\n%s", static_cast<uint32_t>(count),
                  kSupportLine);
    return false;
  }
  return true;
}

// Single-precision coordinates relative to a far-away origin lose their detail (at 2e8 units a
// float resolves only 16), so a header whose bounding box does not hold the points cannot
// provide the origin. The first point does instead.
bool header_holds(const LASheader& h, double x, double y) {
  const double tx = std::abs(h.x_scale_factor) + 1e-9 * std::abs(x);
  const double ty = std::abs(h.y_scale_factor) + 1e-9 * std::abs(y);
  return x >= h.min_x - tx && x <= h.max_x + tx && y >= h.min_y - ty && y <= h.max_y + ty;
}

// Contour elevations come from the header's elevation range, unless the points leave it: then
// the range of the points, so that a wrong header does not put every contour off the terrain.
void choose_elevation_range(const LASheader& h, double z_low, double z_high, const char* input_name,
                            PointSet& points) {
  points.min_z = h.min_z;
  points.max_z = h.max_z;
  if (points.count == 0) return;
  const double tz = std::abs(h.z_scale_factor) + 1e-9 * std::max(std::abs(z_low), std::abs(z_high));
  if (z_low >= h.min_z - tz && z_high <= h.max_z + tz) return;
  print_message("WARNING: elevations %g to %g of '%s' leave its header's range %g to %g. using theirs.\n",
                z_low, z_high, input_name, h.min_z, h.max_z);
  points.min_z = z_low;
  points.max_z = z_high;
}

// The totals since the start of the run, after every file.
void print_statistics(const ContourStatistics& c, const DriverSettings& settings) {
  const auto n = [](int64_t v) { return static_cast<long long>(v); };
  if (settings.simplify_area != 0.0f) {
    print_message("simplified away %lld segments with '-simplify_area %g'\n", n(c.area_removed),
                  double{settings.simplify_area});
  }
  if (settings.simplify_length != 0.0f) {
    print_message("simplified away %lld segments (including %lld lines and %lld loops) with '-simplify %g'\n",
                  n(c.length_removed), n(c.lines_vanished), n(c.loops_vanished),
                  double{settings.simplify_length});
  }
  if (settings.clean != 0.0f) {
    print_message(
        "cleaned away %lld lines with %lld segments and %lld loops with %lld segments with '-clean %g'\n",
        n(c.lines_cleaned), n(c.line_segments_cleaned), n(c.loops_cleaned), n(c.loop_segments_cleaned),
        double{settings.clean});
  }
  print_message("output %lld lines with %lld segments and %lld loops with %lld segments\n", n(c.lines),
                n(c.line_segments), n(c.loops), n(c.loop_segments));
}

}  // namespace

// A NaN elevation is compared with no level, so it leaves every level in play.
std::pair<float, float> PointSet::z_range() const {
  float low = std::numeric_limits<float>::infinity(), high = -low;
  for (size_t i = 2; i < static_cast<size_t>(count) * stride; i += stride) {
    const float z = buffer[i];
    if (std::isnan(z))
      return {-std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()};
    low = std::min(low, z);
    high = std::max(high, z);
  }
  return {low, high};
}

double StepTimer::step_seconds() {
  const double s = seconds_since(step_clock_);
  step_clock_ = std::clock();
  return s;
}

double StepTimer::file_seconds() const {
  return seconds_since(file_clock_);
}

// Files are sized from their point count. A pipe cannot prove its header's count, so its buffer
// grows with the points that really arrive: a lying header on a pipe cannot claim gigabytes.
bool read_points(LASreader& reader, PointCapacity capacity, const char* input_name, PointSet& points) {
  const uint32_t expected = capacity.capacity;
  if (!reserve_points(points, capacity.count_proven ? expected : std::min<uint32_t>(expected, 1u << 20))) {
    return false;
  }
  const LASheader& h = reader.header;
  const LASpoint& p = reader.point;
  points.count = 0;
  points.origin_x = h.min_x;
  points.origin_y = h.min_y;
  double z_low = std::numeric_limits<double>::infinity(), z_high = -z_low;
  while (reader.read_point()) {
    // A source that delivers more points than it announced must not write past the buffer.
    if (points.count == expected) {
      print_message("WARNING: '%s' delivers more than the %u points announced. ignoring the rest.\n",
                    input_name, expected);
      break;
    }
    const double x = p.X * h.x_scale_factor + h.x_offset;
    const double y = p.Y * h.y_scale_factor + h.y_offset;
    const double z = p.Z * h.z_scale_factor + h.z_offset;
    if (points.count == 0 && !header_holds(h, x, y)) {
      print_message("WARNING: points of '%s' lie outside its header's bounding box. ignoring the box.\n",
                    input_name);
      points.origin_x = x;
      points.origin_y = y;
    }
    const size_t at = static_cast<size_t>(points.count) * kStride;
    if (at == points.buffer.size() &&
        !reserve_points(points, std::min<uint64_t>(2ull * points.count, expected))) {
      return false;
    }
    float* v = &points.buffer[at];
    v[0] = static_cast<float>(x - points.origin_x);
    v[1] = static_cast<float>(y - points.origin_y);
    v[2] = static_cast<float>(z);
    // A header whose scale factors or offsets are absurd (a z scale of 1e200) makes coordinates
    // that are not finite or beyond single precision; dropping them or tracing through them
    // would give empty or NaN contours that look like a result.
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
      print_message(
          "ERROR: point %lld of '%s' at (%g, %g, %g) does not fit single precision relative to (%g, %g). "
          "check "
          "the scale factors and offsets of its header\n",
          static_cast<long long>(reader.get_p_count()), input_name, x, y, z, points.origin_x,
          points.origin_y);
      return false;
    }
    z_low = std::min(z_low, z);
    z_high = std::max(z_high, z);
    points.count++;
  }
  if (!capacity.count_proven) {
    points.buffer.resize(static_cast<size_t>(points.count) * kStride);
    points.buffer.shrink_to_fit();
  }
  choose_elevation_range(h, z_low, z_high, input_name, points);
  return true;
}

// By default the points are inserted along a Hilbert curve: fast, and the triangulation (hence
// every contour) is the same for the same points in any record order or split over merged files.
// The buffer is reordered in place of the file order; the sort's scratch memory is gone before
// the triangle buffer fills, so the peak stays that of points and triangles.
bool triangulate(PointSet& points, bool arrival_order, const char* input_name, TIN& tin, StepTimer& timer) {
  if (!arrival_order) {
    try {
      hilbert_sort(points.buffer, kStride, 0, points.count);
    } catch (const std::bad_alloc&) {
      print_message("ERROR: cannot alloc memory to sort %u points.\n%s", points.count, kSupportLine);
      return false;
    }
  }
  const uint32_t size = points.count;
  const TINinsertion insertion = arrival_order ? TINinsertion::kDelayed : TINinsertion::kImmediate;
  const unsigned long errors_before = error_message_count();
  if (!tin.clean(size, points.buffer.data(), kStride, insertion)) {
    // The TIN names the triangles it could not allocate; the points then follow on an indented
    // line, so the run still prints one ERROR line for the cause.
    print_message("%s cannot alloc enough TIN triangles to triangulate %u points.\n%s",
                  error_message_count() == errors_before ? "ERROR:" : "      ", size, kSupportLine);
    return false;
  }
  for (uint32_t i = 0; i < points.count; i++) tin.add_point(i);
  if (!tin.finish()) {
    print_message("\nWARNING: the %u points of '%s' form degenerate TIN ...\n", points.count, input_name);
  }
  if (timer.verbose())
    print_message("triangulating %u points took %g sec.\n", points.count, timer.step_seconds());
  return true;
}

TerrainSettings terrain_settings(const DriverSettings& settings, bool feet) {
  // Thresholds are lengths in the units of x and y; the user states them in meters, so they grow
  // with the square of the foot when the input is in feet.
  const auto squared = [feet](float length) {
    float sq = length * length;
    if (feet) sq *= geo_units::kSquareFeetPerSquareMeterRounded;
    return sq;
  };
  return {squared(settings.concavity), squared(settings.kill), settings.smooth_passes};
}

void carve_and_smooth(TinView tin, const TerrainSettings& terrain, StepTimer& timer) {
  if (terrain.concavity_sq != 0.0f) {
    carve_concave_hull(tin, terrain.concavity_sq);
    if (timer.verbose()) {
      print_message("growing concave hull with concavity %g took %g sec.\n",
                    double{std::sqrt(terrain.concavity_sq)}, timer.step_seconds());
    }
  }
  if (terrain.smooth_passes != 0) {
    if (timer.verbose()) {
      print_message("smoothing terrain with %d passes because of '-smooth %d'\n", terrain.smooth_passes,
                    terrain.smooth_passes);
    }
    // Breakline vertices (locked in their fourth word) keep the elevations of their files.
    smooth_terrain(tin, terrain.smooth_passes, tin.stride >= 4);
    if (timer.verbose()) print_message("smoothing took %g sec.\n", timer.step_seconds());
  }
}

void kill_long_edges(TinView tin, const TerrainSettings& terrain, StepTimer& timer, int64_t& killed_total) {
  if (!(terrain.kill_sq > 0.0f)) return;
  if (timer.verbose()) {
    print_message("killing triangles with edges longer than %g units ... \n",
                  double{std::sqrt(terrain.kill_sq)});
  }
  killed_total += kill_long_edge_triangles(tin, terrain.kill_sq);
  if (timer.verbose() && killed_total != 0) {
    print_message("killed %lld triangles with '-kill %g'\n", static_cast<long long>(killed_total),
                  double{std::sqrt(terrain.kill_sq)});
  }
}

bool trace_and_write(ContourTracer& tracer, ConstTinView tin, std::span<const float> levels,
                     const DriverSettings& settings, LINEwriter& writer, const char* input_name,
                     StepTimer& timer) {
  const unsigned long errors_before = error_message_count();
  bool ok = true;
  if (!levels.empty()) ok = tracer.extract(tin, levels, writer, settings.loops_only);
  if (timer.verbose()) {
    print_statistics(tracer.counts(), settings);
    print_message("computing and outputting isolines and isoloops took %g sec for '%s.\n",
                  timer.step_seconds(), input_name);
  }
  // A failed write leaves the output as it was before the run: the writer closes only after
  // every line was written, and it puts its files in place only when they are complete.
  ok = ok && writer.close();
  if (!ok && error_message_count() == errors_before) {
    print_message("ERROR: writing contours of '%s' failed\n", input_name);
  }
  return ok;
}
