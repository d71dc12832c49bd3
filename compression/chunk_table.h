#pragma once
// The chunk table of a chunked stream: where every chunk starts and, for chunks of varying size,
// how many points each holds. It is stored after the chunks as a version, a count and one
// range-coded block of sizes, each predicted from the previous chunk's.

#include <cstdint>
#include <string>
#include <vector>

#include "compression/byte_input.h"

struct ChunkTable {
  // Absolute position of each chunk's first byte, and one more for the end of the last chunk.
  std::vector<int64_t> starts;
  // Cumulative point counts (totals[0] == 0), with chunks of varying size only.
  std::vector<uint64_t> totals;

  uint32_t chunks() const { return starts.empty() ? 0 : static_cast<uint32_t>(starts.size() - 1); }
};

// Reads the table of the chunks that start at first_chunk. Every count from the file is checked
// against what the file can hold: each chunk starts with a raw point of record_length bytes, so
// there are at most (table position - first_chunk) / record_length of them.
// Answers false when the table is damaged or missing; warning then says why, in the words the
// point readers print.
bool read_chunk_table(ByteInput& input, int64_t table_position, int64_t first_chunk, bool varying,
                      uint32_t record_length, ChunkTable& table, std::string& warning);

// Appends the table (version, count, coded block) for chunks of the given sizes and, with
// varying sizes, point counts.
void write_chunk_table(std::vector<uint8_t>& out, const std::vector<uint32_t>& byte_sizes,
                       const std::vector<uint32_t>& point_counts, bool varying);
