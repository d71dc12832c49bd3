#include "pointio/bytestreamout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// Big-endian output goes through a scratch so the caller's value is left untouched.
template <int N>
bool put_reversed(ByteStreamOut& out, const uint8_t* bytes) {
  uint8_t swapped[8];
  std::reverse_copy(bytes, bytes + N, swapped);
  return out.put_bytes(swapped, N);
}

}  // namespace

// Standard output is seekable only when it was redirected to a regular file that is not
// appended to: a header written first can then be corrected at the end, as for a named file.
ByteStreamOutFile::ByteStreamOutFile(FILE* file) : file_(file), seekable_(file != stdout) {
  if (file == stdout) {
    struct stat st {};
    const int fd = fileno(file);
    const int flags = fcntl(fd, F_GETFL);
    seekable_ = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flags != -1 && (flags & O_APPEND) == 0;
  }
}

bool ByteStreamOutFile::put_byte(uint8_t byte) {
  return fputc(byte, file_) == byte;
}

bool ByteStreamOutFile::put_bytes(const uint8_t* bytes, uint32_t num_bytes) {
  return fwrite(bytes, 1, num_bytes, file_) == num_bytes;
}

bool ByteStreamOut::put16_be(const uint8_t* bytes) {
  return put_reversed<2>(*this, bytes);
}
bool ByteStreamOut::put32_be(const uint8_t* bytes) {
  return put_reversed<4>(*this, bytes);
}
bool ByteStreamOut::put64_be(const uint8_t* bytes) {
  return put_reversed<8>(*this, bytes);
}

int64_t ByteStreamOutFile::tell() const {
  return static_cast<int64_t>(ftello(file_));
}

bool ByteStreamOutFile::seek(int64_t position) {
  return fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool ByteStreamOutFile::seek_end() {
  return fseeko(file_, 0, SEEK_END) == 0;
}

ByteStreamOutArray::ByteStreamOutArray(int64_t initial_capacity) {
  grow_to(std::max<int64_t>(initial_capacity, 0));
}

bool ByteStreamOutArray::grow_to(int64_t capacity) {
  try {
    data_.resize(static_cast<size_t>(capacity));
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// The buffer at least doubles when it grows, so writing n bytes costs O(n) copies in all; a fixed
// step would copy the whole buffer again every few kilobytes.
bool ByteStreamOutArray::reserve_for(int64_t end) {
  if (end <= get_capacity()) return true;
  return grow_to(std::max<int64_t>(end, std::max<int64_t>(2 * get_capacity(), 4096)));
}

std::vector<uint8_t> ByteStreamOutArray::take_data() {
  data_.resize(static_cast<size_t>(size_));
  data_.shrink_to_fit();
  std::vector<uint8_t> taken = std::move(data_);
  data_.clear();
  size_ = curr_ = 0;
  return taken;
}

bool ByteStreamOutArray::put_byte(uint8_t byte) {
  if (!reserve_for(curr_ + 1)) return false;
  data_[static_cast<size_t>(curr_)] = byte;
  if (curr_ == size_) size_++;
  curr_++;
  return true;
}

bool ByteStreamOutArray::put_bytes(const uint8_t* bytes, uint32_t num_bytes) {
  if (!reserve_for(curr_ + num_bytes)) return false;
  if (num_bytes) std::memcpy(data_.data() + curr_, bytes, num_bytes);
  curr_ += num_bytes;
  size_ = std::max(size_, curr_);
  return true;
}

bool ByteStreamOutArray::seek(int64_t position) {
  if (position < 0 || position > size_) return false;
  curr_ = position;
  return true;
}

bool ByteStreamOutArray::seek_end() {
  curr_ = size_;
  return true;
}
