// Parsing of the input options and their help text.
#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/argument_cursor.h"
#include "common/messages.h"
#include "common/numbers.h"
#include "common/option_text.h"
#include "pointio/lasinputopener.h"
#include "pointio/laspointstages.h"

namespace {

bool parse_real(const char* text, double& value) {
  return read_number(text, value) == NumberVerdict::kOk;
}

bool parse_u32(const char* text, uint32_t& value) {
  return read_number(text, value) == NumberVerdict::kOk;
}

bool has_wildcard(const std::string& name) {
  return name.find_first_of("*?[") != std::string::npos;
}

bool is_readable_file(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void print_ignore_help() {
  static const char* const lines[] = {"Ignore points based on classifications.\n",
                                      "  -ignore_class 7\n",
                                      "  -ignore_class 0 1 7 33\n",
                                      "Ignore points based on return type.\n",
                                      "  -ignore_first -ignore_first_of_many\n",
                                      "  -ignore_last -ignore_last_of_many\n",
                                      "  -ignore_intermediate\n",
                                      "  -ignore_single\n",
                                      "Ignore points based on flags.\n",
                                      "  -ignore_synthetic -ignore_keypoint\n",
                                      "  -ignore_withheld -ignore_overlap\n"};
  for (const char* line : lines) print_message_text(line);
}

}  // namespace

void LASinputOpener::usage() const {
  static const char* const lines[] = {"Supported LAS Inputs\n",
                                      "  -i lidar.las\n",
                                      "  -i lidar.rkp\n",
                                      "  -i lidar1.las lidar2.las lidar3.las -merged\n",
                                      "  -i *.las - merged\n",
                                      "  -i flight0??.rkp flight1??.rkp\n",
                                      "  -i terrasolid.bin\n",
                                      "  -i esri.shp\n",
                                      "  -i lidar.txt -iparse xyzti -iskip 2 (on-the-fly from ASCII)\n",
                                      "  -i lidar.txt -iparse xyzi -itranslate_intensity 1024\n",
                                      "  -lof file_list.txt\n",
                                      "  -stdin (pipe from stdin)\n",
                                      "  -rescale 0.01 0.01 0.001\n",
                                      "  -rescale_xy 0.01 0.01\n",
                                      "  -rescale_z 0.01\n",
                                      "  -reoffset 600000 4000000 0\n",
                                      "Fast AOI Queries for LAS/RKP with spatial indexing LAX files\n",
                                      "  -inside min_x min_y max_x max_y\n",
                                      "  -inside_tile ll_x ll_y size\n",
                                      "  -inside_circle center_x center_y radius\n"};
  for (const char* line : lines) print_message_text(line);
}

bool LASinputOpener::add_expanded(std::vector<FileName>& list, const std::string& name, bool unique,
                                  const LASfileListEntry& info) {
  std::vector<std::string> names;
  if (has_wildcard(name)) {
    glob_t matches{};
    const int rc = ::glob(name.c_str(), 0, nullptr, &matches);
    if (rc == 0) {
      for (size_t i = 0; i < matches.gl_pathc; i++) {
        if (is_readable_file(matches.gl_pathv[i])) names.emplace_back(matches.gl_pathv[i]);
      }
    }
    globfree(&matches);
    if (names.empty()) {
      print_message("ERROR: no file matches '%s'\n", name.c_str());
      return false;
    }
  } else {
    // A missing file is reported now, before any output is written, not in the middle of a batch.
    if (!is_readable_file(name)) {
      print_message("ERROR: file '%s' not found\n", name.c_str());
      return false;
    }
    names.push_back(name);
  }
  for (auto& n : names) {
    if (unique) {
      bool seen = false;
      for (const auto& f : list) seen = seen || f.name == n;
      if (seen) continue;
    }
    list.push_back(FileName{std::move(n), info});
  }
  return true;
}

bool LASinputOpener::add_file_name(const std::string& name, bool unique, const LASfileListEntry& info) {
  return add_expanded(file_names_, name, unique, info);
}

bool LASinputOpener::add_neighbor_file_name(const std::string& name, const LASfileListEntry& info) {
  return add_expanded(neighbor_file_names_, name, false, info);
}

bool LASinputOpener::add_attribute(const LAStextAttribute& attribute) {
  if (attributes_.size() >= 32) {
    print_message("ERROR: at most 32 extra attributes can be added. ignoring attribute '%s'.\n",
                  attribute.name.c_str());
    return false;
  }
  attributes_.push_back(attribute);
  return true;
}

// One line of a file list: "ID,npoints,min_x,min_y,max_x,max_y,name", "ID,name" or a plain name.
static void split_list_line(const char* line, bool neighbors, std::string& name, LASfileListEntry& info) {
  unsigned id = 0;
  long long npoints = 0;
  double r[4];
  int consumed = 0;
  if (std::sscanf(line, "%u,%lld,%lf,%lf,%lf,%lf,%n", &id, &npoints, &r[0], &r[1], &r[2], &r[3], &consumed) ==
          6 &&
      consumed > 0) {
    const char* n = line + consumed;
    while (*n == ' ' || *n == '\t') n++;
    name = n;
    info.has_id = !neighbors;
    info.id = id;
    info.has_extent = true;
    info.npoints = npoints;
    info.min_x = r[0], info.min_y = r[1], info.max_x = r[2], info.max_y = r[3];
    return;
  }
  consumed = 0;
  if (!neighbors && std::sscanf(line, "%u,%n", &id, &consumed) == 1 && consumed > 0 &&
      line[consumed] != '\0') {
    name = line + consumed;
    info.has_id = true;
    info.id = id;
    return;
  }
  name = line;
}

bool LASinputOpener::add_file_names_from_list(const char* list_file, bool neighbors) {
  FILE* file = std::fopen(list_file, "r");
  if (!file) {
    print_message("ERROR: cannot open '%s'\n", list_file);
    return false;
  }
  constexpr size_t kMaxLine = 2048;
  char line[kMaxLine + 2];
  bool ok = true;
  for (unsigned number = 1; ok && std::fgets(line, sizeof line, file); number++) {
    size_t len = std::strlen(line);
    if (len > kMaxLine && line[len - 1] != '\n') {
      print_message("ERROR: line %u of '%s' is longer than %u characters\n", number, list_file,
                    static_cast<unsigned>(kMaxLine));
      ok = false;
      break;
    }
    while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r' || line[len - 1] == ' ' ||
                       line[len - 1] == '\t')) {
      line[--len] = '\0';
    }
    if (len == 0) continue;
    std::string name;
    LASfileListEntry info;
    split_list_line(line, neighbors, name, info);
    ok = neighbors ? add_neighbor_file_name(name, info) : add_file_name(name, unique_, info);
  }
  if (ok && std::ferror(file)) {
    print_message("ERROR: reading '%s' failed\n", list_file);
    ok = false;
  }
  std::fclose(file);
  return ok;
}

