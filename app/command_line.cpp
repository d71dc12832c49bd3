#include "app/command_line.h"

#include <memory>

#include "app/contour_run.h"
#include "common/messages.h"
#include "filter/lasinputstages.h"

ParseOutcome parse_command_line(int argc, char** argv, CommandLine& line) {
  if (!line.converter.parse(argc, argv)) return {false, 1};
  line.input.set_point_stages(std::make_unique<LASinputStages>());
  if (!line.input.parse(argc, argv)) return {false, 1};
  if (!line.output.parse(argc, argv)) return {false, 1};
  return parse_driver_options(argc, argv, line.driver);
}

std::string unparse_command_line(const CommandLine& line, bool with_output_names) {
  std::string text;
  line.converter.unparse(text);
  line.input.write_options(text);
  line.output.unparse(text, with_output_names);
  line.input.write_point_stage_options(text);
  unparse_driver_options(line.driver, text);
  return text;
}

int run_command_line(CommandLine& line) {
  const DriverSettings& settings = line.driver;
  if (settings.gui) {
    print_message("ERROR: the graphical front-end is not available in this build\n");
    return 1;
  }
  if (settings.cores > 1) {
    if (line.input.file_name_number() > 1 && !line.input.is_merged()) {
      print_message("ERROR: the multi-process run ('-cores %d') is not available in this build\n",
                    settings.cores);
      return 1;
    }
    if (line.input.file_name_number() > 1) {
      print_message("WARNING: input files merged on-the-fly. ignoring '-cores %d' ...\n", settings.cores);
    } else {
      print_message("WARNING: only %u input file(s). ignoring '-cores %d' ...\n",
                    line.input.file_name_number(), settings.cores);
    }
  }
  if (settings.cpu64) {
    print_message("ERROR: handing the run to a 64-bit build ('-cpu64') is not available in this build\n");
    return 1;
  }
  return ContourRun(line.driver, line.converter, line.input, line.output).run();
}
