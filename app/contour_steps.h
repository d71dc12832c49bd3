// The steps of one input file's run, in the order ContourRun takes them:
//
//   read_points -> triangulate (with breaklines: triangulate_with_breaklines) -> carve_and_smooth ->
//   contour_levels
//   -> kill_long_edges -> trace_and_write (each line is thinned and written as soon as it is
//   complete)
//
// The contour elevations are set up between smoothing and killing so that their verbose lines
// appear where users know them; neither terrain step depends on them. Each step takes what it
// needs and answers what it made; verbose progress lines go through a StepTimer.
#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <utility>
#include <vector>

#include "app/driver_options.h"
#include "contour/contour_tracer.h"
#include "lineio/linewriter.h"
#include "pointio/lasreader.h"
#include "tin/ctin.h"
#include "tin/delaunay.h"
#include "tin/tin.h"

// Times the steps for the verbose lines: "took %g sec." is the time since the previous timed line.
class StepTimer {
 public:
  explicit StepTimer(bool verbose) : verbose_(verbose) {}
  bool verbose() const { return verbose_; }
  void start_file() { file_clock_ = step_clock_ = std::clock(); }
  double step_seconds();
  double file_seconds() const;

 private:
  bool verbose_;
  std::clock_t file_clock_ = 0;
  std::clock_t step_clock_ = 0;
};

// The kept points of one input, stored once, as the TIN and the tracer see them.
struct PointSet {
  static constexpr uint32_t kStride = 3;
  // x, y relative to the origin (single precision), z absolute; with breaklines a fourth word
  // for the constrained TIN and then the smoothing lock.
  std::vector<float> buffer;
  uint32_t stride = kStride;
  uint32_t count = 0;
  // The header's minimum x and y, or the first point when the header's box does not hold the
  // points (a far-away origin would leave a float no detail).
  double origin_x = 0.0, origin_y = 0.0;
  // The elevation range the contour levels are chosen from: the header's, or the points' own
  // when they leave it.
  double min_z = 0.0, max_z = 0.0;

  TinView view(TIN& tin) { return {tin.triangles(), tin.triangle_count(), buffer.data(), stride}; }
  TinView view(CTIN& tin) { return {tin.triangles(), tin.triangle_count(), buffer.data(), stride}; }
  // The elevations as the tracer sees them (single precision, after smoothing).
  std::pair<float, float> z_range() const;
};

// How many points may arrive: `capacity` from the header (capped by what the file can hold);
// `count_proven` is false for a pipe, whose header cannot size the buffer up front.
struct PointCapacity {
  uint32_t capacity = 0;
  bool count_proven = true;
};

// Reads every point the reader delivers into `points`. False after a fatal message.
bool read_points(LASreader& reader, PointCapacity capacity, const char* input_name, PointSet& points);

// Triangulates the points: sorted along a Hilbert curve first, or in the order read with
// `arrival_order`. Prints the degenerate-TIN warning and the verbose timing. False after a
// fatal message.
bool triangulate(PointSet& points, bool arrival_order, const char* input_name, TIN& tin, StepTimer& timer);

// The squared length thresholds of one file: the user's lengths in meters, grown by the square
// of the foot when the file is in feet.
struct TerrainSettings {
  float concavity_sq = 0.0f;
  float kill_sq = 0.0f;
  int32_t smooth_passes = 0;
};
TerrainSettings terrain_settings(const DriverSettings& settings, bool feet);

// Carves the concave hull and smooths the elevations (each only when its setting is on).
void carve_and_smooth(TinView tin, const TerrainSettings& terrain, StepTimer& timer);

// Flags the triangles with a long edge; `killed_total` counts over the whole run, as the verbose
// line reports it.
void kill_long_edges(TinView tin, const TerrainSettings& terrain, StepTimer& timer, int64_t& killed_total);

// Traces the levels and writes every line through the writer, thinned as the tracer is set up;
// prints the run's statistics when verbose and closes the writer. False (after the message) when
// writing failed.
bool trace_and_write(ContourTracer& tracer, ConstTinView tin, std::span<const float> levels,
                     const DriverSettings& settings, LINEwriter& writer, const char* input_name,
                     StepTimer& timer);
