// One program the panel started, with its standard output and error read through a pipe while the
// window goes on: the toolkit calls back when output arrives, and a short timer collects the exit
// status, so nothing ever waits on the child.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class ChildRun {
 public:
  using OutputHandler = std::function<void(std::string_view)>;
  // The wait status as waitpid gives it.
  using ExitHandler = std::function<void(int)>;

  ChildRun(OutputHandler on_output, ExitHandler on_exit);
  ~ChildRun();  // ends a child still running
  ChildRun(const ChildRun&) = delete;
  ChildRun& operator=(const ChildRun&) = delete;

  // Starts `program` (a path, or a name looked up on PATH) with `words` as its arguments (words[0]
  // is its own name) through posix_spawn, never a shell: a name with blanks or quotes reaches it
  // as one word. Answers false with the reason in `error`.
  bool start(const std::string& program, const std::vector<std::string>& words, std::string& error);
  bool running() const { return pid_ > 0; }

 private:
  static void on_readable(int fd, void* self);
  static void on_poll(void* self);
  void read_output();
  void collect_exit();

  OutputHandler on_output_;
  ExitHandler on_exit_;
  pid_t pid_ = -1;
  int fd_ = -1;
  int status_ = 0;
  bool exited_ = false;
};
