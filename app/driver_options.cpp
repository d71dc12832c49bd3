#include "app/driver_options.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "contour/iso_values.h"

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

// Walks the remaining words. Each handler consumes its arguments by advancing `i`.
class OptionWalker {
 public:
  OptionWalker(int argc, char** argv, DriverSettings& s) : argc_(argc), argv_(argv), s_(s) {}

  ParseOutcome run() {
    for (i_ = 1; i_ < argc_; i_++) {
      if (argv_[i_][0] == '\0') continue;
      const std::optional<ParseOutcome> stop = handle(argv_[i_]);
      if (stop) return *stop;
    }
    return {};
  }

 private:
  static ParseOutcome fail() { return {false, 1}; }
  static ParseOutcome fail_with_usage_wait(const char* message) {
    std::fputs(message, stderr);
    print_usage_and_wait();
    return fail();
  }

  bool has_arguments(int n) const { return i_ + n < argc_; }
  const char* next() { return argv_[++i_]; }

  std::optional<ParseOutcome> missing(const char* what) {
    std::fprintf(stderr, "ERROR: '%s' needs 1 argument: %s\n", argv_[i_], what);
    return fail();
  }

  // Throws when the list cannot grow; main reports that like every fatal error.
  void append_iso(float value) { append_iso_value(s_.iso_values, value); }

  std::optional<ParseOutcome> handle(const char* a);
  std::optional<ParseOutcome> handle_thinning(const char* a);
  std::optional<ParseOutcome> handle_iso(const char* a);
  std::optional<ParseOutcome> handle_iso_range();

  int argc_;
  char** argv_;
  DriverSettings& s_;
  int i_ = 1;
};

std::optional<ParseOutcome> OptionWalker::handle(const char* a) {
  if (!std::strcmp(a, "-h") || !std::strcmp(a, "-help")) {
    print_version_banner();
    print_usage();
    return fail();
  }
  if (!std::strcmp(a, "-v") || !std::strcmp(a, "-verbose")) {
    s_.verbose = true;
  } else if (!std::strcmp(a, "-version")) {
    print_version_banner();
    return ParseOutcome{false, 0};
  } else if (!std::strcmp(a, "-gui")) {
    s_.gui = true;
  } else if (!std::strcmp(a, "-cores")) {
    if (!has_arguments(1)) {
      std::fprintf(stderr, "ERROR: '%s' needs 1 argument: number\n", a);
      return fail();
    }
    argv_[i_][0] = '\0';
    s_.cores = std::atoi(next());
    argv_[i_][0] = '\0';
  } else if (!std::strcmp(a, "-cpu64")) {
    s_.cpu64 = true;
    argv_[i_][0] = '\0';
  } else if (!std::strcmp(a, "-extra_pass")) {
    s_.extra_pass = true;
  } else if (!std::strcmp(a, "-use_tile_bb") || !std::strcmp(a, "-use_orig_bb")) {
    // accepted for compatibility with the suite's other tools; nothing to do here
  } else if (!std::strcmp(a, "-loops_only")) {
    s_.loops_only = true;
  } else if (!std::strcmp(a, "-tin")) {
    s_.tin_output = true;
  } else if (!std::strcmp(a, "-lakes") || !std::strcmp(a, "-creeks")) {
    if (!has_arguments(1)) return missing("file_name");
    (a[1] == 'l' ? s_.lakes_file : s_.creeks_file) = next();
  } else if (!std::strcmp(a, "-ilaydir")) {
    if (!has_arguments(1)) return missing("directory name");
    s_.layer_directory = next();
  } else if (!std::strncmp(a, "-ilay", 5)) {
    s_.layers = true;
    if (!std::strcmp(a, "-ilay") && has_arguments(1)) {
      const char* n = argv_[i_ + 1];
      if ((n[0] >= '0' && n[0] <= '9') || (n[0] == '-' && n[1] >= '0' && n[1] <= '9')) {
        s_.layer_count = std::atoi(next());
      }
    }
  } else if (auto t = handle_thinning(a)) {
    if (!t->proceed) return t;
  } else {
    std::fprintf(stderr, "ERROR: cannot understand argument '%s'\n", a);
    print_usage();
    return fail();
  }
  return std::nullopt;
}

