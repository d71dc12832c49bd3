#include "pointio/lasreaderstored.h"

#include "common/messages.h"
#include "pointio/bytestreamin.h"
#include "pointio/bytestreamout.h"
#include "pointio/lasreaderlas.h"
#include "pointio/laswriterlas.h"

LASreaderStored::LASreaderStored() = default;
LASreaderStored::~LASreaderStored() = default;

bool LASreaderStored::open(std::unique_ptr<LASreader> reader) {
  if (!wrap(std::move(reader))) return false;
  format_ = wrapped_->get_format();
  incomplete = false;
  // Compressed points take a fraction of their records; two bytes a point is a fair start, and
  // the buffer doubles when it must grow.
  out_ = std::make_unique<ByteStreamOutArray>(2 * std::max<int64_t>(npoints, 0));
  writer_ = std::make_unique<LASwriterLAS>();
  if (!writer_->open(out_.get(), &header, LASwriterLAS::CHUNKED, 0, 50000)) {
    print_message_text("ERROR: opening laswriterlas to streamoutarray\n");
    return false;
  }
  return true;
}

bool LASreaderStored::read_point_unfiltered() {
  if (memory_) {
    if (!memory_->read_point()) {
      incomplete = incomplete || memory_->is_incomplete();
      return false;
    }
    copy_wrapped_point(memory_->point, point);
    p_count++;
    return true;
  }
  if (!wrapped_ || !writer_) return false;
  if (wrapped_->read_point()) {
    copy_wrapped_point(wrapped_->point, point);
    if (!writer_->write_point(point)) {
      print_message_text("ERROR: storing points in memory failed\n");
      incomplete = true;
      return false;
    }
    p_count++;
    return true;
  }
  finish_first_pass();
  return false;
}

bool LASreaderStored::finish_first_pass() {
  if (!writer_) return true;
  incomplete = incomplete || wrapped_->is_incomplete();
  writer_->update_header(&header, true);
  const bool ok = writer_->close() >= 0;
  writer_.reset();
  return ok;
}

bool LASreaderStored::reopen() {
  p_count = 0;
  if (memory_) return memory_->seek(0) || memory_->get_npoints() == 0;
  if (!out_) {
    print_message_text("ERROR: no streamoutarray\n");
    return false;
  }
  // A first pass that stopped early stores the rest now, so every later pass is complete.
  if (writer_) {
    while (wrapped_->read_point()) {
      copy_wrapped_point(wrapped_->point, point);
      if (!writer_->write_point(point)) break;
    }
    if (!finish_first_pass()) return false;
  }
  if (out_->get_size() == 0) {
    print_message_text("ERROR: nothing stored in streamoutarray\n");
    return false;
  }
  stored_ = out_->take_data();
  out_.reset();
  in_ = std::make_unique<ByteStreamInArray>(stored_.data(), static_cast<int64_t>(stored_.size()));
  wrapped_.reset();
  memory_ = std::make_unique<LASreaderLAS>();
  if (!memory_->open(in_.get(), false, LASreaderLAS::kDecompressAll)) {
    print_message_text("ERROR: opening lasreaderlas from streaminarray\n");
    memory_.reset();
    return false;
  }
  npoints = memory_->get_npoints();
  return true;
}

bool LASreaderStored::seek(int64_t p_index) {
  if (!memory_ || !memory_->seek(p_index)) return false;
  p_count = p_index;
  return true;
}

void LASreaderStored::close(bool) {
  // The stored points stay for the next pass; only a first pass that never ends lets go of its
  // input here.
}

int64_t LASreaderStored::stored_bytes() const {
  return out_ ? out_->get_size() : static_cast<int64_t>(stored_.size());
}

int64_t LASreaderStored::allocated_bytes() const {
  return out_ ? out_->get_capacity() : static_cast<int64_t>(stored_.capacity());
}
