// The breakline files of a run, lake polygons ("-lakes") and creek polylines ("-creeks"): counted
// and checked again for every input file (their points are stored relative to each input's
// origin), then inserted into its constrained TIN ahead of the input points.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/breakline_reader.h"
#include "app/driver_options.h"

class CTIN;
class StepTimer;

class Breaklines {
 public:
  explicit Breaklines(const DriverSettings& settings);

  // Opens the files in use and counts their points: `count` is what the point buffer must hold
  // ahead of the input points (0: no breaklines for this input). A file that yields no point is
  // left out for the rest of the run. False after a fatal message (for an unknown file kind the
  // usage text has been shown too).
  bool count(uint32_t& count, StepTimer& timer);

  // Stores the breakline points in the first slots of `points` (four words each, x and y relative
  // to the origin) and inserts them: lake polygons with their closing segments, the lakes flagged,
  // then creek polylines. `scale_x`/`scale_y` are the input's quantum, within which a lake's
  // closing point must meet its first. False after a fatal message.
  bool insert(CTIN& tin, float* points, double origin_x, double origin_y, double scale_x, double scale_y);

  // Breakline points stored by insert(): the vertices the smoothing lock holds.
  uint32_t stored() const { return stored_; }

  // Whether an input point at real (x, y) lies within the lakes' bounding box, where it must be
  // tested against the lakes.
  bool near_lakes(double x, double y) const;

 private:
  bool count_lakes(uint32_t& count, bool verbose);
  bool count_creeks(uint32_t& count, bool verbose);
  bool insert_file(BreaklineReader& reader, const std::string& name, bool lakes, CTIN& tin, float* points,
                   double origin_x, double origin_y, double scale_x, double scale_y);

  std::optional<std::string> lakes_file_;
  std::optional<std::string> creeks_file_;
  bool verbose_;
  std::unique_ptr<BreaklineReader> lakes_;
  std::unique_ptr<BreaklineReader> creeks_;
  // The lakes' bounding box in input coordinates: only points inside it need the lake test.
  double lake_min_x_ = 0, lake_min_y_ = 0, lake_max_x_ = 0, lake_max_y_ = 0;
  uint32_t stored_ = 0;
  uint32_t capacity_ = 0;
};

struct PointSet;

// Triangulates the input points with the breaklines: the breakline points take the first slots
// of the point buffer (which grows to four words per vertex) and go in first, with their
// segments; then the input points in the order the plain TIN uses (sorted along a Hilbert curve,
// or as read with `arrival_order`), those inside a lake dropped. The breakline vertices are locked
// against smoothing. False after a fatal message.
bool triangulate_with_breaklines(PointSet& points, uint32_t breakline_points, Breaklines& breaklines,
                                 bool arrival_order, double scale_x, double scale_y, const char* input_name,
                                 CTIN& tin, StepTimer& timer);
