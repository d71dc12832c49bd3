#include "compression/byte_input.h"

#include <algorithm>
#include <cstring>

size_t MemoryByteSource::read(uint8_t* destination, size_t size) {
  const size_t n = std::min(size, size_ - position_);
  std::memcpy(destination, data_ + position_, n);
  position_ += n;
  return n;
}

bool MemoryByteSource::seek(int64_t position) {
  if (position < 0 || uint64_t(position) > size_) return false;
  position_ = static_cast<size_t>(position);
  return true;
}

void ByteInput::attach(const uint8_t* data, size_t size, int64_t base) {
  source_ = nullptr;
  buffer_.clear();
  begin_ = cur_ = data;
  end_ = data + size;
  base_ = base;
  span_size_ = static_cast<int64_t>(size);
}

void ByteInput::attach(ByteSource* source, int64_t position, size_t block_size) {
  source_ = source;
  buffer_.resize(std::max<size_t>(block_size, 64));
  begin_ = cur_ = end_ = buffer_.data();
  base_ = position;
  span_size_ = 0;
}

void ByteInput::refill() {
  if (source_ == nullptr) throw CodecError{kCodecEndOfData};
  const int64_t position = tell();
  const size_t got = source_->read(buffer_.data(), buffer_.size());
  if (got == 0) throw CodecError{kCodecEndOfData};
  base_ = position;
  begin_ = cur_ = buffer_.data();
  end_ = begin_ + got;
}

void ByteInput::get_bytes(uint8_t* destination, size_t size) {
  while (size > 0) {
    if (cur_ == end_) refill();
    const size_t n = std::min(size, available());
    std::memcpy(destination, cur_, n);
    cur_ += n;
    destination += n;
    size -= n;
  }
}

uint16_t ByteInput::get_u16() {
  uint8_t b[2];
  get_bytes(b, 2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ByteInput::get_u32() {
  uint8_t b[4];
  get_bytes(b, 4);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

uint64_t ByteInput::get_u64() {
  const uint64_t low = get_u32();
  return low | (uint64_t(get_u32()) << 32);
}

void ByteInput::skip(uint64_t size) {
  if (size <= available()) {
    cur_ += size;
    return;
  }
  const int64_t total = this->size();
  const int64_t here = tell();
  if (total >= 0 && size > uint64_t(total - here)) {
    // Leave the position at the end, as a read that ran out would.
    seek(total);
    throw CodecError{kCodecEndOfData};
  }
  if (source_ != nullptr && total >= 0) {
    if (!seek(here + static_cast<int64_t>(size))) throw CodecError{kCodecEndOfData};
    return;
  }
  // A source of unknown length (a pipe): read through.
  while (size > 0) {
    if (cur_ == end_) refill();
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, available()));
    cur_ += n;
    size -= n;
  }
}

bool ByteInput::seek(int64_t position) {
  if (position >= base_ && position <= base_ + (end_ - begin_)) {
    cur_ = begin_ + (position - base_);
    return true;
  }
  if (source_ == nullptr || position < 0 || !source_->seek(position)) return false;
  base_ = position;
  begin_ = cur_ = end_ = buffer_.data();
  return true;
}

int64_t ByteInput::size() const {
  if (source_ == nullptr) return base_ + span_size_;
  return source_->size();
}

bool ByteInput::seekable() const {
  return source_ == nullptr || source_->size() >= 0;
}
