// Every diagnostic of the program (errors, warnings, progress and timing lines) goes through one
// message sink instead of straight to standard error. The default sink writes the text to
// standard error unchanged, so the user sees exactly what a direct fprintf(stderr, ...) printed;
// a test (and later the graphical panel) installs its own sink to collect the same lines.
//
// Contract:
// - print_message formats like printf and hands the finished text to the current sink in one
//   piece; print_message_text hands text over unformatted ('%' stays as it is).
// - A sink receives whatever the caller passed: usually one complete line ending in '\n', but a
//   line may also arrive in pieces (a message followed by its indented second line, a progress
//   line completed later). Sinks must not assume one call per line.
// - The current sink is process-wide, like standard error itself: the program has one thread.
//   ScopedMessageSink installs a sink for its lifetime and restores the previous one after it.
#pragma once

#include <string>
#include <string_view>

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void write(std::string_view text) = 0;
};

// The indented line that follows the fatal errors that send the user to the maker's support.
inline constexpr const char* kSupportLine = "       contact Quorvane support for assistance\n";

void print_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
void print_message_text(std::string_view text);

// How many messages beginning with "ERROR" were printed so far, whatever the sink. A failing run
// shows one "ERROR:" line, for its cause: a caller whose callee failed prints its own, more
// general error only when the count shows that the callee printed none.
unsigned long error_message_count();
// How many of them began "ERROR:". Those are the run's own errors; a module that names itself in
// brackets ("ERROR (LASspatialIndex): ...") may be one the run recovers from, such as a damaged spatial
// index read around, and its caller decides whether the run failed.
unsigned long run_error_message_count();

// The sink that messages go to now (standard error unless one was installed).
MessageSink& current_message_sink();

// Installs `sink` (not owned; it must outlive the guard) as the current sink.
class ScopedMessageSink {
 public:
  explicit ScopedMessageSink(MessageSink& sink);
  ~ScopedMessageSink();
  ScopedMessageSink(const ScopedMessageSink&) = delete;
  ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

 private:
  MessageSink* previous_;
};

// Collects every message printed while it lives, instead of printing it.
class MessageCollector : public MessageSink {
 public:
  MessageCollector() : guard_(*this) {}
  void write(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
  ScopedMessageSink guard_;
};
