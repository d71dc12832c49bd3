#include "gui/panel/child_run.h"

#include <FL/Fl.H>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

// How often the exit status is looked for once the child has closed its output, in seconds.
constexpr double kPollSeconds = 0.05;

}  // namespace

ChildRun::ChildRun(OutputHandler on_output, ExitHandler on_exit)
    : on_output_(std::move(on_output)), on_exit_(std::move(on_exit)) {}

ChildRun::~ChildRun() {
  if (fd_ >= 0) {
    Fl::remove_fd(fd_);
    close(fd_);
  }
  Fl::remove_timeout(on_poll, this);
  if (pid_ > 0) {
    // The window is closing: the run it started must not go on writing files nobody watches.
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

bool ChildRun::start(const std::string& program, const std::vector<std::string>& words, std::string& error) {
  if (running()) {
    error = "a run is still going";
    return false;
  }
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  pid_t pid = -1;
  const bool has_slash = program.find('/') != std::string::npos;
  const int result = has_slash ? posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                               : posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (result != 0) {
    close(pipe_fds[0]);
    error = "cannot start '" + program + "': " + std::strerror(result);
    return false;
  }
  pid_ = pid;
  fd_ = pipe_fds[0];
  exited_ = false;
  Fl::add_fd(fd_, FL_READ, on_readable, this);
  return true;
}

void ChildRun::on_readable(int, void* self) {
  static_cast<ChildRun*>(self)->read_output();
}

void ChildRun::on_poll(void* self) {
  static_cast<ChildRun*>(self)->collect_exit();
}

void ChildRun::read_output() {
  char buffer[4096];
  const ssize_t n = read(fd_, buffer, sizeof(buffer));
  if (n > 0) {
    on_output_(std::string_view(buffer, static_cast<size_t>(n)));
    return;
  }
  if (n < 0 && errno == EINTR) return;
  // End of output (or a broken pipe): the child is ending, or it handed its output to a grandchild
  // that outlives it; either way the exit status tells the end.
  Fl::remove_fd(fd_);
  close(fd_);
  fd_ = -1;
  collect_exit();
}

void ChildRun::collect_exit() {
  if (pid_ <= 0) return;
  int status = 0;
  const pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == 0) {
    if (!Fl::has_timeout(on_poll, this)) Fl::add_timeout(kPollSeconds, on_poll, this);
    return;
  }
  pid_ = -1;
  if (fd_ >= 0) {
    // Output still open after the exit belongs to a process the child left behind; the run is over.
    Fl::remove_fd(fd_);
    close(fd_);
    fd_ = -1;
  }
  on_exit_(done < 0 ? -1 : status);
}
