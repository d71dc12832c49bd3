// The line output options of the command line: output name, directory, appendix, cut and format,
// and the choice and opening of the matching LINEwriter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "lineio/linewriter.h"

class GeoProjectionConverter;

// Name rules (a "name search" looks backwards from the end for '.', '/' or '\' at a position > 0):
// - set_file_name keeps the name as given and derives the effective name from it with the directory,
//   then the cut, then the appendix. Any later -odir, -ocut or -odix re-derives it from the name as
//   given, so their order on the command line never matters and repeating one replaces it.
// - make_file_name cuts, appends and then replaces the input's extension (all characters after the
//   final '.') by the format's; an input without an extension gets '.' and the format's extension;
//   no input (or an empty one) gives "output." plus the extension.
// - A cut never reaches into the directory part and never empties the base name: it keeps at least
//   the base name's first character (tile.las cut by 9 gives t.shp).
// - Directories are joined with '/'; both '/' and '\' are recognised as separators in names.
class LineOutputOpener {
 public:
  // Consumes the options it knows by emptying their words. Fails for a missing option argument, an
  // invalid -odir directory, an -ocut count that is not a non-negative integer, and an output that
  // could not be written: an -o name whose extension names no format (unless a format option
  // states one: then a warning and the name is used as given), a format without a writer, and a
  // Shapefile name not ending in ".shp" or a Shapefile on standard output.
  bool parse(int argc, char* argv[]);
  void usage() const;

  void set_file_name(const char* name);
  void make_file_name(const char* input_name);
  // Answers whether the directory is usable: empty, a drive ("D:") or an existing directory.
  bool set_directory(const char* directory);
  void set_appendix(const char* appendix);
  void set_cut(std::uint32_t cut);
  void set_format(const char* format);
  void set_dbf(bool flag) { dbf = flag; }
  // Attaching a converter (not owned; nullptr detaches) makes open_writer write a .prj beside every
  // Shapefile.
  void set_converter(GeoProjectionConverter* geo_converter) { converter = geo_converter; }

  bool is_active() const { return file_name.has_value() || use_stdout; }
  bool format_is(const char* word) const;

  // The writer for the format, owned by the caller, or none after one "ERROR: ..." line. flag: a
  // Shapefile's use-a-DBFwriter setting, a KML file's one-placemark-per-line setting. A KML writer
  // gets the clamp-to-ground mode and the elevation offset of the options; its vertices must
  // already be longitude/latitude. A Shapefile gets the .prj of the attached converter's source
  // projection; it appears together with the other files when the writer closes.
  std::unique_ptr<LINEwriter> open_writer(bool flag);
  // Writes the converter's source projection as OGC WKT into name (else file_name) with its
  // extension replaced by "prj".
  bool write_prj(const char* name);

  // Writes the options as command-line text into buffer (NUL-terminated) and answers the number of
  // characters written. When the text does not fit in size bytes the buffer holds the empty string
  // and the answer is -1: a cut command line would silently change what a further process does.
  int unparse(char* buffer, std::size_t size, bool with_names) const;
  // The same options appended to `text` (the unparse contract of common/option_text.h).
  void unparse(std::string& text, bool with_names) const;

  const char* get_file_name() const { return file_name ? file_name->c_str() : nullptr; }
  const char* get_directory() const { return directory ? directory->c_str() : nullptr; }
  const char* get_appendix() const { return appendix ? appendix->c_str() : nullptr; }
  std::uint32_t get_cut() const { return cut; }
  const std::string& get_format() const { return format; }
  bool get_dbf() const { return dbf; }
  bool get_use_stdout() const { return use_stdout; }
  bool get_only_2d() const { return only_2d; }
  bool get_kml_clamp_to_ground() const { return kml_clamp_to_ground; }
  float get_kml_elevation_offset() const { return kml_elevation_offset; }

  GeoProjectionConverter* converter = nullptr;  // not owned

 private:
  void derive_file_name();
  bool check_output();
  // The OGC WKT of the converter's source projection; false (silently without a projection).
  bool prj_text(std::string& wkt) const;
  const char* extension() const;

  std::optional<std::string> directory;
  std::optional<std::string> file_name;   // the effective output name
  std::optional<std::string> given_name;  // the name as passed to set_file_name
  std::optional<std::string> appendix;
  std::uint32_t cut = 0;
  std::string format = "shp";
  bool format_stated = false;          // a format option was given
  const char* name_problem = nullptr;  // what is wrong with the -o name's extension
  bool dbf = false;
  bool use_stdout = false;
  bool only_2d = false;
  bool kml_clamp_to_ground = true;
  float kml_elevation_offset = 0.0f;
};
