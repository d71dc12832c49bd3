#pragma once
// The source of LAS 1.0 to 1.4 point files (plain or compressed). Its header comes from
// LASheaderReader; its records from the point-record decoder the header calls for
// (pointio/lasrecordreader.h). Rescaling, reoffsetting and the area of interest are stages set
// on the reader (pointio/laspointstage.h).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "pointio/bytestreamin.h"
#include "pointio/lasreader.h"
#include "pointio/lasrecordreader.h"

class LASreaderLAS : public LASreader {
 public:
  static constexpr uint32_t kDecompressAll = 0xFFFFFFFF;

  LASreaderLAS();
  ~LASreaderLAS() override;

  // Opens a file by name with a stdio buffer of io_buffer_size bytes. peek_only reads the header
  // block alone (for file lists). decompress_selective names the fields to decode (las_fields
  // bits); the fields the reader's stages need are added to it.
  bool open(const char* file_name, uint32_t io_buffer_size = 262144, bool peek_only = false,
            uint32_t decompress_selective = kDecompressAll);
  // Reads from an open C file, normally standard input (which then cannot seek, so EVLRs are
  // skipped with a warning). The file stays open after close.
  bool open(FILE* file, bool peek_only = false, uint32_t decompress_selective = kDecompressAll);
  // Reads from a caller-owned stream, which must outlive the reader's use of it.
  bool open(ByteStreamIn* stream, bool peek_only = false, uint32_t decompress_selective = kDecompressAll);

  int32_t get_format() const override;
  bool seek(int64_t p_index) override;
  ByteStreamIn* get_stream() const override { return stream_; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;

  // Upper bound of the complete point records the stream holds after the point data start, or -1
  // when the stream cannot tell its size (standard input). A header that claims more points than
  // this is lying; callers that size buffers from npoints cap them with it.
  int64_t max_points_in_file() const override;

  const std::string& get_file_name() const { return file_name_; }

 private:
  struct FileCloser {
    void operator()(FILE* f) const;
  };

  bool open_stream(ByteStreamIn* stream, bool peek_only, uint32_t decompress_selective);
  // Chooses the record decoder and prepares the point for its items.
  bool prepare_point(uint32_t field_mask);
  void read_embedded_index();
  // A LAS 1.4 count that reaches into the EVLRs after the points is cut to the records before them.
  void cap_points_before_evlrs();

  std::unique_ptr<FILE, FileCloser> file_;  // set when this reader opened the file by name
  std::string file_name_;
  std::unique_ptr<ByteStreamIn> own_stream_;
  ByteStreamIn* stream_ = nullptr;
  int64_t stream_size_ = -1;  // -1 when unknown
  int64_t point_start_ = 0;   // stream position of the first point record
  std::unique_ptr<LASrecordReader> reader_;
  bool checked_end_ = false;
};
