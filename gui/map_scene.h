// What the panel's map view shows, read from the chosen files without a window: the bounding box of
// every input file from its header, the breaklines as polylines, and a sample of points for VIEW.
// Nothing here stops the panel: a file that cannot be read becomes a warning line for its log.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct MapBox {
  double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
};

struct MapPoint {
  double x = 0, y = 0;
};

struct MapPolyline {
  std::vector<MapPoint> points;
};

struct MapSample {
  std::vector<double> xyz;  // x, y, z per point
  double min_z = 0, max_z = 0;
};

// The boxes of the files the names (or wildcards) stand for, from their headers. Names that match
// nothing or files that do not open add one warning each to `warnings`.
std::vector<MapBox> read_file_boxes(const std::vector<std::string>& names,
                                    std::vector<std::string>& warnings);

// The polylines of one breakline file, each from its first to its last point. `which` is "closed" or
// "open" for the messages. A name with an extension the readers do not know, or a file that cannot
// be read (or read to its end), gives a warning and whatever was read before the damage.
std::vector<MapPolyline> read_breaklines(const std::string& file_name, const char* which,
                                         std::vector<std::string>& warnings);

class LASinputOpener;
class LASreader;

// Up to `limit` points of the files, spread evenly over each file by its header count (each file
// gets its share of the limit), for a view from above. Read a budget of points at a time, so that a
// window can go on between the steps.
class PointSampler {
 public:
  PointSampler(const std::vector<std::string>& names, int64_t limit, std::vector<std::string>& warnings);
  ~PointSampler();
  PointSampler(const PointSampler&) = delete;
  PointSampler& operator=(const PointSampler&) = delete;

  // Reads up to `budget` more points (kept or passed over); answers whether any file is left.
  bool advance(int64_t budget, std::vector<std::string>& warnings);
  const MapSample& sample() const { return sample_; }
  MapSample take() { return std::move(sample_); }

 private:
  bool open_next();

  std::unique_ptr<LASinputOpener> opener_;
  std::unique_ptr<LASreader> reader_;
  int64_t share_ = 1;  // points to keep from each file
  int64_t step_ = 1;   // of the current file, every step-th point is kept
  int64_t index_ = 0, taken_ = 0;
  MapSample sample_;
};

// The whole sample at once.
MapSample read_point_sample(const std::vector<std::string>& names, int64_t limit,
                            std::vector<std::string>& warnings);
