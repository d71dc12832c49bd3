// Lines and bytes from a DecompressingFile, through one large buffer: the text reader takes
// lines, the PLY reader a text header followed by binary records, the Shapefile reader bytes.
//
// Lines end at '\n' (a '\r' before it is dropped); the last line may lack its end. A line
// longer than kMaxLineLength is never cut into pieces that parse as records of their own: it is
// skipped whole with a warning that names its line number. Lines are views into the buffer,
// valid until the next call.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "pointio/bytestreamin.h"
#include "pointio/detail/decompressingfile.h"

class BufferedInput {
 public:
  static constexpr size_t kMaxLineLength = size_t{1} << 20;

  explicit BufferedInput(std::unique_ptr<DecompressingFile> file, size_t buffer_size = size_t{4} << 20);

  // The next line without its end; false at the end of the input or after a failure.
  bool next_line(std::string_view& line);
  // Up to `size` bytes; fewer only at the end or after a failure.
  size_t read(void* destination, size_t size);
  // True once reading failed (a damaged archive, a read error); the message was printed.
  bool failed() const { return failed_; }
  // True when everything was consumed.
  bool at_end();
  // Lines delivered or skipped so far (the number of the line last returned).
  uint64_t line_number() const { return line_number_; }
  // Bytes consumed so far.
  uint64_t consumed() const { return consumed_; }
  DecompressingFile& file() { return *file_; }

 private:
  // Appends more input to the buffered bytes; false when nothing more comes.
  bool fill();
  void warn_long_line() const;

  std::unique_ptr<DecompressingFile> file_;
  size_t capacity_;
  std::unique_ptr<char[]> buffer_;  // not cleared: only what was read is ever looked at
  size_t begin_ = 0, end_ = 0;      // unread bytes
  bool eof_ = false, failed_ = false;
  uint64_t line_number_ = 0;
  uint64_t consumed_ = 0;
};

// A ByteStreamIn over a BufferedInput, for the binary readers of decompressed input. It reads
// forward only (is_seekable answers false); skip_bytes reads and drops.
class ByteStreamInBuffered : public ByteStreamIn {
 public:
  explicit ByteStreamInBuffered(BufferedInput& input) : input_(input) {}
  uint32_t get_byte() override;
  void get_bytes(uint8_t* bytes, uint32_t num_bytes) override;
  bool is_seekable() const override { return false; }
  int64_t tell() const override { return static_cast<int64_t>(input_.consumed()); }
  bool seek(int64_t position) override;
  bool seek_end(int64_t) override { return false; }
  bool skip_bytes(uint32_t num_bytes) override;

 private:
  BufferedInput& input_;
};
