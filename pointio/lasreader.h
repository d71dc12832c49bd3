// The abstract point reader every point source implements: its header and point, and the stages
// (pointio/laspointstage.h) that every point passes on its way to the caller.
//
// Adding a source (text, PLY, rasters, ...): derive from LASreader, fill `header` and prepare
// `point` in the class's own open operation, and implement read_point_unfiltered (the next point
// of the source, counting p_count), seek, get_stream, close and get_format. Call bind_stages()
// at the end of a successful open so that stages set before the open can adapt the header. The
// input opener (LASinputOpener) chooses the source by the file name and sets the stages.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "pointio/bytestreamin.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"
#include "pointio/laspointstage.h"
#include "pointio/spatialindex.h"

class LASreader {
 public:
  enum Inside { INSIDE_NONE = 0, INSIDE_TILE = 1, INSIDE_CIRCLE = 2, INSIDE_RECTANGLE = 3 };

  // Format codes answered by get_format.
  enum Format {
    FORMAT_LAS = 1,
    FORMAT_RKP = 2,
    FORMAT_BIN = 3,
    FORMAT_QFIT = 4,
    FORMAT_TXT = 6,
    FORMAT_SHP = 7,
    FORMAT_PLY = 8,
    FORMAT_ASC = 9,
    FORMAT_BIL = 10,
    FORMAT_DTM = 10,
  };

  // The stage slots, in the order every point passes them.
  enum StageSlot { STAGE_REQUANTIZE, STAGE_AREA, STAGE_FILTER, STAGE_TRANSFORM, STAGE_SLOTS };

  LASreader() = default;
  LASreader(const LASreader&) = delete;
  LASreader& operator=(const LASreader&) = delete;
  virtual ~LASreader();

  virtual int32_t get_format() const = 0;
  virtual bool is_layered() const { return false; }
  // Removes the area of interest and restores the header bounds saved when it was set.
  virtual bool inside_none();
  // The area setters rewrite the header bounds to the area; read_point then delivers only the
  // points inside it (lower/left borders inside, upper/right borders and the circle outside).
  // Set the area after the source is open: it is compared with the source's bounds.
  virtual bool inside_tile(float ll_x, float ll_y, float size);
  virtual bool inside_circle(double center_x, double center_y, double radius);
  virtual bool inside_rectangle(double min_x, double min_y, double max_x, double max_y);
  // Positions so that the next read delivers record p_index.
  virtual bool seek(int64_t p_index) = 0;
  virtual ByteStreamIn* get_stream() const = 0;
  virtual void close(bool close_stream = true) = 0;
  // The source's own next point, before any stage; increments p_count on success.
  virtual bool read_point_unfiltered() = 0;
  // The most point records the source can really deliver, or -1 when it cannot tell (a pipe).
  // Callers that size buffers from npoints cap them with it; a header count may lie.
  virtual int64_t max_points_in_file() const { return npoints; }
  // The header of the reader's own file: a buffered reader answers its main file's, without the
  // buffer around it; readers that wrap another answer the wrapped one's.
  virtual const LASheader& main_header() const { return header; }
  // Whether the header's x and y bounds hold every point of the source. A source that learns its
  // bounds while reading (text or PLY read without a counting pass) or estimates them from a
  // sample of its points (BIN, QFIT) answers false; an area of interest is then tested point by
  // point, never refused as a whole because the bounds seen at the start miss it.
  virtual bool bounds_are_complete() const { return true; }

  // What every consumer calls: the next point that passes every stage.
  bool read_point() {
    if (stage_count_ == 0) return read_point_unfiltered();
    return read_point_through_stages();
  }

  // Puts `stage` (or none) into its slot, replacing what was there. Stages that take part in
  // opening (requantize, filter, transform) are set before the source is opened.
  void set_stage(StageSlot slot, std::unique_ptr<LASpointStage> stage);
  LASpointStage* get_stage(StageSlot slot) const { return stages_[slot].get(); }
  // The fields the stages need (las_fields bits), for the decoder of the source.
  uint32_t stage_field_mask() const;
  // Starts the stages' per-pass state again, before another pass over the same source.
  void reset_stages();

  // Attaches a spatial index (or none), replacing the previous one. With an index, the areas set
  // afterwards read only the runs of points it names. Set it before the area.
  void set_index(std::unique_ptr<LASspatialIndex> index);
  LASspatialIndex* get_index() const { return index_.get(); }

  int64_t get_npoints() const { return npoints; }
  // True once reading stopped early on a damaged source (truncated points, a failed decode):
  // the points delivered are fewer than the source announced.
  bool is_incomplete() const { return incomplete; }
  int64_t get_p_count() const { return p_count; }
  Inside get_inside() const { return inside_; }

  LASheader header;
  LASpoint point;

 protected:
  // Lets the stages adapt to the header the source has just read. False when a stage refuses the
  // header (it printed why); the open must then fail.
  bool bind_stages();

  int64_t npoints = 0;  // point records the reader will deliver
  int64_t p_count = 0;  // delivered so far
  bool incomplete = false;

 private:
  bool read_point_through_stages();
  bool read_point_through_index();
  // The verdict of the stages on the point just read, the first stage's drop table first.
  bool passes_stages();
  void update_stage_order();
  bool overlaps_source(double min_x, double min_y, double max_x, double max_y) const;
  // Saves the header bounds once and rewrites them to the area.
  void set_area(Inside kind, double min_x, double min_y, double max_x, double max_y,
                std::unique_ptr<LASpointStage> stage);

  std::array<std::unique_ptr<LASpointStage>, STAGE_SLOTS> stages_;
  std::array<LASpointStage*, STAGE_SLOTS> order_{};  // the set stages, in slot order
  int stage_count_ = 0;
  LASdropTable table_;       // the first stage's, made by the reader itself
  bool keeps_none_ = false;  // a stage can keep no point at all

  std::unique_ptr<LASspatialIndex> index_;
  bool indexed_ = false;  // the area reads the runs the index named

  Inside inside_ = INSIDE_NONE;
  double orig_min_x_ = 0, orig_min_y_ = 0, orig_max_x_ = 0, orig_max_y_ = 0;
};
