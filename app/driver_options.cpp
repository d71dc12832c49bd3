#include "app/driver_options.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "common/argument_cursor.h"
#include "common/messages.h"
#include "common/option_text.h"
#include "contour/iso_values.h"
#include "geo/geoprojectionconverter.h"

namespace {

const char* const kUsageLines[] = {
    "usage:",
    "contourmill -i *.las -oshp",
    "contourmill -i *.rkp -oshp -odbf",
    "contourmill -i flight1*.las flight2*.las -oshp -simplify 1 -clean 10",
    "contourmill -i *.las -okml -iso_range 400 600 20 -utm 14S",
    "contourmill -i *.txt -iparse ssxyz -owkt -iso_every 2 -simplify 0.5 -concavity 100",
    "contourmill -i lidar.las -first_only -o contours.wkt -iso_number 20",
    "contourmill -i lidar.las -o contours.shp -last_only -iso_range 400 600 20",
    "contourmill -i lidar.las -otxt -stdout -keep_class 2 3 9 > lines.txt",
    "contourmill -h",
    "",
    "other possible transformations for KML generation:",
    "-utm 11T",
    "-sp83 IA_N",
    "-sp27 IA_S",
    "-longlat",
    "-latlong",
};

// The driver's own help block, in the style of the openers' blocks that precede it.
const char* const kHelpLines[] = {
    "Order of TIN Insertion",
    "  -arrival_order (as the points are read, instead of sorted along a Hilbert curve)",
    "Seamless Contours of a Tiled Survey",
    "  -trim_to_tile (clip to the tile: its tiling record, else its bounding box)",
    "  -trim_to_tile 1000 (clip to the 1000 by 1000 grid square that holds the tile)",
    "  cm_laxindex tiles/*.las (a LAX index beside each tile: neighbours are read near it only)",
    "  contourmill -i tiles/*.las -buffered 30 -trim_to_tile 1000 -iso_every 1 -owkt",
    "  (every tile with a 30 m buffer of its neighbours; the lines of adjacent tiles meet)",
    "Many Input Files on Several Cores",
    "  -cores 4 (runs this program once per input file, at most 4 at a time, 1 to 128;",
    "            each line a run prints starts with its input's name; exit code 1 and one",
    "            line per failed input when any fails; ignored with -merged or one file)",
    "  -cpu64 (accepted: this program is the 64-bit build)",
};

// Where the EPSG parameter files are looked for, so that a user can tell an installation where
// they lie.
void print_table_help() {
  print_message("EPSG Parameter Files (pcs.csv, gcs.csv, vertcs.csv, datums.csv, towgs84.csv)\n");
  print_message("  looked for in the folder named by the environment variable %s, then in\n",
                kGeoTablesVariable);
  print_message("  serf/geo beside the program, then in ../share/contourmill beside it (as installed\n");
  print_message("  by 'cmake --install'), then in the folder the build installs to\n");
}

// The most children a multi-process run starts at a time.
constexpr int32_t kMaxCores = 128;

// Smoothing converges within a few dozen passes; a count in the millions would only run for hours.
constexpr int32_t kMaxSmoothPasses = 1000;

// Walks the remaining words. Each handler reads its arguments through the cursor and moves past
// them; the driver parses last, so only "-cores" and "-cpu64" are emptied (the multi-process run
// copies every other remaining word to its children).
class OptionWalker {
 public:
  OptionWalker(int argc, char** argv, DriverSettings& s) : args_(argc, argv), s_(s) {}

  ParseOutcome run() {
    while (args_.next()) {
      const std::optional<ParseOutcome> stop = handle();
      if (stop) return *stop;
    }
    return {};
  }

 private:
  static ParseOutcome fail() { return {false, 1}; }
  static ParseOutcome fail_with_usage_wait(const char* message) {
    print_message_text(message);
    print_usage_and_wait();
    return fail();
  }

  bool is(const char* name) const { return args_.is(name); }

  std::optional<ParseOutcome> missing(const char* what) {
    print_message("ERROR: '%s' needs 1 argument: %s\n", args_.option(), what);
    return fail();
  }

  // Reads the option's one argument as a number of `target`'s kind. Zero, where the tool gives it
  // a message of its own, is refused with that message (and the usage text) before the range is
  // checked; anything else outside `range` is refused naming the range.
  template <class T>
  std::optional<ParseOutcome> read_value(T& target, const char* what, NumberRange range,
                                         const char* zero_message = nullptr) {
    if (!args_.has(1)) return missing(what);
    T value{};
    const NumberVerdict verdict = read_number(args_.argument(1), value);
    if (verdict == NumberVerdict::kNotANumber) {
      args_.not_a_number(1, std::is_integral_v<T>);
      return fail();
    }
    if (verdict == NumberVerdict::kOk && zero_message && value == T{0})
      return fail_with_usage_wait(zero_message);
    if (verdict != NumberVerdict::kOk || !range.contains(static_cast<double>(value))) {
      args_.out_of_range(1, std::is_integral_v<T>, limited_to<T>(range));
      return fail();
    }
    target = value;
    args_.skip(1);
    return std::nullopt;
  }

