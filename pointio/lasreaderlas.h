#pragma once
// Reader of LAS 1.0 to 1.4 point files, and its subclasses that re-express coordinates with a
// new scale factor and/or offset while reading.

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
  // block alone (for file lists). decompress_selective names the LAS 1.4 layers to decode.
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

 protected:
  // Every open ends here; the re-expressing subclasses extend it.
  virtual bool open_stream(ByteStreamIn* stream, bool peek_only, uint32_t decompress_selective);

 private:
  struct FileCloser {
    void operator()(FILE* f) const;
  };

  bool read_header_block();
  bool read_version_fields();
  bool read_vlrs(bool& vlrs_skipped, int64_t& vlr_bytes);
  bool read_vlr_payload(LASvlr& vlr, uint32_t index);
  void classify_record(const char (&user_id)[16], uint16_t record_id, const std::vector<uint8_t>& data,
                       LASpayloadRef ref, bool is_vlr);
  bool read_evlrs();
  bool read_evlr(uint32_t index);
  bool prepare_point(uint32_t decompress_selective);

  std::unique_ptr<FILE, FileCloser> file_;  // set when this reader opened the file by name
  std::string file_name_;
  std::unique_ptr<ByteStreamIn> own_stream_;
  ByteStreamIn* stream_ = nullptr;
  int64_t stream_size_ = -1;  // -1 when unknown
  int64_t point_start_ = 0;   // stream position of the first point record
  std::unique_ptr<LASrecordReader> reader_;
  bool checked_end_ = false;
};

// Shared re-quantization of the subclasses: each marked axis is re-expressed after every read as
//   X' = round((X * old_scale + old_offset - new_offset) / new_scale)   (half away from zero).
class LASreaderLASrequantize : public LASreaderLAS {
 public:
  bool read_point_unfiltered() override;

 protected:
  enum Mode { RESCALE, REOFFSET, RESCALE_REOFFSET };

  LASreaderLASrequantize(Mode mode, const double* scale, const double* offset, bool auto_reoffset,
                         bool check_for_overflow);
  bool open_stream(ByteStreamIn* stream, bool peek_only, uint32_t decompress_selective) override;

 private:
  void choose_new_quantization();
  void warn_overflow() const;
  double requantized(int axis, double X) const;

  Mode mode_;
  double requested_scale_[3] = {0, 0, 0};
  double requested_offset_[3] = {0, 0, 0};
  bool auto_reoffset_;
  bool check_for_overflow_;
  bool marked_[3] = {false, false, false};
  double old_scale_[3] = {0, 0, 0};
  double old_offset_[3] = {0, 0, 0};
};

// Re-expresses coordinates with new scale factors (a zero factor keeps that axis).
class LASreaderLASrescale : public LASreaderLASrequantize {
 public:
  LASreaderLASrescale(double x_scale_factor, double y_scale_factor, double z_scale_factor,
                      bool check_for_overflow = true);
};

// Re-expresses coordinates with new offsets, given or chosen from the bounding box.
class LASreaderLASreoffset : public LASreaderLASrequantize {
 public:
  LASreaderLASreoffset(double x_offset, double y_offset, double z_offset);
  LASreaderLASreoffset();  // automatic
};

// Both: new scale factors (zero keeps an axis) and new or automatic offsets.
class LASreaderLASrescalereoffset : public LASreaderLASrequantize {
 public:
  LASreaderLASrescalereoffset(double x_scale_factor, double y_scale_factor, double z_scale_factor,
                              double x_offset, double y_offset, double z_offset);
  LASreaderLASrescalereoffset(double x_scale_factor, double y_scale_factor,
                              double z_scale_factor);  // automatic offsets
};
