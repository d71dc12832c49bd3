// What the readers of binary files of fixed-size records with no bounds in their header share
// (terrasolid BIN, QFIT): the file or stream they read, bounds that a sample of points starts and
// every point read widens, and the read loop.
//
// `Reader` derives from LASreaderRecordFile<Reader> and supplies read_header() (fills the header,
// npoints and source_quantizer_), read_record() (the record at the stream's position into
// `point`, with a message when it cannot) and sample_bounds(). They are called without a virtual
// call, so the read loop stays as cheap as each reader's own was.
#pragma once

#include <cstdio>
#include <memory>

#include "common/messages.h"
#include "pointio/detail/decompressingfile.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/lasreader.h"

template <class Reader>
class LASreaderRecordFile : public LASreader {
 public:
  ~LASreaderRecordFile() override { close(true); }

  bool open(const char* file_name) {
    close(true);
    std::FILE* file = open_binary_file(file_name, 524288);
    if (!file) return false;
    file_.reset(file);
    own_stream_ = std::make_unique<ByteStreamInFile>(file);
    return open(own_stream_.get());
  }

  // Reads from a caller-owned stream, which must outlive the reader's use of it.
  bool open(ByteStreamIn* stream) {
    if (stream == nullptr) {
      print_message_text("ERROR: ByteStreamIn* pointer is zero\n");
      return false;
    }
    stream_ = stream;
    npoints = p_count = 0;
    incomplete = false;
    if (!reader().read_header()) return false;
    reader().sample_bounds();
    return bind_stages();
  }

  ByteStreamIn* get_stream() const override { return stream_; }

  void close(bool close_stream = true) override {
    if (close_stream) {
      own_stream_.reset();
      stream_ = nullptr;
      file_.reset();
    }
  }

  bool read_point_unfiltered() override {
    if (p_count >= npoints || !stream_) return false;
    if (!reader().read_record()) {
      incomplete = true;
      npoints = p_count;
      return false;
    }
    widen();
    p_count++;
    return true;
  }

  // The bounds come from ten points spread over the file.
  bool bounds_are_complete() const override { return false; }

 protected:
  // Bounds are in the file's own quantization: a requantize stage may have changed the header's.
  // The first point of the sample starts them.
  void widen(bool first = false) {
    widen_bounds(header, first, source_quantizer_.get_x(point.X), source_quantizer_.get_y(point.Y),
                 source_quantizer_.get_z(point.Z));
  }

  BinaryFile file_;
  std::unique_ptr<ByteStreamIn> own_stream_;
  ByteStreamIn* stream_ = nullptr;
  LASquantizer source_quantizer_;  // the file's own scale and offset

 private:
  Reader& reader() { return static_cast<Reader&>(*this); }
};