  // Throws when the list cannot grow; main reports that like every fatal error.
  void append_iso(float value) { append_iso_value(s_.levels.given, value); }

  std::optional<ParseOutcome> handle();
  std::optional<ParseOutcome> handle_thinning(bool& mine);
  std::optional<ParseOutcome> handle_iso(bool& mine);
  std::optional<ParseOutcome> handle_iso_range();

  ArgumentCursor args_;
  DriverSettings& s_;
};

std::optional<ParseOutcome> OptionWalker::handle() {
  const char* a = args_.option();
  if (is("-h") || is("-help")) {
    for (const char* line : kHelpLines) print_message("%s\n", line);
    print_table_help();
    print_version_banner();
    print_usage();
    return fail();
  }
  if (is("-v") || is("-verbose")) {
    s_.verbose = true;
  } else if (is("-version")) {
    print_version_banner();
    return ParseOutcome{false, 0};
  } else if (is("-gui")) {
    s_.gui = true;
  } else if (is("-cores")) {
    if (!args_.has(1)) {
      print_message("ERROR: '%s' needs 1 argument: number\n", a);
      return fail();
    }
    if (!args_.number(1, s_.cores, NumberRange::between(1, kMaxCores))) return fail();
    args_.consume(1);
  } else if (is("-cpu64")) {
    s_.cpu64 = true;
    args_.consume(0);
  } else if (is("-extra_pass")) {
    s_.extra_pass = true;
  } else if (is("-arrival_order")) {
    s_.arrival_order = true;
  } else if (is("-use_tile_bb") || is("-use_orig_bb")) {
    // accepted for compatibility with the suite's other tools; nothing to do here
  } else if (is("-loops_only")) {
    s_.loops_only = true;
  } else if (is("-trim_to_tile")) {
    s_.clip_to_tile = true;
    // The grid size is optional: a word that starts with a digit.
    if (args_.has(1) && args_.argument(1)[0] >= '0' && args_.argument(1)[0] <= '9') {
      if (!args_.number(1, s_.clip_tile_size, NumberRange::positive())) return fail();
      args_.skip(1);
    }
  } else if (is("-tin")) {
    s_.tin_output = true;
  } else if (is("-lakes") || is("-creeks")) {
    if (!args_.has(1)) return missing("file_name");
    (a[1] == 'l' ? s_.lakes_file : s_.creeks_file) = args_.argument(1);
    args_.skip(1);
  } else if (is("-ilaydir")) {
    if (!args_.has(1)) return missing("directory name");
    args_.skip(1);
  } else if (args_.starts_with("-ilay")) {
    // The layer count is optional: a word that starts with a digit, or with '-' and a digit.
    if (is("-ilay") && args_.has(1)) {
      const char* n = args_.argument(1);
      if ((n[0] >= '0' && n[0] <= '9') || (n[0] == '-' && n[1] >= '0' && n[1] <= '9')) {
        int32_t layer_count = 0;
        if (!args_.number(1, layer_count)) return fail();
        args_.skip(1);
      }
    }
  } else {
    bool mine = false;
    if (auto stop = handle_thinning(mine)) return stop;
    if (!mine) {
      print_message("ERROR: cannot understand argument '%s'\n", a);
      print_usage();
      return fail();
    }
  }
  return std::nullopt;
}

// Sets `mine` when the word is one of these options; answers an outcome only to stop.
std::optional<ParseOutcome> OptionWalker::handle_thinning(bool& mine) {
  mine = true;
  if (is("-simplify") || is("-simplify_length")) {
    return read_value(s_.simplify_length, "length", NumberRange::non_negative(),
                      "ERROR: simplify_length set to zero\n");
  }
  if (is("-simplify_area")) {
    return read_value(s_.simplify_area, "area", NumberRange::non_negative(),
                      "ERROR: simplify_area set to zero\n");
  }
  if (is("-clean")) {
    return read_value(s_.clean, "length", NumberRange::non_negative(), "ERROR: clean set to zero\n");
  }
  if (is("-smooth")) {
    return read_value(s_.smooth_passes, "passes", NumberRange::between(1, kMaxSmoothPasses),
                      "ERROR: smooth set to zero\n");
  }
  if (is("-concavity")) {
    if (!args_.has(1)) {
      print_message("ERROR: '%s' needs 1 argument: concavity_value\n", args_.option());
      print_usage();
      return fail();
    }
    return read_value(s_.concavity, "concavity_value", NumberRange::non_negative());
  }
  if (is("-kill")) return read_value(s_.kill, "threshold", NumberRange::non_negative());
  return handle_iso(mine);
}

std::optional<ParseOutcome> OptionWalker::handle_iso(bool& mine) {
  if (is("-iso") || is("-iso_value")) {
    float value = 0.0f;
    if (auto stop = read_value(value, "value", NumberRange::any())) return stop;
    append_iso(value);
    s_.levels.given_as.push_back({value, value, 0.0f});
    return std::nullopt;
  }
  if (is("-iso_every")) {
    return read_value(s_.levels.every, "units", NumberRange::positive(), "ERROR: iso_every set to zero\n");
  }
  if (is("-iso_number")) {
    return read_value(s_.levels.number, "number", NumberRange::between(1, ISO_VALUES_MAX),
                      "ERROR: iso_number set to zero\n");
  }
  if (is("-iso_range")) return handle_iso_range();
  mine = false;
  return std::nullopt;
}

std::optional<ParseOutcome> OptionWalker::handle_iso_range() {
  if (!args_.has(3)) {
    print_message("ERROR: '%s' needs 3 arguments: from to step\n", args_.option());
    return fail();
  }
  float bounds[3] = {0.0f, 0.0f, 0.0f};
  for (int k = 0; k < 3; k++) {
    if (!args_.number(k + 1, bounds[k])) return fail();
  }
  const float from = bounds[0], to = bounds[1], step = bounds[2];
  if (from >= to) return fail_with_usage_wait("ERROR: 'iso_from' larger or equal to 'iso_to'\n");
  if (step <= 0.0f) return fail_with_usage_wait("ERROR: iso_step smaller or equal to zero\n");
  // The count is known before a single value is appended, so a range of billions of levels is
  // refused at once instead of after filling memory.
  const double count = std::floor((double{to} - double{from}) / double{step}) + 1.0;
  if (count > static_cast<double>(ISO_VALUES_MAX) - static_cast<double>(s_.levels.given.size())) {
    print_message("ERROR: '%s %s %s %s' asks for more than %d iso values\n", args_.option(),
                  args_.argument(1), args_.argument(2), args_.argument(3), ISO_VALUES_MAX);
    return fail();
  }
  // Each value is computed from its index, so long ranges do not accumulate rounding drift.
  for (uint64_t k = 0;; k++) {
    const double value = double{from} + static_cast<double>(k) * double{step};
    if (value > double{to}) break;
    append_iso(static_cast<float>(value));
  }
  s_.levels.given_as.push_back({from, to, step});
  args_.skip(3);
  return std::nullopt;
}

}  // namespace

