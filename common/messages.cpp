#include "common/messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

class StandardErrorSink : public MessageSink {
 public:
  void write(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stderr); }
};

StandardErrorSink standard_error_sink;
MessageSink* current_sink = &standard_error_sink;
unsigned long error_messages = 0;
unsigned long run_error_messages = 0;

void deliver(std::string_view text) {
  if (text.starts_with("ERROR")) error_messages++;
  if (text.starts_with("ERROR:")) run_error_messages++;
  current_sink->write(text);
}

}  // namespace

unsigned long error_message_count() {
  return error_messages;
}

unsigned long run_error_message_count() {
  return run_error_messages;
}

MessageSink& current_message_sink() {
  return *current_sink;
}

void print_message_text(std::string_view text) {
  deliver(text);
}

void print_message(const char* format, ...) {
  // Most messages fit the stack buffer; a long file name in one gets a buffer of its own.
  char buffer[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(length) < sizeof buffer) {
    va_end(again);
    deliver(std::string_view(buffer, static_cast<size_t>(length)));
    return;
  }
  std::vector<char> large(static_cast<size_t>(length) + 1);
  std::vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  deliver(std::string_view(large.data(), static_cast<size_t>(length)));
}

ScopedMessageSink::ScopedMessageSink(MessageSink& sink) : previous_(current_sink) {
  current_sink = &sink;
}

ScopedMessageSink::~ScopedMessageSink() {
  current_sink = previous_;
}
