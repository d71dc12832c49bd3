#pragma once
// Binary input for all point readers: a small byte source with little- and big-endian reads,
// position queries and seeking. Two sources exist: a C stdio file and a memory array.
//
// Running out of data never returns a short result: every get_ operation throws
// ByteStreamError{kEndOfData} (the value -1), and decoders that meet impossible values throw
// ByteStreamError{kCorruptData} (4711). Header readers and LASrecordReader catch it and turn it
// into their messages; nothing lets it escape a reader.

#include <cstdint>
#include <cstdio>
#include <cstring>

inline constexpr int kEndOfData = -1;
inline constexpr int kCorruptData = 4711;

struct ByteStreamError {
  int code;  // kEndOfData or kCorruptData
};

class ByteStreamIn {
 public:
  virtual uint32_t get_byte() = 0;
  virtual void get_bytes(uint8_t* bytes, uint32_t num_bytes) = 0;
  // Little-endian is the host's order: the bytes are taken as they stand. Big-endian values are
  // read whole and stored byte-reversed. A source that holds its bytes may override these.
  virtual void get16_le(uint8_t* bytes) { get_bytes(bytes, 2); }
  virtual void get32_le(uint8_t* bytes) { get_bytes(bytes, 4); }
  virtual void get64_le(uint8_t* bytes) { get_bytes(bytes, 8); }
  virtual void get16_be(uint8_t* bytes);
  virtual void get32_be(uint8_t* bytes);
  virtual void get64_be(uint8_t* bytes);
  virtual bool is_seekable() const = 0;
  virtual int64_t tell() const = 0;
  virtual bool seek(int64_t position) = 0;
  virtual bool seek_end(int64_t distance = 0) = 0;
  virtual bool skip_bytes(uint32_t num_bytes) = 0;
  virtual ~ByteStreamIn() = default;

  // Total length of the stream in bytes, or -1 when it cannot seek (standard input). Leaves the
  // position unchanged. Readers use it to bound counts and lengths taken from a hostile file.
  int64_t size();
};

// Reads from a C stdio file; the file stays owned by whoever opened it.
class ByteStreamInFile : public ByteStreamIn {
 public:
  explicit ByteStreamInFile(FILE* file) : file_(file) {}
  uint32_t get_byte() override;
  void get_bytes(uint8_t* bytes, uint32_t num_bytes) override;
  bool is_seekable() const override { return file_ != stdin; }
  int64_t tell() const override;
  bool seek(int64_t position) override;
  bool seek_end(int64_t distance = 0) override;
  bool skip_bytes(uint32_t num_bytes) override;

 private:
  FILE* file_;
};

// Reads from a caller-owned memory buffer.
class ByteStreamInArray : public ByteStreamIn {
 public:
  ByteStreamInArray() = default;
  ByteStreamInArray(const uint8_t* data, int64_t size) { init(data, size); }
  void init(const uint8_t* data, int64_t size);
  uint32_t get_byte() override;
  void get_bytes(uint8_t* bytes, uint32_t num_bytes) override;
  void get16_be(uint8_t* bytes) override;
  void get32_be(uint8_t* bytes) override;
  void get64_be(uint8_t* bytes) override;
  bool is_seekable() const override { return true; }
  int64_t tell() const override { return curr_; }
  bool seek(int64_t position) override;
  bool seek_end(int64_t distance = 0) override;
  bool skip_bytes(uint32_t num_bytes) override { return seek(curr_ + num_bytes); }

 private:
  const uint8_t* data_ = nullptr;
  int64_t size_ = 0;
  int64_t curr_ = 0;
};

// For set-up code (headers, index files) that reports a short read with its own message: reads
// num_bytes and answers false where get_bytes would throw.
bool try_get_bytes(ByteStreamIn& in, void* bytes, uint32_t num_bytes);

// The same for one value stored in host order; the value is left as it was when the read fails.
template <class T>
bool try_get_value(ByteStreamIn& in, T& value) {
  uint8_t bytes[sizeof(T)];
  if (!try_get_bytes(in, bytes, sizeof(T))) return false;
  std::memcpy(&value, bytes, sizeof(T));
  return true;
}