ParseOutcome parse_driver_options(int argc, char** argv, DriverSettings& settings) {
  return OptionWalker(argc, argv, settings).run();
}

void unparse_driver_options(const DriverSettings& s, std::string& text) {
  const DriverSettings defaults;
  if (s.verbose) append_option(text, "-v");
  if (s.extra_pass) append_option(text, "-extra_pass");
  if (s.arrival_order) append_option(text, "-arrival_order");
  const auto setting = [&text](const char* option, auto value, auto default_value) {
    if (value == default_value) return;
    append_option(text, option);
    append_number(text, value);
  };
  setting("-simplify", s.simplify_length, defaults.simplify_length);
  setting("-simplify_area", s.simplify_area, defaults.simplify_area);
  setting("-clean", s.clean, defaults.clean);
  if (s.loops_only) append_option(text, "-loops_only");
  if (s.clip_to_tile) {
    append_option(text, "-trim_to_tile");
    if (s.clip_tile_size > 0) append_number(text, s.clip_tile_size);
  }
  setting("-smooth", static_cast<long long>(s.smooth_passes), 0LL);
  setting("-concavity", s.concavity, defaults.concavity);
  setting("-kill", s.kill, defaults.kill);
  for (const ContourLevelRequest::Given& g : s.levels.given_as) {
    if (g.step == 0.0f) {
      append_option(text, "-iso");
      append_number(text, g.from);
    } else {
      append_option(text, "-iso_range");
      append_number(text, g.from);
      append_number(text, g.to);
      append_number(text, g.step);
    }
  }
  setting("-iso_every", s.levels.every, 0.0);
  setting("-iso_number", static_cast<long long>(s.levels.number), 0LL);
  if (s.tin_output) append_option(text, "-tin");
  if (s.lakes_file) {
    append_option(text, "-lakes");
    append_word(text, *s.lakes_file);
  }
  if (s.creeks_file) {
    append_option(text, "-creeks");
    append_word(text, *s.creeks_file);
  }
}

void print_version_banner() {
  print_message("contourmill (by Quorvane, version %d)\n", kVersion);
}

void print_usage() {
  for (const char* line : kUsageLines) print_message("%s\n", line);
}

void print_usage_and_wait() {
  print_usage();
  print_message("<press ENTER>\n");
  // Only a person at a terminal can answer; a pipe or closed input must never stall a batch run.
  if (isatty(STDIN_FILENO)) std::getc(stdin);
}
