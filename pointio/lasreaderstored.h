#pragma once
// Keeps the points of its first pass in memory, compressed, so that later passes never touch the
// input again (a pipe, a slow disk, a file that may change). The first pass reads the wrapped
// reader and writes every point it delivers through LASwriterLAS into a growing memory buffer;
// reopen() switches to a LAS reader over that buffer and drops the wrapped reader.
//
// The wrapped reader applies its own area, filter and transform in the first pass; the stored
// points are what it delivered, so later passes deliver them again without applying anything
// twice.

#include <cstdint>
#include <memory>
#include <vector>

#include "pointio/lasreaderwrapping.h"

class ByteStreamInArray;
class ByteStreamOutArray;
class LASreaderLAS;
class LASwriterLAS;

class LASreaderStored : public LASreaderWrapping {
 public:
  LASreaderStored();
  ~LASreaderStored() override;

  bool open(std::unique_ptr<LASreader> reader);
  // Rewinds: the first time, the stored bytes become the source of every later pass.
  bool reopen();

  int32_t get_format() const override { return format_; }
  bool seek(int64_t p_index) override;
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;

  // Bytes of the compressed points held in memory, and the bytes allocated to hold them (while the
  // first pass writes, the buffer may be up to twice what it holds).
  int64_t stored_bytes() const;
  int64_t allocated_bytes() const;

 private:
  bool finish_first_pass();

  std::unique_ptr<ByteStreamOutArray> out_;
  std::unique_ptr<LASwriterLAS> writer_;
  std::vector<uint8_t> stored_;
  std::unique_ptr<ByteStreamInArray> in_;
  std::unique_ptr<LASreaderLAS> memory_;
  int32_t format_ = FORMAT_LAS;
};
