// Runs a list of commands as child processes of one program, at most a given number at a time,
// and collects how each ended.
//
// - Children are started with posix_spawn and an argument vector, never through a shell, with
//   standard input from /dev/null.
// - A new child starts as soon as any running child ends; the runner waits for every child it
//   started before it returns.
// - Every line a child writes to standard error is passed on with its job's label in front
//   ("tile_07.las: ERROR: ..."), so that the messages of children running side by side stay
//   readable and each line says where it came from. Lines are passed on whole, as they complete.
// - SIGINT and SIGTERM that reach the runner are passed on to every running child, and no new
//   child is started after them; interrupted_by() then names the signal.
// - With spooled standard output, each child writes its standard output into an unlinked
//   temporary file, and the files are copied to this process's standard output in job order
//   once their child ended: the result equals that of running the jobs one after another.
#pragma once

#include <string>
#include <vector>

struct ChildJob {
  std::string label;               // the input the child works on, named in its messages
  std::vector<std::string> words;  // the arguments after the program
};

struct ChildOutcome {
  enum class State { not_started, exited, killed, spawn_failed };
  State state = State::not_started;
  int value = 0;  // exit code, signal number, or the error of posix_spawn

  bool succeeded() const { return state == State::exited && value == 0; }
  // "exit code 1", "killed by signal 9 (Killed)", "could not be started (No such file ...)".
  std::string describe() const;
};

class ChildProcesses {
 public:
  struct Settings {
    std::string program;  // the full path of the program to run; also the children's argv[0]
    size_t at_a_time = 1;
    bool spool_standard_output = false;
    std::string spool_directory = "/tmp";
  };

  explicit ChildProcesses(Settings settings) : settings_(std::move(settings)) {}

  // Runs the jobs; answers one outcome per job, in job order. After an interrupt or a child that
  // could not be started, the jobs not yet started stay not_started.
  std::vector<ChildOutcome> run(const std::vector<ChildJob>& jobs);

  int interrupted_by() const { return interrupted_by_; }
  // False when the spooled standard output could not be written (or a spool not be made).
  bool output_complete() const { return output_complete_; }

 private:
  Settings settings_;
  int interrupted_by_ = 0;
  bool output_complete_ = true;
};
