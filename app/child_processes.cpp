#include "app/child_processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "common/messages.h"

extern char** environ;

namespace {

// Closes a descriptor once.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~Descriptor() { reset(); }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// The signals the runner waits for, blocked while it runs so that they arrive only through its
// signal descriptor (no handler, no race between a check and a wait); the old mask comes back
// afterwards, and a pending SIGINT or SIGTERM is then delivered as usual.
class BlockedSignals {
 public:
  BlockedSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGCHLD);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigprocmask(SIG_BLOCK, &set_, &previous_);
  }
  ~BlockedSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  const sigset_t& set() const { return set_; }

 private:
  sigset_t set_;
  sigset_t previous_;
};

// An unlinked temporary file: gone as soon as it is closed, whatever happens to this process.
Descriptor make_spool(const std::string& directory) {
  int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::string name = directory + "/contourmill_spool_XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  return Descriptor(fd);
}

bool write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool copy_to_standard_output(int fd) {
  if (::lseek(fd, 0, SEEK_SET) != 0) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!write_all(STDOUT_FILENO, buffer, static_cast<size_t>(n))) return false;
  }
}

struct Running {
  size_t job = 0;
  pid_t pid = -1;
  Descriptor messages;  // read end of the child's standard error
  std::string pending;  // the start of a line not yet complete
  bool ended = false;
};

class Run {
 public:
  Run(const ChildProcesses::Settings& settings, const std::vector<ChildJob>& jobs)
      : settings_(settings), jobs_(jobs), outcomes_(jobs.size()), spools_(jobs.size()) {}

  std::vector<ChildOutcome> go();
  int interrupted_by = 0;
  bool output_complete = true;

 private:
  void start(size_t job);
  void wait_for_events();
  void on_signals();
  void reap();
  void relay(Running& child, bool until_end);
  void pass_on_lines(Running& child, std::string_view text, bool final);
  void emit_finished_spools();

  const ChildProcesses::Settings& settings_;
  const std::vector<ChildJob>& jobs_;
  std::vector<ChildOutcome> outcomes_;
  std::vector<Descriptor> spools_;
  std::vector<Running> running_;
  BlockedSignals blocked_;
  Descriptor signals_;
  bool stop_starting_ = false;
  size_t next_spool_ = 0;  // the first job whose spooled output is not yet copied
};

std::vector<ChildOutcome> Run::go() {
  signals_ = Descriptor(signalfd(-1, &blocked_.set(), SFD_CLOEXEC | SFD_NONBLOCK));
  if (!signals_.valid()) {
    print_message("ERROR: cannot watch the child processes: %s\n", std::strerror(errno));
    return outcomes_;
  }
  size_t next = 0;
  while (true) {
    while (!stop_starting_ && next < jobs_.size() && running_.size() < settings_.at_a_time) start(next++);
    if (running_.empty()) break;
    wait_for_events();
  }
  on_signals();  // an interrupt after the last child ended still counts
  emit_finished_spools();
  return outcomes_;
}

void Run::start(size_t job) {
  int pipe_ends[2];
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
    outcomes_[job] = {ChildOutcome::State::spawn_failed, errno};
    stop_starting_ = true;
    return;
  }
  Descriptor read_end(pipe_ends[0]), write_end(pipe_ends[1]);
  if (settings_.spool_standard_output) {
    spools_[job] = make_spool(settings_.spool_directory);
    if (!spools_[job].valid()) {
      print_message("ERROR: cannot make a temporary file in '%s' for the output of '%s': %s\n",
                    settings_.spool_directory.c_str(), jobs_[job].label.c_str(), std::strerror(errno));
      outcomes_[job] = {ChildOutcome::State::spawn_failed, errno};
      output_complete = false;
      stop_starting_ = true;
      return;
    }
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Children read nothing: several of them waiting on one terminal for a key would stall the run.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDERR_FILENO);
  if (spools_[job].valid()) posix_spawn_file_actions_adddup2(&actions, spools_[job].get(), STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);  // the child gets the signals this run blocks
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> argv;
  argv.reserve(jobs_[job].words.size() + 2);
  argv.push_back(const_cast<char*>(settings_.program.c_str()));
  for (const std::string& word : jobs_[job].words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  const int error = posix_spawn(&pid, settings_.program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    outcomes_[job] = {ChildOutcome::State::spawn_failed, error};
    stop_starting_ = true;
    return;
  }
  ::fcntl(read_end.get(), F_SETFL, O_NONBLOCK);
  Running child;
  child.job = job;
  child.pid = pid;
  child.messages = std::move(read_end);
  running_.push_back(std::move(child));
}