// Answers an outcome that proceeds when the option was handled, one that stops on an error, or
// nothing when the word is not one of these options.
std::optional<ParseOutcome> OptionWalker::handle_thinning(const char* a) {
  const auto zero_check = [&](float v, const char* message) -> std::optional<ParseOutcome> {
    if (v == 0.0f) return fail_with_usage_wait(message);
    return ParseOutcome{};
  };
  if (!std::strcmp(a, "-simplify") || !std::strcmp(a, "-simplify_length")) {
    if (!has_arguments(1)) return missing("length");
    s_.simplify_length = static_cast<float>(std::atof(next()));
    return zero_check(s_.simplify_length, "ERROR: simplify_length set to zero\n");
  }
  if (!std::strcmp(a, "-simplify_area")) {
    if (!has_arguments(1)) return missing("area");
    s_.simplify_area = static_cast<float>(std::atof(next()));
    return zero_check(s_.simplify_area, "ERROR: simplify_area set to zero\n");
  }
  if (!std::strcmp(a, "-clean")) {
    if (!has_arguments(1)) return missing("length");
    s_.clean = static_cast<float>(std::atof(next()));
    return zero_check(s_.clean, "ERROR: clean set to zero\n");
  }
  if (!std::strcmp(a, "-smooth")) {
    if (!has_arguments(1)) return missing("passes");
    s_.smooth_passes = std::atoi(next());
    return zero_check(static_cast<float>(s_.smooth_passes), "ERROR: smooth set to zero\n");
  }
  if (!std::strcmp(a, "-concavity")) {
    if (!has_arguments(1)) {
      std::fprintf(stderr, "ERROR: '%s' needs 1 argument: concavity_value\n", a);
      print_usage();
      return fail();
    }
    s_.concavity = static_cast<float>(std::atof(next()));
    return ParseOutcome{};
  }
  if (!std::strcmp(a, "-kill")) {
    if (!has_arguments(1)) return missing("threshold");
    s_.kill = static_cast<float>(std::atof(next()));
    return ParseOutcome{};
  }
  return handle_iso(a);
}

std::optional<ParseOutcome> OptionWalker::handle_iso(const char* a) {
  if (!std::strcmp(a, "-iso") || !std::strcmp(a, "-iso_value")) {
    if (!has_arguments(1)) return missing("value");
    float value = 0.0f;
    if (std::sscanf(next(), "%f", &value) != 1) value = 0.0f;
    append_iso(value);
    return ParseOutcome{};
  }
  if (!std::strcmp(a, "-iso_every")) {
    if (!has_arguments(1)) return missing("units");
    s_.iso_every = std::atof(next());
    if (s_.iso_every == 0.0) return fail_with_usage_wait("ERROR: iso_every set to zero\n");
    return ParseOutcome{};
  }
  if (!std::strcmp(a, "-iso_number")) {
    if (!has_arguments(1)) return missing("number");
    s_.iso_number = std::atoi(next());
    if (s_.iso_number == 0) return fail_with_usage_wait("ERROR: iso_number set to zero\n");
    return ParseOutcome{};
  }
  if (!std::strcmp(a, "-iso_range")) return handle_iso_range();
  return std::nullopt;
}

std::optional<ParseOutcome> OptionWalker::handle_iso_range() {
  if (!has_arguments(3)) {
    std::fprintf(stderr, "ERROR: '%s' needs 3 arguments: from to step\n", argv_[i_]);
    return fail();
  }
  const float from = static_cast<float>(std::atof(next()));
  const float to = static_cast<float>(std::atof(next()));
  const float step = static_cast<float>(std::atof(next()));
  if (from >= to) return fail_with_usage_wait("ERROR: 'iso_from' larger or equal to 'iso_to'\n");
  if (step <= 0.0f) return fail_with_usage_wait("ERROR: iso_step smaller or equal to zero\n");
  // Each value is computed from its index, so long ranges do not accumulate rounding drift.
  for (uint64_t k = 0;; k++) {
    const double value = static_cast<double>(from) + static_cast<double>(k) * step;
    if (value > to) break;
    append_iso(static_cast<float>(value));
  }
  return ParseOutcome{};
}

}  // namespace

ParseOutcome parse_driver_options(int argc, char** argv, DriverSettings& settings) {
  return OptionWalker(argc, argv, settings).run();
}

void print_version_banner() {
  std::fprintf(stderr, "contourmill (by Quorvane, version %d)\n", kVersion);
}

void print_usage() {
  for (const char* line : kUsageLines) std::fprintf(stderr, "%s\n", line);
}

void print_usage_and_wait() {
  print_usage();
  std::fprintf(stderr, "<press ENTER>\n");
  // Only a person at a terminal can answer; a pipe or closed input must never stall a batch run.
  if (isatty(STDIN_FILENO)) std::getc(stdin);
}
