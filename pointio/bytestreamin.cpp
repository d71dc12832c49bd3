#include "pointio/bytestreamin.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>

namespace {

// Big-endian values arrive in file order and are stored byte-reversed, so the destination holds
// the host's (little-endian) representation.
void reverse_into(uint8_t* dst, const uint8_t* src, int n) {
  std::reverse_copy(src, src + n, dst);
}

}  // namespace

bool try_get_bytes(ByteStreamIn& in, void* bytes, uint32_t num_bytes) {
  try {
    in.get_bytes(static_cast<uint8_t*>(bytes), num_bytes);
    return true;
  } catch (const ByteStreamError&) {
    return false;
  }
}

void ByteStreamIn::get16_be(uint8_t* bytes) {
  uint8_t swapped[2];
  get_bytes(swapped, 2);
  reverse_into(bytes, swapped, 2);
}

void ByteStreamIn::get32_be(uint8_t* bytes) {
  uint8_t swapped[4];
  get_bytes(swapped, 4);
  reverse_into(bytes, swapped, 4);
}

void ByteStreamIn::get64_be(uint8_t* bytes) {
  uint8_t swapped[8];
  get_bytes(swapped, 8);
  reverse_into(bytes, swapped, 8);
}

int64_t ByteStreamIn::size() {
  if (!is_seekable()) return -1;
  const int64_t here = tell();
  if (here < 0 || !seek_end(0)) return -1;
  const int64_t end = tell();
  if (!seek(here)) return -1;
  return end;
}

uint32_t ByteStreamInFile::get_byte() {
  const int c = getc(file_);
  if (c == EOF) throw ByteStreamError{kEndOfData};
  return static_cast<uint32_t>(c);
}

void ByteStreamInFile::get_bytes(uint8_t* bytes, uint32_t num_bytes) {
  if (fread(bytes, 1, num_bytes, file_) != num_bytes) throw ByteStreamError{kEndOfData};
}

int64_t ByteStreamInFile::tell() const {
  return static_cast<int64_t>(ftello(file_));
}

bool ByteStreamInFile::seek(int64_t position) {
  if (tell() == position) return true;
  return fseeko(file_, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool ByteStreamInFile::seek_end(int64_t distance) {
  return fseeko(file_, static_cast<off_t>(-distance), SEEK_END) == 0;
}

bool ByteStreamInFile::skip_bytes(uint32_t num_bytes) {
  return seek(tell() + num_bytes);
}

void ByteStreamInArray::init(const uint8_t* data, int64_t size) {
  data_ = data;
  size_ = data ? size : 0;
  curr_ = 0;
}

uint32_t ByteStreamInArray::get_byte() {
  if (curr_ >= size_) throw ByteStreamError{kEndOfData};
  return data_[curr_++];
}

void ByteStreamInArray::get_bytes(uint8_t* bytes, uint32_t num_bytes) {
  if (curr_ + num_bytes > size_) throw ByteStreamError{kEndOfData};
  if (num_bytes) std::memcpy(bytes, data_ + curr_, num_bytes);
  curr_ += num_bytes;
}

void ByteStreamInArray::get16_be(uint8_t* bytes) {
  if (curr_ + 2 > size_) throw ByteStreamError{kEndOfData};
  reverse_into(bytes, data_ + curr_, 2);
  curr_ += 2;
}

void ByteStreamInArray::get32_be(uint8_t* bytes) {
  if (curr_ + 4 > size_) throw ByteStreamError{kEndOfData};
  reverse_into(bytes, data_ + curr_, 4);
  curr_ += 4;
}

void ByteStreamInArray::get64_be(uint8_t* bytes) {
  if (curr_ + 8 > size_) throw ByteStreamError{kEndOfData};
  reverse_into(bytes, data_ + curr_, 8);
  curr_ += 8;
}

bool ByteStreamInArray::seek(int64_t position) {
  if (position < 0 || position > size_) return false;
  curr_ = position;
  return true;
}

bool ByteStreamInArray::seek_end(int64_t distance) {
  if (distance < 0 || distance > size_) return false;
  curr_ = size_ - distance;
  return true;
}
