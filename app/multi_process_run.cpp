#include "app/multi_process_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "app/child_commands.h"
#include "app/child_processes.h"
#include "app/command_line.h"
#include "common/messages.h"

namespace {

// The path of this program's executable, so that the children run exactly this build.
std::optional<std::string> own_executable() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// The folder for temporary files: the one "-temp_files" names (itself when it is a folder, else
// the folder its base name lies in), else `otherwise`.
std::string temp_directory(const CommandLine& line, const std::string& otherwise) {
  const std::optional<std::string>& base = line.input.get_temp_file_base();
  if (!base || base->empty()) return otherwise;
  std::error_code error;
  if (std::filesystem::is_directory(*base, error)) return *base;
  const std::string parent = std::filesystem::path(*base).parent_path().string();
  return parent.empty() ? "." : parent;
}

// The list of all input names that buffered children read their neighbours from. It is created
// new (never through an existing file or link of that name), readable by its owner only, and
// removed when the run ends.
class ListFile {
 public:
  ~ListFile() { remove(); }

  void remove() {
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
  }

  bool write(const std::string& directory, const LASinputOpener& input) {
    const std::string path = directory + "/file_list_buffered." + std::to_string(::getpid()) + ".txt";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      print_message("ERROR: cannot open '%s'\n", path.c_str());
      return false;
    }
    path_ = path;
    std::string text;
    for (uint32_t k = 0; k < input.file_name_number(); k++) {
      const std::string& name = input.file_name_at(k);
      if (name.find('\n') != std::string::npos) {
        print_message("ERROR: cannot list '%s' in '%s': the name holds a line break\n", name.c_str(),
                      path.c_str());
        ::close(fd);
        return false;
      }
      text += name;
      text += '\n';
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 || !written) {
      print_message("ERROR: cannot write '%s'\n", path.c_str());
      return false;
    }
    return true;
  }

  // None until written.
  std::optional<std::string> path() const {
    if (path_.empty()) return std::nullopt;
    return path_;
  }

 private:
  std::string path_;
};

std::string standard_temp_directory() {
  const char* tmpdir = std::getenv("TMPDIR");
  return tmpdir && *tmpdir ? tmpdir : "/tmp";
}

// Ends this process by `signal` the way it would have ended without the runner in between.
[[noreturn]] void end_by(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

}  // namespace

int run_multi_process(CommandLine& line, int cores) {
  const bool verbose = line.driver.verbose;
  const auto start = std::chrono::steady_clock::now();
  const std::optional<std::string> program = own_executable();
  if (!program) {
    print_message("ERROR: cannot find the path of this program: %s\n", std::strerror(errno));
    return 1;
  }

  ListFile list_file;
  if (line.input.is_buffered() && !list_file.write(temp_directory(line, "."), line.input)) return 1;
  std::vector<ChildCommand> commands = build_child_commands(line, list_file.path());

  std::vector<ChildJob> jobs;
  jobs.reserve(commands.size());
  for (ChildCommand& command : commands) jobs.push_back({std::move(command.input), std::move(command.words)});

  ChildProcesses::Settings settings;
  settings.program = *program;
  settings.at_a_time = std::min<size_t>(static_cast<size_t>(cores), jobs.size());
  // Contours (-stdout) or points passed on (-pipe_on) of children running side by side would
  // interleave on one standard output.
  settings.spool_standard_output = line.output.get_use_stdout() || line.input.is_pipe_on();
  settings.spool_directory = temp_directory(line, standard_temp_directory());
  if (verbose) {
    print_message("running %zu input files in %zu processes at a time with '%s'\n", jobs.size(),
                  settings.at_a_time, program->c_str());
  }
  ChildProcesses children(settings);
  const std::vector<ChildOutcome> outcomes = children.run(jobs);

  size_t failed = 0, not_started = 0;
  for (size_t k = 0; k < jobs.size(); k++) {
    const ChildOutcome& outcome = outcomes[k];
    if (outcome.state == ChildOutcome::State::not_started) {
      not_started++;
    } else if (!outcome.succeeded()) {
      failed++;
      print_message("ERROR: the run on '%s' failed: %s\n", jobs[k].label.c_str(), outcome.describe().c_str());
    }
  }
  if (not_started > 0) print_message("ERROR: %zu input file(s) were not started\n", not_started);
  if (const int signal = children.interrupted_by()) {
    print_message("ERROR: interrupted by signal %d (%s)\n", signal, strsignal(signal));
    list_file.remove();
    end_by(signal);
  }
  if (verbose) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    print_message("done with %zu input files, %zu failed. total time %g sec.\n", jobs.size(),
                  failed + not_started, took.count());
  }
  return failed == 0 && not_started == 0 && children.output_complete() ? 0 : 1;
}