namespace {

// A scale factor of 0 keeps the file's own; a negative one is no quantum at all.
constexpr NumberRange kScaleFactors = NumberRange::non_negative();

// Reads `n` real arguments after the option. A missing argument prints `missing`; a bad one (no
// number, or outside `range`) prints `prefix` followed by ", but '<word>' is not a valid <name><suffix>".
bool read_reals(const ArgumentCursor& args, int n, const char* const* names, const char* missing,
                const char* prefix, const char* suffix, double* values,
                NumberRange range = NumberRange::any()) {
  if (!args.has(n)) {
    print_message(missing, args.option());
    return false;
  }
  for (int k = 0; k < n; k++) {
    if (read_number(args.argument(1 + k), values[k], range) != NumberVerdict::kOk) {
      print_message(prefix, args.option());
      print_message(", but '%s' is not a valid %s%s", args.argument(1 + k), names[k], suffix);
      return false;
    }
  }
  return true;
}

}  // namespace

bool LASinputOpener::parse(int argc, char** argv, bool accept_ignore) {
  ArgumentCursor args(argc, argv);
  while (args.next()) {
    Parsed r = parse_files(args);
    if (r == Parsed::kNotMine) r = parse_area(args);
    if (r == Parsed::kNotMine) r = parse_scaling(args);
    if (r == Parsed::kNotMine) r = parse_text_input(args, accept_ignore);
    if (r == Parsed::kError) return false;
    if (r == Parsed::kHelp) return true;
  }
  if (!finish_parse()) return false;
  return !stages_ || stages_->parse(argc, argv, accept_ignore);
}

