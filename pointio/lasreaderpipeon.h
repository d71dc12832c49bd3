#pragma once
// Forwards every point it delivers, as a LAS stream, to standard output while the contours are
// made from the same points: contourmill can sit in a pipeline that passes the points on.

#include <memory>

#include "pointio/lasreaderwrapping.h"

class LASwriterLAS;

class LASreaderPipeOn : public LASreaderWrapping {
 public:
  LASreaderPipeOn();
  ~LASreaderPipeOn() override;

  // Writes to `out` (standard output unless a test gives another file).
  bool open(std::unique_ptr<LASreader> reader, FILE* out = stdout);

  // The wrapped reader, which the input opener opens again for another pass; later passes are
  // not written again.
  std::unique_ptr<LASreader>& wrapped() { return wrapped_; }
  void rewind() { p_count = 0; }

  int32_t get_format() const override { return wrapped_ ? wrapped_->get_format() : FORMAT_LAS; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;
  bool failed() const { return failed_; }

 private:
  bool finish();

  std::unique_ptr<LASwriterLAS> writer_;
  bool failed_ = false;
};
