#pragma once
// Binary output mirroring ByteStreamIn. Output operations answer false on failure instead of
// throwing, so a writer can report a failed close.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

class ByteStreamOut {
 public:
  virtual bool put_byte(uint8_t byte) = 0;
  virtual bool put_bytes(const uint8_t* bytes, uint32_t num_bytes) = 0;
  // Little-endian is the host's order: the bytes go out as they stand. Big-endian values go out
  // byte-reversed, the caller's value left untouched.
  virtual bool put16_le(const uint8_t* bytes) { return put_bytes(bytes, 2); }
  virtual bool put32_le(const uint8_t* bytes) { return put_bytes(bytes, 4); }
  virtual bool put64_le(const uint8_t* bytes) { return put_bytes(bytes, 8); }
  virtual bool put16_be(const uint8_t* bytes);
  virtual bool put32_be(const uint8_t* bytes);
  virtual bool put64_be(const uint8_t* bytes);
  virtual bool is_seekable() const = 0;
  virtual int64_t tell() const = 0;
  virtual bool seek(int64_t position) = 0;
  virtual bool seek_end() = 0;
  virtual ~ByteStreamOut() = default;
};

// Writes to a C stdio file; the file stays owned by whoever opened it.
class ByteStreamOutFile : public ByteStreamOut {
 public:
  explicit ByteStreamOutFile(FILE* file);
  bool put_byte(uint8_t byte) override;
  bool put_bytes(const uint8_t* bytes, uint32_t num_bytes) override;
  bool is_seekable() const override { return seekable_; }
  int64_t tell() const override;
  bool seek(int64_t position) override;
  bool seek_end() override;

 private:
  FILE* file_;
  bool seekable_;
};

// Writes into an owned buffer that grows geometrically. size is the highest position ever
// written, so seeking back and overwriting a header does not shorten the data.
class ByteStreamOutArray : public ByteStreamOut {
 public:
  explicit ByteStreamOutArray(int64_t initial_capacity = 1024);
  bool put_byte(uint8_t byte) override;
  bool put_bytes(const uint8_t* bytes, uint32_t num_bytes) override;
  bool is_seekable() const override { return true; }
  int64_t tell() const override { return curr_; }
  bool seek(int64_t position) override;
  bool seek_end() override;

  const uint8_t* get_data() const { return data_.data(); }
  int64_t get_size() const { return size_; }
  int64_t get_capacity() const { return static_cast<int64_t>(data_.size()); }
  // Hands over the written bytes (trimmed to the size) and leaves the stream empty.
  std::vector<uint8_t> take_data();

 private:
  bool grow_to(int64_t capacity);
  bool reserve_for(int64_t end);

  std::vector<uint8_t> data_;  // data_.size() is the capacity
  int64_t size_ = 0;
  int64_t curr_ = 0;
};

// Writes one value in host order.
template <class T>
bool put_value(ByteStreamOut& out, const T& value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  return out.put_bytes(bytes, sizeof(T));
}