LASinputOpener::Parsed LASinputOpener::parse_files(ArgumentCursor& args) {
  const char* a = args.option();
  if (!std::strcmp(a, "-h") || !std::strcmp(a, "-help")) {
    if (stages_) stages_->usage();
    print_ignore_help();
    usage();
    return Parsed::kHelp;
  }
  if (!std::strcmp(a, "-i") || !std::strcmp(a, "-neighbors")) {
    const bool neighbors = a[1] == 'n';
    if (!args.has(1) || args.argument(1)[0] == '-' || args.argument(1)[0] == '\0') {
      print_message("ERROR: '%s' needs at least 1 argument: file_name or wild_card\n", a);
      return Parsed::kError;
    }
    int count = 0;
    while (args.has(count + 1) && args.argument(count + 1)[0] != '-' && args.argument(count + 1)[0] != '\0') {
      const char* name = args.argument(++count);
      const bool ok = neighbors ? add_neighbor_file_name(name) : add_file_name(name, unique_);
      if (!ok) return Parsed::kError;
    }
    args.consume(count);
    return Parsed::kConsumed;
  }
  bool* flag = nullptr;
  if (!std::strcmp(a, "-unique"))
    flag = &unique_;
  else if (!std::strcmp(a, "-comma_not_point"))
    flag = &comma_not_point_;
  else if (!std::strcmp(a, "-merged"))
    flag = &merged_;
  else if (!std::strcmp(a, "-pipe_on"))
    flag = &pipe_on_;
  else if (!std::strcmp(a, "-populate"))
    flag = &populate_header_;
  else if (!std::strcmp(a, "-apply_file_source_ID"))
    flag = &apply_file_source_ID_;
  else if (!std::strcmp(a, "-stdin"))
    flag = &use_stdin_;
  else if (!std::strcmp(a, "-stored"))
    flag = &stored_;
  else if (!std::strcmp(a, "-auto_reoffset"))
    flag = &auto_reoffset_;
  if (flag) {
    *flag = true;
    args.consume(0);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-do_not_populate")) {
    populate_header_ = false;
    args.consume(0);
    return Parsed::kConsumed;
  }
  return parse_lists(args);
}

LASinputOpener::Parsed LASinputOpener::parse_lists(ArgumentCursor& args) {
  const char* a = args.option();
  if (!std::strcmp(a, "-lof") || !std::strcmp(a, "-neighbors_lof")) {
    const bool neighbors = a[1] == 'n';
    if (!args.has(1)) {
      print_message(neighbors ? "ERROR: '%s' needs at least 1 argument: file_name\n"
                              : "ERROR: '%s' needs 1 argument: list_of_files\n",
                    a);
      return Parsed::kError;
    }
    if (!add_file_names_from_list(args.argument(1), neighbors)) {
      print_message(neighbors ? "ERROR: cannot load neighbor list of files '%s'\n"
                              : "ERROR: cannot load list of files '%s'\n",
                    args.argument(1));
      return Parsed::kError;
    }
    args.consume(1);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-buffered")) {
    if (!args.has(1)) {
      print_message("ERROR: '%s' needs 1 argument: buffer_size\n", a);
      return Parsed::kError;
    }
    double size = 0;
    if (!parse_real(args.argument(1), size)) {
      print_message("ERROR: '%s' needs 1 argument: buffer_size. but '%s' is not a valid buffer_size\n", a,
                    args.argument(1));
      return Parsed::kError;
    }
    if (size <= 0) {
      print_message("ERROR: '%s' needs 1 argument: buffer_size, but %f is not valid\n", a, size);
      return Parsed::kError;
    }
    buffer_size_ = static_cast<float>(size);
    args.consume(1);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-temp_files")) {
    if (!args.has(1)) {
      print_message("ERROR: '%s' needs 1 argument: base name\n", a);
      return Parsed::kError;
    }
    temp_file_base_ = args.argument(1);
    args.consume(1);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-files_are_flightlines") || !std::strcmp(a, "-faf")) {
    files_are_flightlines_ = 1;
    int taken = 0;
    // The start value is optional: only a word that begins with a digit 1 to 9 is one.
    if (args.has(1) && args.argument(1)[0] >= '1' && args.argument(1)[0] <= '9') {
      uint32_t start = 0;
      if (!args.number(1, start)) return Parsed::kError;
      if (start >= 65536)
        print_message("WARNING: files_are_flightlines start value %u is too large\n", start);
      files_are_flightlines_ = start;
      taken = 1;
    }
    args.consume(taken);
    if (files_are_flightlines_ + files_are_flightlines_index_ > 65535) {
      print_message("WARNING: files_are_flightlines start value %d plus index %d is too large\n",
                    static_cast<int>(files_are_flightlines_), files_are_flightlines_index_);
    }
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-faf_index")) {
    uint32_t index = 0;
    if (!args.has(1) || !parse_u32(args.argument(1), index)) {
      print_message("ERROR: '%s' needs 1 argument: index\n", a);
      return Parsed::kError;
    }
    if (index > 65535)
      print_message("WARNING: files_are_flightlines_index index value %u is too large\n", index);
    files_are_flightlines_index_ = static_cast<int32_t>(index) - 1;
    if (files_are_flightlines_ + files_are_flightlines_index_ > 65535) {
      print_message("WARNING: files_are_flightlines start value %d plus index %d is too large\n",
                    static_cast<int>(files_are_flightlines_), files_are_flightlines_index_);
    }
    args.consume(1);
    return Parsed::kConsumed;
  }
  return Parsed::kNotMine;
}

