// Everything the user says about point input on the command line: the input files (from -i,
// file lists and wildcards), merging, standard input, rescaling and reoffsetting, the area of
// interest, and the settings of readers that later read other formats. Hands out one opened
// reader per input.
//
// A reader is a source followed by stages (pointio/laspointstage.h). open() picks the source by
// the file name (las_reader_kind: LAS and compressed files go to LASreaderLAS; text, BIN, SHP, ASC,
// BIL, DTM, PLY and QFIT to their readers in pointio/detail/, opened in lasinputopener_sources.cpp)
// and set_stages_before_open sets the stages that must be in place before the source opens
// (requantize for sources of integers, and the filter and transform the point stages built from
// the command line); the area of interest is set after the open. A new source kind is one more
// entry in the kind table and one more branch in open_other_source; reopen() opens it again the
// same way, and calls reset on the stages of the reader it hands back.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ArgumentCursor;
class LASpointStages;
class LASreader;
class LASreaderLAS;
class LASreaderTXT;
struct LASquantizer;

// The kind of source a file name selects ("las", "bin", "shp", "asc", "bil", "dtm", "ply",
// "qfit" or "txt"): the first of the kinds whose ending appears anywhere in the name; with
// `itxt` every name is text.
const char* las_reader_kind(const std::string& name, bool itxt);

// What a file list can say about one file beyond its name.
struct LASfileListEntry {
  uint32_t id = 0;
  bool has_id = false;
  bool has_extent = false;  // npoints and the rectangle below are known
  int64_t npoints = 0;
  double min_x = 0, min_y = 0, max_x = 0, max_y = 0;
};

struct LAStextAttribute {
  int32_t data_type = 0;  // 1 to 10
  std::string name, description;
  double scale = 1.0, offset = 0.0, pre_scale = 1.0, pre_offset = 0.0, no_data = 2e307;
};

struct InsideTile {
  float ll_x, ll_y, size;
};
struct InsideCircle {
  double center_x, center_y, radius;
};
struct InsideRectangle {
  double min_x, min_y, max_x, max_y;
};

class LASinputOpener {
 public:
  LASinputOpener();
  ~LASinputOpener();
  LASinputOpener(const LASinputOpener&) = delete;
  LASinputOpener& operator=(const LASinputOpener&) = delete;

  // Who builds the filter, transform and ignore set from the command line. Without one, their
  // options are left for other parsers (and end as words nobody understands).
  void set_point_stages(std::unique_ptr<LASpointStages> stages);
  LASpointStages* get_point_stages() const { return stages_.get(); }

  // Consumes the input options of argv[1..argc-1] by blanking them, then lets the point stages
  // consume theirs. Answers false after printing the message of a missing or invalid argument.
  bool parse(int argc, char** argv, bool accept_ignore = false);
  void usage() const;

  // The next input: the next file of the list, all files merged, or standard input. None when
  // everything was handed out or the open failed (with its message printed).
  std::unique_ptr<LASreader> open();
  // Rewinds `reader` (a reader this opener handed out) to its first point for another pass. A
  // buffered reader keeps its buffer points only with remain_buffered.
  bool reopen(std::unique_ptr<LASreader>& reader, bool remain_buffered = false);

  bool active() const { return file_name_current_ < file_names_.size() || use_stdin_; }
  void reset();
  bool is_piped() const { return use_stdin_ && file_names_.empty(); }
  bool is_buffered() const {
    return buffer_size_ > 0 && (file_names_.size() > 1 || !neighbor_file_names_.empty());
  }
  bool is_merged() const { return merged_; }
  uint32_t file_name_number() const { return static_cast<uint32_t>(file_names_.size()); }
  // The name last handed out, else the first of the list, else none.
  const char* get_file_name() const;
  // The index-th input file name, in the order the files are handed out (index < file_name_number()).
  const std::string& get_file_name(uint32_t index) const { return file_names_[index].name; }
  // Every file the run reads points from: the inputs and their neighbours.
  std::vector<std::string> read_file_names() const;

  // The point fields the caller needs; readers add those their stages read.
  void set_decompress_selective(uint32_t mask) { decompress_selective_ = mask; }
  // False (after one error line per transform operation) when the transform of the input opened
  // last stored coordinates that did not fit 32-bit integers.
  bool check_for_overflow() const;
  void set_populate_header(bool populate) { populate_header_ = populate; }
  void set_pipe_on(bool pipe_on) { pipe_on_ = pipe_on; }
  bool is_pipe_on() const { return pipe_on_; }
  void set_inside_tile(float ll_x, float ll_y, float size) { tile_ = InsideTile{ll_x, ll_y, size}; }
  void set_inside_circle(double x, double y, double r) { circle_ = InsideCircle{x, y, r}; }
  void set_inside_rectangle(double min_x, double min_y, double max_x, double max_y) {
    rectangle_ = InsideRectangle{min_x, min_y, max_x, max_y};
  }
  // Adds a file name or expands a wildcard. Answers false when a wildcard matches nothing or a
  // plain name is no readable file (with the message printed).
  bool add_file_name(const std::string& name, bool unique, const LASfileListEntry& info = {});
  bool add_attribute(const LAStextAttribute& attribute);

  // Appends the options that reproduce this opener's settings; answers the characters written.
  int write_options(char* buffer, size_t size) const;
  // The same options appended to `text` (the unparse contract of common/option_text.h).
  void write_options(std::string& text) const;
  // The filter, transform and ignore options appended to `text` (the same contract), written back
  // exactly.
  void write_point_stage_options(std::string& text) const;

