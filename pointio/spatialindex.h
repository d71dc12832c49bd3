#pragma once
// A spatial index of one LAS or compressed file: a quadtree over its x/y extent and the runs of
// point indices in each cell. For an area of interest it tells which runs can hold points inside,
// and the reader seeks from run to run instead of reading the whole file. The index lives in a
// LAX file next to the point file (or embedded in a compressed file; see LASreaderLAS).
//
// Building: prepare() with the file's bounds and point count, add() every point in file order,
// complete(), write(). Reading it back: read(), then an intersect_* query and seek_next() on the
// reader until it answers false.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pointio/lasinterval.h"
#include "pointio/lasquadtree.h"

class ByteStreamIn;
class ByteStreamOut;
class LASreader;

// The LAX name of a point file: ".las" and ".rkp" give ".lax", ".LAS" and ".RKP" give ".LAX",
// any other name gets "lax" for its last three characters.
std::string lax_file_name(std::string_view point_file_name);

class LASspatialIndex {
 public:
  LASspatialIndex();

  // Starts an index for npoints points within the bounds. The depth is chosen so that a full cell
  // holds a few hundred to a thousand points.
  void prepare(double min_x, double min_y, double max_x, double max_y, uint64_t npoints);
  void add(double x, double y, uint32_t p_index);
  // Joins sibling cells that together hold fewer than minimum_points points into their parent,
  // joins runs of a cell whose gap is at most merge_gap points, and registers the cells.
  void complete(uint32_t minimum_points = 1000, uint32_t merge_gap = 50);

  // Reads the LAX file of a point file. A missing file answers false silently; a damaged one
  // prints "ERROR (LASspatialIndex): cannot read '<lax>'" after the reason and answers false.
  bool read(const std::string& point_file_name);
  // Reads an index from the stream's position (the bytes starting with "LASX").
  bool read(ByteStreamIn& stream);
  bool write(ByteStreamOut& stream) const;
  // Writes the LAX file of a point file; false after a message when it cannot be written.
  bool write(const std::string& point_file_name) const;

  // Prepare the runs for an area; false when no run can hold a point of it.
  bool intersect_rectangle(double min_x, double min_y, double max_x, double max_y);
  bool intersect_tile(float ll_x, float ll_y, float size);
  bool intersect_circle(double center_x, double center_y, double radius);
  // Positions the reader at the next candidate point; false when no run is left.
  bool seek_next(LASreader& reader);

  uint32_t get_full() const { return full_; }
  uint32_t get_total() const { return total_; }
  LASquadtree& get_quadtree() { return quadtree_; }
  LASinterval& get_interval() { return interval_; }

 private:
  bool merge(const std::vector<uint32_t>& cells);

  LASquadtree quadtree_;
  LASinterval interval_;
  uint32_t start_ = 0, end_ = 0;
  uint32_t full_ = 0, total_ = 0;
  bool have_run_ = false;
  int64_t handed_out_ = -1;  // the reader's position when the last candidate was handed out
};