LASinputOpener::Parsed LASinputOpener::parse_area(ArgumentCursor& args) {
  const char* a = args.option();
  if (std::strncmp(a, "-inside", 7) != 0) return Parsed::kNotMine;
  if (!std::strcmp(a, "-inside") || !std::strcmp(a, "-inside_rectangle")) {
    static const char* const names[] = {"min_x", "min_y", "max_x", "max_y"};
    double v[4];
    if (!read_reals(args, 4, names, "ERROR: '%s' needs 4 arguments: min_x min_y max_x max_y\n",
                    "ERROR: '%s' needs 4 arguments: min_x min_y max_x max_y", ".\n", v)) {
      return Parsed::kError;
    }
    for (int axis = 0; axis < 2; axis++) {
      if (v[axis] >= v[axis + 2]) {
        print_message(
            "ERROR: '%s' needs 4 arguments: min_x min_y max_x max_y, but %lf / %lf are not a valid %s / %s "
            "pair.\n",
            a, v[axis], v[axis + 2], names[axis], names[axis + 2]);
        return Parsed::kError;
      }
    }
    set_inside_rectangle(v[0], v[1], v[2], v[3]);
    args.consume(4);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-inside_tile")) {
    static const char* const names[] = {"ll_x", "ll_y", "size"};
    double v[3];
    if (!read_reals(args, 3, names, "ERROR: '%s' needs 3 arguments: ll_x ll_y size\n",
                    "ERROR: '%s' needs 3 arguments: ll_x ll_y size", ".\n", v)) {
      return Parsed::kError;
    }
    if (v[2] <= 0) {
      print_message("ERROR: '%s' needs 3 arguments: ll_x ll_y size, but %f is not valid a size.\n", a, v[2]);
      return Parsed::kError;
    }
    set_inside_tile(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
    args.consume(3);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-inside_circle")) {
    static const char* const names[] = {"center_x", "center_y", "radius"};
    double v[3];
    if (!read_reals(args, 3, names, "ERROR: '%s' needs 3 arguments: center_x center_y radius\n",
                    "ERROR: '%s' needs 3 arguments: center_x center_y radius", ".\n", v)) {
      return Parsed::kError;
    }
    if (v[2] <= 0) {
      print_message(
          "ERROR: '%s' needs 3 arguments: center_x center_y radius, but %lf is not valid a radius.\n", a,
          v[2]);
      return Parsed::kError;
    }
    set_inside_circle(v[0], v[1], v[2]);
    args.consume(3);
    return Parsed::kConsumed;
  }
  print_message("ERROR: unknown '-inside' option '%s'\n", a);
  return Parsed::kError;
}

LASinputOpener::Parsed LASinputOpener::parse_scaling(ArgumentCursor& args) {
  const char* a = args.option();
  double v[3] = {0, 0, 0};
  if (!std::strcmp(a, "-rescale")) {
    static const char* const names[] = {"rescale_x", "rescale_y", "rescale_z"};
    if (!read_reals(args, 3, names, "ERROR: '%s' needs 3 arguments: rescale_x rescale_y rescale_z\n",
                    "ERROR: '%s' needs 3 arguments: rescale_x rescale_y rescale_z", "\n", v, kScaleFactors)) {
      return Parsed::kError;
    }
    scale_factor_ = std::array<double, 3>{v[0], v[1], v[2]};
    args.consume(3);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-rescale_xy")) {
    static const char* const names[] = {"rescale_x", "rescale_y"};
    if (!read_reals(args, 2, names, "ERROR: '%s' needs 2 argument: rescale_x rescale_y\n",
                    "ERROR: '%s' needs 3 arguments: rescale_x rescale_y", "\n", v, kScaleFactors)) {
      return Parsed::kError;
    }
    scale_factor_ = std::array<double, 3>{v[0], v[1], 0.0};
    args.consume(2);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-rescale_z")) {
    static const char* const names[] = {"rescale_z"};
    if (!read_reals(args, 1, names, "ERROR: '%s' needs 1 argument: rescale_z\n",
                    "ERROR: '%s' needs 1 argument: rescale_z", "\n", v + 2, kScaleFactors)) {
      return Parsed::kError;
    }
    scale_factor_ = std::array<double, 3>{0.0, 0.0, v[2]};
    args.consume(1);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-reoffset")) {
    static const char* const names[] = {"reoffset_x", "reoffset_y", "reoffset_z"};
    if (!read_reals(args, 3, names, "ERROR: '%s' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z\n",
                    "ERROR: '%s' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z", "\n", v)) {
      return Parsed::kError;
    }
    offset_ = std::array<double, 3>{v[0], v[1], v[2]};
    args.consume(3);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-io_ibuffer")) {
    uint32_t size = 0;
    if (!args.has(1)) {
      print_message("ERROR: '%s' needs 1 argument: size\n", a);
      return Parsed::kError;
    }
    if (!parse_u32(args.argument(1), size)) {
      print_message("ERROR: '%s' needs 1 argument: size but '%s' is not a valid size.\n", a,
                    args.argument(1));
      return Parsed::kError;
    }
    if (size == 0) {
      print_message("ERROR: '%s' needs 1 argument: size but %u is not valid.\n", a, size);
      return Parsed::kError;
    }
    io_ibuffer_size_ = size;
    args.consume(1);
    return Parsed::kConsumed;
  }
  return Parsed::kNotMine;
}

LASinputOpener::Parsed LASinputOpener::parse_text_input(ArgumentCursor& args, bool accept_ignore) {
  const char* a = args.option();
  if (!std::strncmp(a, "-ignore_", 8)) {
    if (accept_ignore) return Parsed::kNotMine;
    print_message("ERROR: this tool does not process '-ignore_xxxx' options\n");
    return Parsed::kError;
  }
  bool* flag = nullptr;
  if (!std::strcmp(a, "-itxt"))
    flag = &itxt_;
  else if (!std::strcmp(a, "-ipts"))
    flag = &ipts_;
  else if (!std::strcmp(a, "-iptx"))
    flag = &iptx_;
  else if (!std::strcmp(a, "-iptx_transform"))
    flag = &iptx_transform_;
  if (flag) {
    *flag = true;
    args.consume(0);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-iparse")) {
    if (!args.has(1)) {
      print_message("ERROR: '%s' needs 1 argument: string\n", a);
      return Parsed::kError;
    }
    parse_string_ = args.argument(1);
    args.consume(1);
    return Parsed::kConsumed;
  }
  if (!std::strcmp(a, "-iadd_extra") || !std::strcmp(a, "-iadd_attribute")) {
    if (!args.has(3)) {
      print_message("ERROR: '%s' needs 3 arguments: data_type name description\n", a);
      return Parsed::kError;
    }
    LAStextAttribute attribute;
    if (!args.number(1, attribute.data_type)) return Parsed::kError;
    attribute.name = args.argument(2);
    attribute.description = args.argument(3);
    args.consume(3);
    // Optional values follow in order; offsets and no_data may be given as exactly "0.0".
    double* optional_values[] = {&attribute.scale, &attribute.offset, &attribute.pre_scale,
                                 &attribute.pre_offset, &attribute.no_data};
    const bool zero_allowed[] = {false, true, false, true, true};
    for (int k = 0; k < 5 && args.has(1); k++) {
      double v = 0;
      const char* word = args.argument(1);
      if (!parse_real(word, v) || (v == 0.0 && !(zero_allowed[k] && !std::strcmp(word, "0.0")))) break;
      *optional_values[k] = v;
      args.consume(1);
    }
    if (attribute.data_type < 1 || attribute.data_type > 10) {
      print_message("WARNING: attribute data type %d not supported. ignoring attribute '%s'.\n",
                    attribute.data_type, attribute.name.c_str());
      return Parsed::kConsumed;
    }
    return add_attribute(attribute) ? Parsed::kConsumed : Parsed::kError;
  }
  return parse_text_values(args);
}

LASinputOpener::Parsed LASinputOpener::parse_text_values(ArgumentCursor& args) {
  const char* a = args.option();
  if (!std::strcmp(a, "-iskip")) {
    uint32_t lines = 0;
    if (!args.has(1)) {
      print_message("ERROR: '%s' needs 1 argument: number_of_lines\n", a);
      return Parsed::kError;
    }
    if (!parse_u32(args.argument(1), lines)) {
      print_message("ERROR: '%s' needs 1 argument: number_of_lines but '%s' is not a valid number.\n", a,
                    args.argument(1));
      return Parsed::kError;
    }
    if (lines == 0) {
      print_message("ERROR: '%s' needs 1 argument: number_of_lines but %u is not valid.\n", a, lines);
      return Parsed::kError;
    }
    skip_lines_ = lines;
    args.consume(1);
    return Parsed::kConsumed;
  }
  float* target = nullptr;
  const char* what = nullptr;
  if (!std::strcmp(a, "-itranslate_intensity"))
    target = &translate_intensity_, what = "translation";
  else if (!std::strcmp(a, "-itranslate_scan_angle"))
    target = &translate_scan_angle_, what = "translation";
  else if (!std::strcmp(a, "-iscale_intensity"))
    target = &scale_intensity_, what = "scale";
  else if (!std::strcmp(a, "-iscale_scan_angle"))
    target = &scale_scan_angle_, what = "scale";
  if (!target) return Parsed::kNotMine;
  if (!args.has(1)) {
    print_message("ERROR: '%s' needs 1 argument: %s\n", a, what);
    return Parsed::kError;
  }
  double v = 0;
  if (!parse_real(args.argument(1), v)) {
    print_message("ERROR: '%s' needs 1 argument: %s but '%s' is not valid.\n", a, what, args.argument(1));
    return Parsed::kError;
  }
  if (v == 0.0) {
    print_message("ERROR: '%s' needs 1 argument: %s but %f is not valid.\n", a, what, v);
    return Parsed::kError;
  }
  *target = static_cast<float>(v);
  args.consume(1);
  return Parsed::kConsumed;
}

bool LASinputOpener::finish_parse() {
  if (!neighbor_file_names_.empty()) {
    if (file_names_.size() > 1) {
      print_message("ERROR: neighbors only supported for one buffered input file, not for %d\n",
                    static_cast<int>(file_names_.size()));
      return false;
    }
    if (buffer_size_ == 0.0f) {
      print_message("ERROR: neighbors only make sense when used with '-buffered 50' or similar\n");
      return false;
    }
  }
  return true;
}

void LASinputOpener::reset() {
  file_name_current_ = 0;
  file_name_.reset();
}

std::vector<std::string> LASinputOpener::read_file_names() const {
  std::vector<std::string> names;
  for (const FileName& f : file_names_) names.push_back(f.name);
  for (const FileName& f : neighbor_file_names_) names.push_back(f.name);
  return names;
}

const char* LASinputOpener::get_file_name() const {
  if (file_name_) return file_name_->c_str();
  if (!file_names_.empty()) return file_names_.front().name.c_str();
  return nullptr;
}

int LASinputOpener::write_options(char* buffer, size_t size) const {
  std::string s;
  write_options(s);
  // Append to what the buffer holds already, never past its end.
  const size_t used = buffer && size ? std::strlen(buffer) : 0;
  if (!buffer || used + s.size() + 1 > size) return 0;
  std::memcpy(buffer + used, s.c_str(), s.size() + 1);
  return static_cast<int>(s.size());
}

void LASinputOpener::write_options(std::string& s) const {
  // Each number in its documented form unless that form would change it (a tile corner of
  // 4830000.5 in "%g", a scale of 1e-7 in "%lf"): a further run must read exactly these settings.
  const auto option_with = [&s](const char* option, const char* form, auto... values) {
    append_option(s, option);
    (append_number_in_form(s, values, form), ...);
  };
  if (tile_)
    option_with("-inside_tile", "%g", tile_->ll_x, tile_->ll_y, tile_->size);
  else if (circle_)
    option_with("-inside_circle", "%lf", circle_->center_x, circle_->center_y, circle_->radius);
  else if (rectangle_)
    option_with("-inside_rectangle", "%lf", rectangle_->min_x, rectangle_->min_y, rectangle_->max_x,
                rectangle_->max_y);
  if (stored_) s += "-stored ";
  if (pipe_on_) s += "-pipe_on ";  // without it a further run would keep the points to itself
  if (merged_) s += "-merged ";
  if (files_are_flightlines_) {
    if (files_are_flightlines_ == 1)
      s += "-faf ";
    else
      s += "-faf " + std::to_string(files_are_flightlines_) + " ";
  }
  if (apply_file_source_ID_) s += "-apply_file_source_ID ";
  if (scale_factor_) {
    const auto& f = *scale_factor_;
    if (f[2] != 0 && (f[0] != 0 || f[1] != 0))
      option_with("-rescale", "%lf", f[0], f[1], f[2]);
    else if (f[2] != 0)
      option_with("-rescale_z", "%lf", f[2]);
    else if (f[0] != 0 && f[1] != 0)
      option_with("-rescale_xy", "%lf", f[0], f[1]);
  }
  if (offset_)
    option_with("-reoffset", "%lf", (*offset_)[0], (*offset_)[1], (*offset_)[2]);
  else if (auto_reoffset_)
    s += "-auto_reoffset ";
  if (populate_header_) s += "-populate ";
  if (io_ibuffer_size_ != 262144) s += "-io_ibuffer " + std::to_string(io_ibuffer_size_) + " ";
  if (temp_file_base_) {
    append_option(s, "-temp_files");
    append_quoted(s, *temp_file_base_);
  }
  write_text_input_options(s);
}

// How text and raster inputs are read: without these a further run would read the same text
// file with other fields, or an ASC grid with the wrong decimal separator.
void LASinputOpener::write_text_input_options(std::string& s) const {
  if (comma_not_point_) s += "-comma_not_point ";
  if (itxt_) s += "-itxt ";
  if (ipts_) s += "-ipts ";
  if (iptx_) s += "-iptx ";
  if (iptx_transform_) s += "-iptx_transform ";
  if (parse_string_) {
    append_option(s, "-iparse");
    append_word(s, *parse_string_);
  }
  if (skip_lines_) s += "-iskip " + std::to_string(skip_lines_) + " ";
  const auto value_unless = [&s](const char* option, float value, float unset) {
    if (value == unset) return;
    append_option(s, option);
    append_number(s, value);
  };
  value_unless("-itranslate_intensity", translate_intensity_, 0.0f);
  value_unless("-iscale_intensity", scale_intensity_, 1.0f);
  value_unless("-itranslate_scan_angle", translate_scan_angle_, 0.0f);
  value_unless("-iscale_scan_angle", scale_scan_angle_, 1.0f);
  for (const LAStextAttribute& attribute : attributes_) {
    append_option(s, "-iadd_extra");
    append_number(s, static_cast<long long>(attribute.data_type));
    append_word(s, attribute.name);
    append_word(s, attribute.description);
    // The optional values are positional: write them up to the last one that is not its default.
    // A zero offset is written as "0.0", the one zero word the parser takes for it.
    const double values[] = {attribute.scale, attribute.offset, attribute.pre_scale, attribute.pre_offset,
                             attribute.no_data};
    const double defaults[] = {1.0, 0.0, 1.0, 0.0, 2e307};
    int last = -1;
    for (int k = 0; k < 5; k++) {
      if (values[k] != defaults[k]) last = k;
    }
    for (int k = 0; k <= last; k++) {
      if (values[k] == 0.0)
        s += "0.0 ";
      else
        append_number(s, values[k]);
    }
  }
}
