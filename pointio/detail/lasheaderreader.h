#pragma once
// Reads what precedes the point records of a LAS-family file: the public header block with its
// checks, the variable length records (VLRs), the user data around them and the extended VLRs
// after the points. Every reader of the LAS family (plain, compressed, merged, buffered, stored)
// reads its headers through this one unit, so the checks and messages are the same everywhere.
//
// Lengths read from the file are checked against the stream's size before they size an
// allocation; VLR payloads that run past the point block are cut to the room left (with a
// warning). Records of the suite's own and the compression record are consumed: they are parsed
// into the header's typed fields and do not stay in `vlrs`, so the in-memory header describes
// the file without them.

#include <cstdint>
#include <vector>

#include "pointio/bytestreamin.h"
#include "pointio/lasheader.h"

class LASheaderReader {
 public:
  // Reads from the stream's current position (the start of the file) into `header`.
  LASheaderReader(ByteStreamIn& stream, LASheader& header);

  // Clears the header and reads it. peek_only reads the header block alone (for file lists).
  // False after the message of the first problem; the stream then stands anywhere.
  bool read_header(bool peek_only);
  // Whether VLRs were skipped because the header claimed more than the room before the points.
  bool vlrs_skipped() const { return vlrs_skipped_; }

 private:
  bool read_header_block();
  bool read_version_fields();
  bool read_vlrs(int64_t& vlr_bytes);
  bool read_vlr_payload(LASvlr& vlr, uint32_t index);
  void classify_record(const char (&user_id)[16], uint16_t record_id, const std::vector<uint8_t>& data,
                       LASpayloadRef ref, bool is_vlr);
  bool read_evlrs();
  bool read_evlr(uint32_t index);

  ByteStreamIn& stream_;
  LASheader& header_;
  int64_t stream_size_;  // -1 when unknown
  bool vlrs_skipped_ = false;
};