void Run::wait_for_events() {
  std::vector<pollfd> watched;
  watched.push_back({signals_.get(), POLLIN, 0});
  for (const Running& child : running_) watched.push_back({child.messages.get(), POLLIN, 0});
  if (::poll(watched.data(), watched.size(), -1) < 0) return;  // EINTR: look again
  if (watched[0].revents) on_signals();
  for (size_t k = 1; k < watched.size(); k++) {
    if (watched[k].revents) relay(running_[k - 1], false);
  }
  reap();
  // A child is done once it ended and its messages are passed on.
  std::erase_if(running_, [](const Running& child) { return child.ended && !child.messages.valid(); });
  emit_finished_spools();
}

void Run::on_signals() {
  signalfd_siginfo info;
  while (::read(signals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    const int number = static_cast<int>(info.ssi_signo);
    if (number != SIGINT && number != SIGTERM) continue;  // SIGCHLD: reap() looks after it
    interrupted_by = number;
    stop_starting_ = true;
    for (const Running& child : running_) {
      if (!child.ended) ::kill(child.pid, number);
    }
  }
}

void Run::reap() {
  for (Running& child : running_) {
    if (child.ended) continue;
    int status = 0;
    const pid_t done = ::waitpid(child.pid, &status, WNOHANG);
    if (done != child.pid) continue;
    child.ended = true;
    if (WIFSIGNALED(status))
      outcomes_[child.job] = {ChildOutcome::State::killed, WTERMSIG(status)};
    else
      outcomes_[child.job] = {ChildOutcome::State::exited, WEXITSTATUS(status)};
    // What the child wrote before it ended is in the pipe; a process it left behind that still
    // holds the pipe is not waited for.
    relay(child, true);
  }
}

void Run::relay(Running& child, bool until_end) {
  if (!child.messages.valid()) return;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(child.messages.get(), buffer, sizeof buffer);
    if (n > 0) {
      pass_on_lines(child, std::string_view(buffer, static_cast<size_t>(n)), false);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN && !until_end) return;
    break;  // the end of the pipe, or nothing more from a child that ended
  }
  pass_on_lines(child, {}, true);
  child.messages.reset();
}

void Run::pass_on_lines(Running& child, std::string_view text, bool final) {
  child.pending.append(text);
  const std::string& label = jobs_[child.job].label;
  size_t begin = 0;
  for (size_t end; (end = child.pending.find('\n', begin)) != std::string::npos; begin = end + 1) {
    print_message_text(label + ": " + child.pending.substr(begin, end + 1 - begin));
  }
  child.pending.erase(0, begin);
  if (final && !child.pending.empty()) {
    print_message_text(label + ": " + child.pending + "\n");
    child.pending.clear();
  }
}

void Run::emit_finished_spools() {
  if (!settings_.spool_standard_output) return;
  while (next_spool_ < jobs_.size()) {
    const ChildOutcome& outcome = outcomes_[next_spool_];
    if (outcome.state == ChildOutcome::State::not_started && !stop_starting_) return;
    const bool running = std::any_of(running_.begin(), running_.end(),
                                     [this](const Running& child) { return child.job == next_spool_; });
    if (running) return;
    Descriptor& spool = spools_[next_spool_];
    if (spool.valid() && output_complete && !copy_to_standard_output(spool.get())) {
      print_message("ERROR: writing the output of '%s' to standard output failed\n",
                    jobs_[next_spool_].label.c_str());
      output_complete = false;
    }
    spool.reset();
    next_spool_++;
  }
}

}  // namespace

std::string ChildOutcome::describe() const {
  switch (state) {
    case State::exited:
      return "exit code " + std::to_string(value);
    case State::killed:
      return "killed by signal " + std::to_string(value) + " (" + strsignal(value) + ")";
    case State::spawn_failed:
      return std::string("could not be started (") + std::strerror(value) + ")";
    case State::not_started:
      break;
  }
  return "not started";
}

std::vector<ChildOutcome> ChildProcesses::run(const std::vector<ChildJob>& jobs) {
  Run run(settings_, jobs);
  std::vector<ChildOutcome> outcomes = run.go();
  interrupted_by_ = run.interrupted_by;
  output_complete_ = run.output_complete;
  return outcomes;
}
