// contourmill: elevation contours from LiDAR points via a temporary TIN.
#include <cstdio>
#include <exception>

#include "app/contour_run.h"
#include "app/driver_options.h"
#include "geo/geoprojectionconverter.h"
#include "lineio/line_output_opener.h"
#include "pointio/lasinputopener.h"

namespace {

int run(int argc, char** argv) {
  if (argc <= 1) {
    std::fprintf(stderr,
                 "ERROR: the graphical front-end is not available in this build. see 'contourmill -h'\n");
    return 1;
  }
  GeoProjectionConverter converter;
  LASinputOpener input;
  LineOutputOpener output;
  if (!converter.parse(argc, argv)) return 1;
  if (!input.parse(argc, argv)) return 1;
  if (!output.parse(argc, argv)) return 1;
  DriverSettings settings;
  const ParseOutcome parsed = parse_driver_options(argc, argv, settings);
  if (!parsed.proceed) return parsed.exit_code;

  if (settings.gui) {
    std::fprintf(stderr, "ERROR: the graphical front-end is not available in this build\n");
    return 1;
  }
  if (settings.cores > 1) {
    if (input.file_name_number() > 1 && !input.is_merged()) {
      std::fprintf(stderr, "ERROR: the multi-process run ('-cores %d') is not available in this build\n",
                   settings.cores);
      return 1;
    }
    if (input.file_name_number() > 1) {
      std::fprintf(stderr, "WARNING: input files merged on-the-fly. ignoring '-cores %d' ...\n",
                   settings.cores);
    } else {
      std::fprintf(stderr, "WARNING: only %u input file(s). ignoring '-cores %d' ...\n",
                   input.file_name_number(), settings.cores);
    }
  }
  if (settings.cpu64) {
    std::fprintf(stderr,
                 "ERROR: handing the run to a 64-bit build ('-cpu64') is not available in this build\n");
    return 1;
  }
  return ContourRun(settings, converter, input, output).run();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    // Fatal conditions deep inside a module arrive here with their complete message.
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
