// Readers of breakline files: lake polygons and creek polylines with elevations, from ESRI
// Shapefiles (types 3, 5, 13, 15, 23, 25) or text files of coordinates.
//
// Files are hostile input: every count is checked against the bytes that hold it before it sizes
// anything, and a damaged file stops reading with one "ERROR: ..." line and failed() true, so the
// driver can stop with exit code 1 instead of triangulating half a breakline.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class BreaklineReader {
 public:
  virtual ~BreaklineReader();
  // Goes back to the first point of the file.
  virtual bool reopen() = 0;
  // Delivers the next point; false at the end of the file or after an error (see failed()).
  virtual bool read_point() = 0;
  virtual void close() = 0;

  // Whether reading stopped at damaged content (its message printed) rather than at the end.
  bool failed() const { return failed_; }

  // The point read last: first / last tell whether it begins or ends a polyline or polygon.
  bool first = false;
  bool last = false;
  double x = 0.0, y = 0.0, z = 0.0;

 protected:
  bool failed_ = false;
};

// Opens `file_name` by its extension (".shp"/".SHP": Shapefile, else ".txt"/".TXT": text).
// `kind` is "lakes" or "creeks" for the messages. Answers null after the message.
// `unknown_format` tells the caller that the name had neither extension (the usage text follows).
std::unique_ptr<BreaklineReader> open_breakline_reader(const std::string& file_name, const char* kind,
                                                       bool& unknown_format);

// The Shapefile reader alone, for the fuzz target: reads from an open file it then owns.
std::unique_ptr<BreaklineReader> open_breakline_shapefile(std::FILE* file, const std::string& file_name);
