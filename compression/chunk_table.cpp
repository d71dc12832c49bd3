#include "compression/chunk_table.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "compression/detail/bytes.h"
#include "compression/integer_coder.h"

bool read_chunk_table(ByteInput& input, int64_t table_position, int64_t first_chunk, bool varying,
                      uint32_t record_length, ChunkTable& table, std::string& warning) {
  table.starts.clear();
  table.totals.clear();
  const int64_t file_size = input.size();
  try {
    if (table_position < first_chunk || !input.seek(table_position) || input.tell() != table_position)
      throw CodecError{kCodecCorrupt};
    const uint32_t version = input.get_u32();
    if (version != 0) throw CodecError{kCodecCorrupt};
    const uint32_t n = input.get_u32();
    // Every chunk starts with a raw point, and no table entry codes in less than about a
    // thousandth of a byte: a count beyond either bound is a lie that would size memory and time.
    const uint64_t room = uint64_t(table_position - first_chunk) / std::max<uint32_t>(record_length, 1);
    const int64_t coded = file_size >= 0 ? file_size - input.tell() : INT64_MAX / 8192;
    if (n > room || n > uint64_t(std::max<int64_t>(coded, 0)) * 8192) throw CodecError{kCodecCorrupt};
    table.starts.reserve(size_t(n) + 1);
    table.starts.push_back(first_chunk);
    if (varying) {
      table.totals.reserve(size_t(n) + 1);
      table.totals.push_back(0);
    }
    if (n > 0) {
      RangeDecoder decoder;
      decoder.init(&input);
      IntegerCoder ic(32, 2);
      ic.init_decompressor();
      uint32_t last_count = 0, last_size = 0;
      for (uint32_t i = 1; i <= n; i++) {
        if (varying) {
          last_count = static_cast<uint32_t>(ic.decompress(decoder, static_cast<int32_t>(last_count), 0));
          table.totals.push_back(last_count);
        }
        last_size = static_cast<uint32_t>(ic.decompress(decoder, static_cast<int32_t>(last_size), 1));
        // Sizes are stored as 32-bit values and sign-extended.
        table.starts.push_back(int64_t(static_cast<int32_t>(last_size)));
      }
      decoder.done();
      for (uint32_t i = 1; i <= n; i++) {
        if (varying) {
          if (table.totals[i] == 0) throw CodecError{kCodecCorrupt};
          table.totals[i] += table.totals[i - 1];
        }
        table.starts[i] += table.starts[i - 1];
        if (table.starts[i] <= table.starts[i - 1] || table.starts[i] > table_position)
          throw CodecError{kCodecCorrupt};
      }
    }
    return true;
  } catch (const CodecError&) {
    // Entries before the damage cannot be trusted either: the chunks are found while reading.
    table.totals.clear();
    table.starts.clear();
    char text[160];
    if (file_size >= 0 && table_position > file_size) {
      std::snprintf(text, sizeof(text),
                    "chunk table and %" PRId64
                    " bytes are missing. RKP file truncated during copy or transfer?",
                    table_position - file_size);
    } else if (file_size >= 0 && table_position == file_size) {
      std::snprintf(text, sizeof(text), "chunk table is missing. improper use of RKP compressor?");
    } else {
      std::snprintf(text, sizeof(text), "corrupt chunk table");
    }
    warning = text;
    return false;
  }
}

void write_chunk_table(std::vector<uint8_t>& out, const std::vector<uint32_t>& byte_sizes,
                       const std::vector<uint32_t>& point_counts, bool varying) {
  const size_t at = out.size();
  out.resize(at + 8);
  store_le(out.data() + at, uint32_t(0));
  store_le(out.data() + at + 4, static_cast<uint32_t>(byte_sizes.size()));
  if (byte_sizes.empty()) return;
  RangeEncoder encoder;
  encoder.init(&out);
  IntegerCoder ic(32, 2);
  ic.init_compressor();
  uint32_t last_count = 0, last_size = 0;
  for (size_t i = 0; i < byte_sizes.size(); i++) {
    if (varying) {
      ic.compress(encoder, static_cast<int32_t>(last_count), static_cast<int32_t>(point_counts[i]), 0);
      last_count = point_counts[i];
    }
    ic.compress(encoder, static_cast<int32_t>(last_size), static_cast<int32_t>(byte_sizes[i]), 1);
    last_size = byte_sizes[i];
  }
  encoder.done();
}
