#pragma once
// Writes LAS 1.0 to 1.4 files, uncompressed or as chunked compressed RKP, to a C file (standard
// output included) or to any ByteStreamOut (a memory buffer for the stored reader). The header is
// written from a LASheader, points from LASpoint fields in the header's point format; the
// counts, counts per return and bounds of the points written are kept so that update_header can
// rewrite them, and close writes the EVLRs and corrects the point count when it can seek back.

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "pointio/bytestreamout.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

class CompressedRecordWriter;
class LASspatialIndex;

class LASwriterLAS {
 public:
  enum Compressor : uint32_t { NONE = 0, CHUNKED = 2 };

  LASwriterLAS();
  ~LASwriterLAS();
  LASwriterLAS(const LASwriterLAS&) = delete;
  LASwriterLAS& operator=(const LASwriterLAS&) = delete;

  // Opens a file by name for writing; the writer owns and closes it.
  bool open(const char* file_name, const LASheader* header, uint32_t compressor = NONE,
            int requested_version = 0, uint32_t chunk_size = 50000);
  // Writes to an open C file (standard output included); the file stays open after close.
  bool open(FILE* file, const LASheader* header, uint32_t compressor = NONE, int requested_version = 0,
            uint32_t chunk_size = 50000);
  // Writes to a caller-owned stream that must outlive the writer's use of it.
  bool open(ByteStreamOut* stream, const LASheader* header, uint32_t compressor = NONE,
            int requested_version = 0, uint32_t chunk_size = 50000);

  // A spatial index to embed after the compressed points (compressed output on a seekable
  // stream only); it must live until close.
  void set_index(const LASspatialIndex* index) { index_ = index; }

  // Writes one point of the header's point format; false after a failed write.
  bool write_point(const LASpoint& point);
  // Counts the point (by return) and widens the bounds; write_point does this itself.
  void update_inventory(const LASpoint& point);
  // Rewrites the point counts, counts per return and bounds in the written header: from the
  // points written when use_inventory is set, else from `header`.
  bool update_header(const LASheader* header, bool use_inventory = false);
  // Ends the points, writes the EVLRs and corrects the point count. Answers the bytes written
  // (0 when the stream cannot tell its position, as a pipe cannot), or -1 after a failed write
  // (with its message).
  int64_t close(bool update_npoints = true);

  int64_t get_p_count() const { return p_count_; }
  bool failed() const { return failed_; }

 private:
  bool open_stream(ByteStreamOut* stream, const LASheader* header, uint32_t compressor, int requested_version,
                   uint32_t chunk_size);
  bool write_header(const LASheader& h);
  bool write_vlr(const char* user_id, uint16_t record_id, const char* description, const uint8_t* data,
                 uint16_t length, int index);
  bool write_evlrs();
  bool write_embedded_index();
  void pack(const LASpoint& point, uint8_t* record) const;
  bool fail(const char* message);

  struct FileCloser {
    void operator()(FILE* f) const;
  };
  std::unique_ptr<FILE, FileCloser> own_file_;
  std::unique_ptr<ByteStreamOut> own_stream_;
  ByteStreamOut* stream_ = nullptr;
  const LASspatialIndex* index_ = nullptr;

  LASheader header_;  // as written
  std::vector<LASitem> items_;
  std::vector<uint8_t> record_;
  std::unique_ptr<CompressedRecordWriter> encoder_;
  std::vector<uint8_t> encoded_;  // the compressor's current chunk
  std::vector<uint8_t> descriptor_payload_;
  int64_t header_start_ = 0;
  int64_t descriptor_position_ = -1;  // where the compression record's payload was written
  int64_t p_count_ = 0;
  int64_t npoints_ = 0;  // the count the header announced
  bool failed_ = false;
  bool closed_ = true;

  // Inventory of the points written.
  uint64_t by_return_[15] = {};
  int32_t min_X_ = 0, max_X_ = 0, min_Y_ = 0, max_Y_ = 0, min_Z_ = 0, max_Z_ = 0;
};
