// Contours as a KML document for virtual globes: three line styles and, by default, one placemark
// whose MultiGeometry holds every contour as a LineString. Coordinates must already be longitude
// and latitude (wrap the writer in a LINEwriterReprojector for projected input).
#pragma once

#include "lineio/linewriter.h"
#include "lineio/output_file.h"

// Every vertex is written as "lon,lat,elevation" with eight, eight and two decimals; the elevation
// carries the elevation offset. only_2d is ignored: KML altitudes are always present, and the
// clamp-to-ground mode (the default) already makes viewers drape the lines on their terrain.
//
// end_line without an open LineString writes nothing, so a repeated end_line cannot leave closing
// tags without their opening ones. close() answers false when any write since open failed.
class KMLwriter : public LINEwriter {
 public:
  KMLwriter() = default;
  ~KMLwriter() override;

  // name none (nullptr) writes to standard output. Failure prints "ERROR: cannot open KML file '%s'".
  // one_placemark_per_line gives every contour a placemark of its own (with a balloon style that
  // shows its name and description) instead of one placemark for all.
  bool open(const char* file_name, bool one_placemark_per_line = false);
  // false writes every LineString with the "absolute" altitude mode.
  void set_clamp_to_ground(bool clamp) { kml_clamp_to_ground = clamp; }
  // Added to every elevation written.
  void set_elevation_offset(float offset) { kml_elevation_offset = offset; }

  bool add_vertex(float x, float y, float z) override;
  // Ends a LineString still open, then writes the two points as a LineString of their own.
  bool add_segment(float x1, float y1, float z1, float x2, float y2, float z2) override;
  bool end_line() override;
  bool close() override;

 private:
  void write_header();
  void open_placemark();
  void close_placemark();
  void write_coordinate(double lon, double lat, double elevation);

  OutputFile file;
  bool one_placemark_per_line = false;
  bool line_closed = true;      // the next vertex starts a new LineString
  bool header_pending = true;   // the document header is not written yet
  bool placemark_open = false;  // the shared placemark of all lines has been opened
  bool kml_clamp_to_ground = true;
  float kml_elevation_offset = 0.0f;
};
