// What the panel's map view shows, read from the chosen files without a window: the bounding box of
// every input file from its header, the breaklines as polylines, and a sample of points for VIEW.
// Nothing here stops the panel: a file that cannot be read becomes a warning line for its log.
#pragma once

#include <cstdint>
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

// Up to `limit` points of the files, spread evenly over each file by its header count (each file
// gets its share of the limit), for a view from above.
MapSample read_point_sample(const std::vector<std::string>& names, int64_t limit,
                            std::vector<std::string>& warnings);
