#include "pointio/lasreaderpipeon.h"

#include "common/messages.h"
#include "pointio/laswriterlas.h"

LASreaderPipeOn::LASreaderPipeOn() = default;
LASreaderPipeOn::~LASreaderPipeOn() {
  finish();
}

bool LASreaderPipeOn::open(std::unique_ptr<LASreader> reader, FILE* out) {
  if (!wrap(std::move(reader))) return false;
  writer_ = std::make_unique<LASwriterLAS>();
  if (!writer_->open(out, &header, LASwriterLAS::NONE, 0, 50000)) {
    print_message_text("ERROR: opening laswriterlas to stdout\n");
    writer_.reset();
    return false;
  }
  return true;
}

bool LASreaderPipeOn::read_point_unfiltered() {
  if (!wrapped_ || !wrapped_->read_point()) {
    if (wrapped_) incomplete = incomplete || wrapped_->is_incomplete();
    if (!finish()) incomplete = true;
    return false;
  }
  copy_wrapped_point(wrapped_->point, point);
  if (writer_ && !writer_->write_point(point)) {
    print_message_text("ERROR: writing points to stdout failed\n");
    failed_ = true;
    writer_.reset();
  }
  p_count++;
  return true;
}

// The header goes out first, so on a pipe it keeps the counts it announced; a reader on the
// other end learns the true count from the end of the stream.
bool LASreaderPipeOn::finish() {
  if (!writer_) return !failed_;
  const bool ok = writer_->close() >= 0;
  writer_.reset();
  if (!ok) failed_ = true;
  return ok;
}

void LASreaderPipeOn::close(bool close_stream) {
  if (wrapped_) wrapped_->close(close_stream);
}
