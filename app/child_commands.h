// The command lines of a multi-process run: one argument vector per input file that makes an
// ordinary run of this program do for that file what this run would have done with it.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CommandLine;

struct ChildCommand {
  std::string input;               // the input file this child contours
  std::vector<std::string> words;  // its arguments, without the program
};

// One command per input file of `line`, each made of, in this order: "-i" and the file; the input
// options; "-faf_index" with the file's flight-line index when files are flight lines; "-buffered"
// and "-neighbors_lof" with `list_file` when the input is buffered; the output options; the filter,
// transform and ignore options; the georeferencing options; and the words of the driver's own
// options as the user typed them (without "-cores" and "-cpu64").
//
// The explicit output name of `line` is cleared first, so that every child derives its own name
// from its input. Words are handed over as they are, never through a shell, so names with blanks,
// quotes or other characters a shell would read arrive unchanged.
std::vector<ChildCommand> build_child_commands(CommandLine& line,
                                               const std::optional<std::string>& list_file);
