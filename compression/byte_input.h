#pragma once
// Byte input of the compressed point decoders: a window of bytes read with plain pointer steps,
// refilled from a ByteSource when it runs dry. Decoding whole chunks from memory needs no source
// at all; reading point-wise streams from a file refills in large blocks, so the range decoder
// never makes a virtual call per byte.

#include <cstddef>
#include <cstdint>
#include <vector>

// Thrown by every decoding call. The codes are those the point readers report: the end of the
// data (-1) and a value that cannot be valid (4711).
struct CodecError {
  int code;
};
inline constexpr int kCodecEndOfData = -1;
inline constexpr int kCodecCorrupt = 4711;

// Where a ByteInput refills from: a file or any other seekable byte stream.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to size bytes from the current position and answers how many; 0 at the end.
  virtual size_t read(uint8_t* destination, size_t size) = 0;
  // Moves to an absolute position; false when the source cannot seek there.
  virtual bool seek(int64_t position) = 0;
  // Total length in bytes, or -1 when unknown (a pipe).
  virtual int64_t size() = 0;
};

// A source over bytes in memory that the caller keeps alive; a size below the data's cuts it short.
class MemoryByteSource : public ByteSource {
 public:
  MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t read(uint8_t* destination, size_t size) override;
  bool seek(int64_t position) override;
  int64_t size() override { return static_cast<int64_t>(size_); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

class ByteInput {
 public:
  ByteInput() = default;
  ByteInput(const ByteInput&) = delete;
  ByteInput& operator=(const ByteInput&) = delete;

  // Reads from memory the caller keeps alive; positions count from base.
  void attach(const uint8_t* data, size_t size, int64_t base = 0);
  // Reads from a source positioned at position, refilling in blocks of block_size bytes.
  void attach(ByteSource* source, int64_t position, size_t block_size = 1 << 16);

  uint8_t get_byte() {
    if (cur_ == end_) [[unlikely]]
      refill();
    return *cur_++;
  }
  void get_bytes(uint8_t* destination, size_t size);
  uint16_t get_u16();
  uint32_t get_u32();
  uint64_t get_u64();
  // Skips size bytes; throws at the end of the data like a read would.
  void skip(uint64_t size);

  int64_t tell() const { return base_ + (cur_ - begin_); }
  bool seek(int64_t position);
  // Total length of the data in positions, or -1 when unknown.
  int64_t size() const;
  // Bytes known to follow the current position without a refill.
  size_t available() const { return static_cast<size_t>(end_ - cur_); }
  bool seekable() const;

 private:
  void refill();

  const uint8_t* begin_ = nullptr;  // the window: begin_ holds the byte at position base_
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;
  int64_t base_ = 0;
  ByteSource* source_ = nullptr;  // none for memory
  int64_t span_size_ = 0;         // memory: number of bytes
  std::vector<uint8_t> buffer_;   // source: the window's storage
};
