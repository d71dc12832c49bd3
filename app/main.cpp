// contourmill: elevation contours from LiDAR points via a temporary TIN.
#include <exception>

#include "app/command_line.h"
#include "common/messages.h"

namespace {

int run(int argc, char** argv) {
  if (argc <= 1) {
    print_message("ERROR: the graphical front-end is not available in this build. see 'contourmill -h'\n");
    return 1;
  }
  CommandLine line;
  const ParseOutcome parsed = parse_command_line(argc, argv, line);
  if (!parsed.proceed) return parsed.exit_code;
  return run_command_line(line);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const int exit_code = run(argc, argv);
    // A script must be able to trust the exit code: a run that printed an error did not succeed.
    return exit_code == 0 && run_error_message_count() != 0 ? 1 : exit_code;
  } catch (const std::exception& e) {
    // Fatal conditions deep inside a module arrive here with their complete message.
    print_message("%s\n", e.what());
    return 1;
  }
}
