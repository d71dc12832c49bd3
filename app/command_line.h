// The whole command line of the tool: the four parsers take their options from the one argument
// vector in the tool's order (georeferencing, input, line output, then the driver's own options,
// which report any word nobody took), and the mode the run then takes.
#pragma once

#include <string>
#include <vector>

#include "app/driver_options.h"
#include "geo/geoprojectionconverter.h"
#include "lineio/line_output_opener.h"
#include "pointio/lasinputopener.h"

struct CommandLine {
  GeoProjectionConverter converter;
  LASinputOpener input;
  LineOutputOpener output;
  DriverSettings driver;
  // The words of the driver's own options as typed, without the mode options "-cores" and
  // "-cpu64": what a multi-process run hands its children after the other parts' options.
  std::vector<std::string> driver_words;
};

// Parses argv[1 .. argc-1] into `line`, emptying the words each parser consumes. The messages of
// bad options are printed; the outcome says whether to run and, if not, the exit code.
ParseOutcome parse_command_line(int argc, char** argv, CommandLine& line);

// The options of all four parts as one command-line text, without input and output names: what a
// further process needs to run as this one does (the unparse contract of common/option_text.h).
std::string unparse_command_line(const CommandLine& line, bool with_output_names);

// Chooses the mode after parsing (a normal or a multi-process run) and runs it; answers the exit
// code. "-gui" is the caller's to handle: the panel lives in a library of its own.
int run_command_line(CommandLine& line);
