#pragma once
// The abstract point reader every point source implements, with the read dispatch and the area
// of interest shared by all of them.

#include <cstdint>

#include "pointio/bytestreamin.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

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

  LASreader() = default;
  LASreader(const LASreader&) = delete;
  LASreader& operator=(const LASreader&) = delete;

  virtual int32_t get_format() const = 0;
  virtual bool is_layered() const { return false; }
  // Removes the area of interest and restores the header bounds saved when it was set.
  virtual bool inside_none();
  // The area setters rewrite the header bounds to the area; read_point then delivers only the
  // points inside it (lower/left borders inside, upper/right borders and the circle outside).
  virtual bool inside_tile(float ll_x, float ll_y, float size);
  virtual bool inside_circle(double center_x, double center_y, double radius);
  virtual bool inside_rectangle(double min_x, double min_y, double max_x, double max_y);
  // Positions so that the next read delivers record p_index.
  virtual bool seek(int64_t p_index) = 0;
  virtual ByteStreamIn* get_stream() const = 0;
  virtual void close(bool close_stream = true) = 0;
  virtual ~LASreader() = default;
  // The reader's own next point without the area test; increments p_count on success.
  virtual bool read_point_unfiltered() = 0;
  // The most point records the source can really deliver, or -1 when it cannot tell (a pipe).
  // Callers that size buffers from npoints cap them with it; a header count may lie.
  virtual int64_t max_points_in_file() const { return npoints; }

  // What every consumer calls: the next point that passes the area test.
  bool read_point() { return (this->*read_step_)(); }

  int64_t get_npoints() const { return npoints; }
  // True once reading stopped early on a damaged source (truncated points, a failed decode):
  // the points delivered are fewer than the source announced.
  bool is_incomplete() const { return incomplete; }
  int64_t get_p_count() const { return p_count; }
  Inside get_inside() const { return inside_; }
  float get_t_ll_x() const { return t_ll_x_; }
  float get_t_ll_y() const { return t_ll_y_; }
  float get_t_size() const { return t_size_; }
  double get_c_center_x() const { return c_center_x_; }
  double get_c_center_y() const { return c_center_y_; }
  double get_c_radius() const { return c_radius_; }
  double get_r_min_x() const { return r_min_x_; }
  double get_r_min_y() const { return r_min_y_; }
  double get_r_max_x() const { return r_max_x_; }
  double get_r_max_y() const { return r_max_y_; }

  LASheader header;
  LASpoint point;

 protected:
  using ReadStep = bool (LASreader::*)();

  int64_t npoints = 0;  // point records the reader will deliver
  int64_t p_count = 0;  // delivered so far
  bool incomplete = false;

 private:
  bool read_point_inside_tile();
  bool read_point_inside_circle();
  bool read_point_inside_rectangle();
  bool read_point_none() { return false; }
  // Saves the header bounds once, rewrites them to the area and picks the area step (or the
  // always-false step when the area cannot overlap the saved bounds).
  void select_area_step(Inside kind, double min_x, double min_y, double max_x, double max_y,
                        ReadStep area_step);

  ReadStep read_step_ = &LASreader::read_point_unfiltered;

  Inside inside_ = INSIDE_NONE;
  float t_ll_x_ = 0, t_ll_y_ = 0, t_size_ = 0, t_ur_x_ = 0, t_ur_y_ = 0;
  double c_center_x_ = 0, c_center_y_ = 0, c_radius_ = 0, c_radius_squared_ = 0;
  double r_min_x_ = 0, r_min_y_ = 0, r_max_x_ = 0, r_max_y_ = 0;
  double orig_min_x_ = 0, orig_min_y_ = 0, orig_max_x_ = 0, orig_max_y_ = 0;
};
