#include "app/command_line.h"

#include <memory>

#include "app/contour_run.h"
#include "app/multi_process_run.h"
#include "app/output_plan.h"
#include "common/messages.h"
#include "filter/lasinputstages.h"

ParseOutcome parse_command_line(int argc, char** argv, CommandLine& line) {
  if (!line.converter.parse(argc, argv)) return {false, 1};
  line.input.set_point_stages(std::make_unique<LASinputStages>());
  if (!line.input.parse(argc, argv)) return {false, 1};
  if (!line.output.parse(argc, argv)) return {false, 1};
  const ParseOutcome outcome = parse_driver_options(argc, argv, line.driver);
  // The other parsers emptied their words and the driver its mode options; the rest is its own.
  for (int k = 1; k < argc; k++) {
    if (argv[k][0] != '\0') line.driver_words.emplace_back(argv[k]);
  }
  return outcome;
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
  if (settings.cpu64 && settings.verbose) {
    // The 64-bit sibling that "-cpu64" asks for is this program: it runs as it is.
    print_message("'-cpu64': this program is the 64-bit build. running it as it is\n");
  }
  if (settings.cores > 1) {
    if (line.input.file_name_number() > 1 && !line.input.is_merged()) {
      // Every child names its output after its own input; two of them must not write one file,
      // nor one write a file another reads.
      LineOutputOpener children_output = line.output;
      children_output.set_file_name(nullptr);
      if (!check_output_plan(line.input, children_output)) return 1;
      return run_multi_process(line, settings.cores);
    }
    if (line.input.file_name_number() > 1) {
      print_message("WARNING: input files merged on-the-fly. ignoring '-cores %d' ...\n", settings.cores);
    } else {
      print_message("WARNING: only %u input file(s). ignoring '-cores %d' ...\n",
                    line.input.file_name_number(), settings.cores);
    }
  }
  return ContourRun(line.driver, line.converter, line.input, line.output).run();
}