  // What a multi-process run hands each of its children besides the options above: the file, its
  // flight-line number and the buffering around it.
  const std::string& file_name_at(size_t index) const { return file_names_[index].name; }
  uint32_t get_files_are_flightlines() const { return files_are_flightlines_; }
  // The "-faf_index" given, less one (-1 without it).
  int32_t get_files_are_flightlines_index() const { return files_are_flightlines_index_; }
  float get_buffer_size() const { return buffer_size_; }
  const std::optional<std::string>& get_temp_file_base() const { return temp_file_base_; }

 private:
  struct FileName {
    std::string name;
    LASfileListEntry info;
  };

  enum class Parsed { kNotMine, kConsumed, kError, kHelp };
  Parsed parse_files(ArgumentCursor& args);
  Parsed parse_lists(ArgumentCursor& args);
  Parsed parse_area(ArgumentCursor& args);
  Parsed parse_scaling(ArgumentCursor& args);
  Parsed parse_text_input(ArgumentCursor& args, bool accept_ignore);
  Parsed parse_text_values(ArgumentCursor& args);
  bool finish_parse();
  void write_text_input_options(std::string& s) const;

  bool add_file_names_from_list(const char* list_file, bool neighbors);
  bool add_neighbor_file_name(const std::string& name, const LASfileListEntry& info = {});
  bool add_expanded(std::vector<FileName>& list, const std::string& name, bool unique,
                    const LASfileListEntry& info);

  std::unique_ptr<LASreader> open_single(const std::string& name);
  std::unique_ptr<LASreader> open_source(const char* kind, const std::string& name);
  // The sources other than LAS (pointio/lasinputopener_sources.cpp).
  // With a `quantization`, the source delivers its integers in it, else in the requested one.
  // A `wrapped` source is part of a merged or buffered reader, which applies the filter and the
  // transform itself: the source gets none.
  std::unique_ptr<LASreader> open_other_source(const char* kind, const std::string& name,
                                               const LASquantizer* quantization, bool wrapped) const;
  std::unique_ptr<LASreader> open_text_stdin();
  // Opens `reader` (not a LAS source) again for another pass; may replace it.
  bool reopen_other_source(std::unique_ptr<LASreader>& reader, const std::string& name);
  std::unique_ptr<LASreaderTXT> make_text_reader() const;
  std::unique_ptr<LASreader> open_merged();
  // The wrapping readers (pointio/lasinputopener_wrapped.cpp).
  std::unique_ptr<LASreader> open_buffered();
  std::unique_ptr<LASreader> open_buffered_source(const std::string& name,
                                                  const LASquantizer* quantization) const;
  std::unique_ptr<LASreader> wrap(std::unique_ptr<LASreader> reader, const char* kind);
  bool reopen_wrapped(std::unique_ptr<LASreader>& reader, bool remain_buffered, bool& ok);
  const char* las_kind_of(const std::string& name) const;
  std::unique_ptr<LASreader> open_stdin();
  std::unique_ptr<LASreaderLAS> make_las_reader() const;
  // The caller's fields and those the filter, transform and ignore set read.
  uint32_t fields_to_decode() const;
  // Starts the filter and transform again and sets their stages on `reader`.
  void set_point_stages_on(LASreader& reader) const;
  // Numbers the points of a single file by its flight line, when asked to.
  void number_flight_line(LASreader& reader) const;
  // The stages a source needs before it opens: requantization when it reads integers, then the
  // filter and the transform.
  void set_stages_before_open(LASreader& reader, bool requantize, bool auto_offset) const;
  bool apply_area(LASreader& reader, bool single_file) const;
  void attach_lax_index(LASreader& reader, const std::string& name) const;

  uint32_t io_ibuffer_size_ = 262144;
  std::vector<FileName> file_names_;
  size_t file_name_current_ = 0;
  std::optional<std::string> file_name_;  // the name last handed out
  std::vector<FileName> neighbor_file_names_;

  bool merged_ = false, stored_ = false, pipe_on_ = false, use_stdin_ = false, unique_ = false;
  bool populate_header_ = false;
  float buffer_size_ = 0.0f;
  std::optional<std::string> temp_file_base_;  // written back; the buffered reader will use it

  std::optional<std::array<double, 3>> scale_factor_;  // a 0 entry keeps that axis
  std::optional<std::array<double, 3>> offset_;
  bool auto_reoffset_ = false;

  uint32_t files_are_flightlines_ = 0;
  int32_t files_are_flightlines_index_ = -1;
  bool apply_file_source_ID_ = false;

  // Parsed now and read by the text, ASC and other readers once they exist.
  bool comma_not_point_ = false;
  std::optional<std::string> parse_string_;
  uint32_t skip_lines_ = 0;
  bool itxt_ = false, ipts_ = false, iptx_ = false, iptx_transform_ = false;
  float translate_intensity_ = 0.0f, scale_intensity_ = 1.0f;
  float translate_scan_angle_ = 0.0f, scale_scan_angle_ = 1.0f;
  std::vector<LAStextAttribute> attributes_;

  std::optional<InsideTile> tile_;
  std::optional<InsideCircle> circle_;
  std::optional<InsideRectangle> rectangle_;

  uint32_t decompress_selective_ = 0xFFFFFFFF;
  std::unique_ptr<LASpointStages> stages_;
};
