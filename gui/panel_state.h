// What the graphical panel holds: every control's value as a plain struct, with the defaults a new
// window shows and the limits its fields are clamped to. The window reads its widgets into one of
// these; the command builder turns one into the command it starts, so the builder can be tested
// without a window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Limits of the numeric fields, inclusive.
struct PanelLimits {
  static constexpr int32_t kSamplePointsMin = 100000, kSamplePointsMax = 20000000;
  static constexpr double kConcavityMax = 1000000.0;
  static constexpr int32_t kPassesMin = 1, kPassesMax = 50;
  static constexpr double kSimplifyMax = 100.0;
  static constexpr double kCleanMax = 1000.0;
  static constexpr int32_t kCoresMax = 128;
};

enum class IsolineMode { kEvery = 0, kSingle = 1, kNumber = 2, kMultiple = 3 };

enum class ClipArea { kNone, kRectangle, kCircle, kTile };

enum class ProjectionKind { kNone, kUtm, kStatePlane83, kStatePlane27, kEpsg };

enum class LengthUnitChoice { kDefault, kMeter, kFeet, kSurveyFeet };

struct PanelState {
  // ---- the shared front-end ----
  std::vector<std::string> input_files;  // names or wildcards, in the order added
  bool merged = false;
  int32_t cores = 1;

  ClipArea clip = ClipArea::kNone;
  // rectangle: min x, min y, max x, max y; circle: centre x, centre y, radius; tile: lower-left x,
  // lower-left y, size.
  double clip_values[4] = {0.0, 0.0, 0.0, 0.0};

  std::string output_directory;
  std::string output_appendix;
  std::string output_name;  // empty: named after each input, or "merged.<format>" for merged runs
  std::string output_format = "shp";

  ProjectionKind projection = ProjectionKind::kNone;
  std::string projection_zone;  // UTM zone ("14S"), state plane zone ("IA_N") or EPSG code
  LengthUnitChoice coordinate_unit = LengthUnitChoice::kDefault;
  LengthUnitChoice elevation_unit = LengthUnitChoice::kDefault;

  // Further options as command-line text (filters, transforms, -kill, ...): the panel has no
  // control for them, but a command line that preset the panel keeps them here.
  std::string other_options;

  // ---- the contour tool's own panel ----
  int32_t sample_points = 5000000;
  double concavity = 50.0;
  IsolineMode isoline_mode = IsolineMode::kEvery;
  double value = 10.0;             // "units / isovalues:"
  std::vector<double> value_list;  // mode 3
  bool smooth = false;
  int32_t passes = 2;
  bool simplify = false;
  double simplify_length = 1.0;
  bool clean = false;
  double clean_length = 5.0;
  bool loops_only = false;
  bool extra_pass = false;
  bool closed = false;
  std::string closed_file;
  bool open = false;
  std::string open_file;
};

// The output formats the panel offers, in list order.
inline constexpr const char* kPanelOutputFormats[] = {"shp", "kml", "wkt", "txt"};
