#include "pointio/detail/bufferedinput.h"

#include <algorithm>
#include <cstring>

#include "common/messages.h"

BufferedInput::BufferedInput(std::unique_ptr<DecompressingFile> file, size_t buffer_size)
    : file_(std::move(file)),
      capacity_(std::max(buffer_size, 2 * kMaxLineLength)),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

bool BufferedInput::fill() {
  if (eof_ || failed_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // One read: a pipe delivers in small pieces, and what arrived is handed over at once.
  const int64_t n = file_->read(buffer_.get() + end_, capacity_ - end_);
  if (n < 0) {
    failed_ = true;
    return false;
  }
  if (n == 0) eof_ = true;
  end_ += static_cast<size_t>(n);
  return end_ > begin_;
}

bool BufferedInput::at_end() {
  return begin_ == end_ && !fill();
}

void BufferedInput::warn_long_line() const {
  print_message("WARNING: line %llu of '%s' is longer than %zu characters. skipping ...\n",
                static_cast<unsigned long long>(line_number_), file_->name().c_str(), kMaxLineLength);
}

bool BufferedInput::next_line(std::string_view& line) {
  size_t scanned = 0;  // bytes after begin_ known to hold no line end
  bool skipping = false;
  for (;;) {
    const char* data = buffer_.get();
    const size_t available = end_ - begin_;
    const void* found = std::memchr(data + begin_ + scanned, '\n', available - scanned);
    if (found) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(found) - data);
      const size_t length = at - begin_;
      const size_t start = begin_;
      consumed_ += length + 1;
      begin_ = at + 1;
      scanned = 0;
      if (skipping) {
        skipping = false;
        continue;
      }
      line_number_++;
      if (length > kMaxLineLength) {
        warn_long_line();
        continue;
      }
      line = std::string_view(data + start, length);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      return true;
    }
    if (!skipping && available > kMaxLineLength) {
      line_number_++;
      warn_long_line();
      skipping = true;
    }
    if (skipping) {
      consumed_ += available;
      begin_ = end_ = 0;
      scanned = 0;
    } else {
      scanned = available;
    }
    if (!fill()) {
      if (failed_ || skipping || begin_ == end_) return false;
      // The last line lacks its end.
      const size_t length = end_ - begin_;
      line = std::string_view(buffer_.get() + begin_, length);
      consumed_ += length;
      begin_ = end_;
      line_number_++;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      return true;
    }
  }
}

size_t BufferedInput::read(void* destination, size_t size) {
  char* out = static_cast<char*>(destination);
  size_t done = 0;
  while (done < size) {
    if (begin_ == end_ && !fill()) break;
    const size_t n = std::min(size - done, end_ - begin_);
    std::memcpy(out + done, buffer_.get() + begin_, n);
    begin_ += n;
    done += n;
  }
  consumed_ += done;
  return done;
}

uint32_t ByteStreamInBuffered::get_byte() {
  uint8_t b;
  get_bytes(&b, 1);
  return b;
}

void ByteStreamInBuffered::get_bytes(uint8_t* bytes, uint32_t num_bytes) {
  if (input_.read(bytes, num_bytes) != num_bytes) throw ByteStreamError{kEndOfData};
}

bool ByteStreamInBuffered::seek(int64_t position) {
  const int64_t here = tell();
  if (position < here) return false;
  int64_t left = position - here;
  while (left > 0) {
    const uint32_t step = static_cast<uint32_t>(std::min<int64_t>(left, 1 << 30));
    if (!skip_bytes(step)) return false;
    left -= step;
  }
  return true;
}

bool ByteStreamInBuffered::skip_bytes(uint32_t num_bytes) {
  char scratch[4096];
  uint32_t left = num_bytes;
  while (left > 0) {
    const size_t n = input_.read(scratch, std::min<size_t>(left, sizeof scratch));
    if (n == 0) return false;
    left -= static_cast<uint32_t>(n);
  }
  return true;
}
