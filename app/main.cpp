// contourmill: elevation contours from LiDAR points via a temporary TIN.
#include <exception>
#include <new>

#include "app/command_line.h"
#include "common/messages.h"
#include "gui/graphical_panel.h"

int main(int argc, char** argv) {
  try {
    // The panel's exit code is its own: messages its map view turned into warnings are no failure.
    if (argc <= 1) {
      if (graphical_panel_can_open()) return run_graphical_panel(nullptr);
      // Without a window a start without arguments is a request for help.
      print_usage();
      return 1;
    }
    CommandLine line;
    const ParseOutcome parsed = parse_command_line(argc, argv, line);
    if (!parsed.proceed) return parsed.exit_code;
    if (line.driver.gui) return run_graphical_panel(&line);
    const int exit_code = run_command_line(line);
    // A script must be able to trust the exit code: a run that printed an error did not succeed.
    return exit_code == 0 && run_error_message_count() != 0 ? 1 : exit_code;
  } catch (const std::bad_alloc&) {
    print_message("ERROR: out of memory\n");
    return 1;
  } catch (const std::exception& e) {
    // Fatal conditions deep inside a module arrive here with their complete message.
    print_message("%s\n", e.what());
    return 1;
  }
}
