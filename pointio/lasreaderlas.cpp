#include "pointio/lasreaderlas.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/messages.h"
#include "compression/rekomp_descriptor.h"
#include "pointio/detail/lasheaderreader.h"
#include "pointio/detail/lasrecordreader_compressed.h"
#include "pointio/detail/unaligned.h"

namespace {

using pointio_detail::load;

}  // namespace

void LASreaderLAS::FileCloser::operator()(FILE* f) const {
  if (f && f != stdin) fclose(f);
}

LASreaderLAS::LASreaderLAS() = default;

LASreaderLAS::~LASreaderLAS() {
  close(true);
}

bool LASreaderLAS::open(const char* file_name, uint32_t io_buffer_size, bool peek_only,
                        uint32_t decompress_selective) {
  close(true);
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return false;
  }
  FILE* f = fopen(file_name, "rb");
  if (f == nullptr) {
    print_message("ERROR: cannot open file '%s' for read\n", file_name);
    return false;
  }
  file_.reset(f);
  file_name_ = file_name;
  if (io_buffer_size && setvbuf(f, nullptr, _IOFBF, io_buffer_size) != 0) {
    print_message("WARNING: setvbuf() failed with buffer size %d\n", static_cast<int>(io_buffer_size));
  }
  own_stream_ = std::make_unique<ByteStreamInFile>(f);
  return open_stream(own_stream_.get(), peek_only, decompress_selective);
}

bool LASreaderLAS::open(FILE* file, bool peek_only, uint32_t decompress_selective) {
  close(true);
  if (file == nullptr) {
    print_message_text("ERROR: file pointer is zero\n");
    return false;
  }
  // POSIX streams carry no text translation, so standard input needs no mode switch here.
  own_stream_ = std::make_unique<ByteStreamInFile>(file);
  return open_stream(own_stream_.get(), peek_only, decompress_selective);
}

bool LASreaderLAS::open(ByteStreamIn* stream, bool peek_only, uint32_t decompress_selective) {
  close(true);
  return open_stream(stream, peek_only, decompress_selective);
}

bool LASreaderLAS::open_stream(ByteStreamIn* stream, bool peek_only, uint32_t decompress_selective) {
  if (stream == nullptr) {
    print_message_text("ERROR: ByteStreamIn* pointer is zero\n");
    return false;
  }
  point.clear();
  reader_.reset();
  stream_ = stream;
  stream_size_ = stream->size();
  npoints = p_count = 0;
  incomplete = false;
  LASheaderReader header_reader(*stream_, header);
  if (!header_reader.read_header(peek_only)) return false;
  npoints = header.number_of_point_records ? header.number_of_point_records
                                           : static_cast<int64_t>(header.extended_number_of_point_records);
  if (peek_only) {
    header.point_data_format &= 0x7F;
    return true;
  }
  // Bits 0x80 and 0x40 of the point format mark compressed records.
  if (header.point_data_format & 0xC0) {
    if (!header.compression_vlr_payload) {
      if (header_reader.vlrs_skipped()) {
        print_message_text("ERROR: your RKP file has corruptions in the LAS header resulting in\n");
        print_message_text("ERROR: the rekomp VLR being lost. maybe your download failed?\n");
      } else {
        print_message_text("ERROR: this file was compressed with an experimental version of rekomp\n");
        print_message_text(kSupportLine);
      }
      return false;
    }
    header.point_data_format &= 0x7F;
  }
  if (!prepare_point(decompress_selective | stage_field_mask())) return false;
  read_embedded_index();
  cap_points_before_evlrs();
  return bind_stages();
}

// A compressed file may carry its spatial index after the points, in a special EVLR that the
// compression record points at. A damaged one is dropped without a word: the file reads as well
// without it.
void LASreaderLAS::read_embedded_index() {
  RekompDescriptor descriptor;
  const auto& payload = header.compression_vlr_payload;
  if (!payload || !descriptor.parse(payload->data(), payload->size())) return;
  const int64_t count = descriptor.number_of_special_evlrs;
  const int64_t offset = descriptor.offset_to_special_evlrs;
  if (count <= 0 || offset < int64_t{header.offset_to_point_data} || !stream_->is_seekable()) return;
  const int64_t here = stream_->tell();
  try {
    if (!stream_->seek(offset)) throw ByteStreamError{kEndOfData};
    for (int64_t i = 0; i < count; i++) {
      const int64_t start = stream_->tell();
      if (stream_size_ >= 0 && start + 60 > stream_size_) throw ByteStreamError{kEndOfData};
      uint8_t fields[20];
      stream_->get_bytes(fields, 20);  // reserved, user_id, record_id
      const bool is_index = std::strncmp(reinterpret_cast<const char*>(fields + 2), "Quorvane", 16) == 0 &&
                            load<uint16_t>(fields + 18) == 30;
      uint8_t length_bytes[8];
      stream_->get64_le(length_bytes);
      const int64_t length = load<int64_t>(length_bytes);
      if (is_index) {
        auto index = std::make_unique<LASspatialIndex>();
        MessageCollector silence;
        if (stream_->skip_bytes(32) && index->read(*stream_)) set_index(std::move(index));
        break;
      }
      if (length < 0 || !stream_->seek(start + 60 + length)) throw ByteStreamError{kEndOfData};
    }
  } catch (const ByteStreamError&) {
    print_message("ERROR: trying to read %u internal EVLRs. ignoring ...\n", static_cast<uint32_t>(count));
  }
  stream_->seek(here);
}

bool LASreaderLAS::prepare_point(uint32_t field_mask) {
  std::vector<LASitem> items;
  if (header.compression_vlr_payload) {
    reader_ = make_compressed_record_reader(header, field_mask, items);
    if (!reader_) return false;
  } else {
    if (!las_point_format_items(header.point_data_format, header.point_data_record_length, items))
      return false;
    auto raw = std::make_unique<LASrecordReaderRaw>();
    if (raw->setup(static_cast<uint32_t>(items.size()), items.data())) reader_ = std::move(raw);
  }
  if (!reader_ || !point.init(&header, items, &header) || !reader_->init(stream_)) {
    print_message("ERROR: unknown point type %d with point size %d\n", header.point_data_format,
                  header.point_data_record_length);
    reader_.reset();
    return false;
  }
  point_start_ = stream_->tell();
  checked_end_ = false;
  return true;
}

// The EVLRs follow the point records, so a count that claims records past the first EVLR would
// deliver its bytes as points. The count is cut there, as a count past the end of the file ends at
// the file's end, and the input counts as incomplete: its contours are made, and the run fails.
void LASreaderLAS::cap_points_before_evlrs() {
  if (header.compression_vlr_payload || header.version_major != 1 || header.version_minor < 4) return;
  const uint64_t evlr_start = header.start_of_first_extended_variable_length_record;
  const bool has_evlrs = header.number_of_extended_variable_length_records > 0 || !header.evlrs.empty();
  if (point_start_ < 0 || evlr_start < static_cast<uint64_t>(point_start_) ||
      (evlr_start == static_cast<uint64_t>(point_start_) && !has_evlrs)) {
    return;
  }
  const int64_t length = header.point_data_record_length;
  if (length <= 0) return;
  const int64_t fit = static_cast<int64_t>((evlr_start - static_cast<uint64_t>(point_start_)) /
                                           static_cast<uint64_t>(length));
  if (npoints <= fit) return;
  print_message(
      "WARNING: '%s' announces %lld points but only %lld lie before its first EVLR. reading those\n",
      file_name_.empty() ? "stdin" : file_name_.c_str(), static_cast<long long>(npoints),
      static_cast<long long>(fit));
  npoints = fit;
  incomplete = true;
}

int32_t LASreaderLAS::get_format() const {
  const auto& payload = header.compression_vlr_payload;
  if (payload && payload->size() >= 2 && load<uint16_t>(payload->data()) != 0) return FORMAT_RKP;
  return FORMAT_LAS;
}

bool LASreaderLAS::read_point_unfiltered() {
  if (!reader_) return false;
  if (p_count < npoints) {
    if (reader_->read(point.item_pointers())) {
      p_count++;
      return true;
    }
    incomplete = true;
    if (reader_->warning()) print_message("WARNING: '%s' for '%s'\n", reader_->warning(), file_name_.c_str());
    // Reading stops but the run goes on with the points read; the run reports the incomplete
    // input as its error at the end, so this is the warning that names the file and the cause.
    if (reader_->error()) {
      print_message("WARNING: '%s' after %u of %u points for '%s'\n", reader_->error(),
                    static_cast<uint32_t>(p_count), static_cast<uint32_t>(npoints), file_name_.c_str());
    } else {
      print_message("WARNING: end-of-file after %u of %u points for '%s'\n", static_cast<uint32_t>(p_count),
                    static_cast<uint32_t>(npoints), file_name_.c_str());
    }
    return false;
  }
  if (!checked_end_) {
    checked_end_ = true;
    if (!reader_->check_end()) {
      incomplete = true;
      print_message("WARNING: '%s' when reaching end of encoding\n",
                    reader_->error() ? reader_->error() : "");
      p_count--;
    }
    if (reader_->warning()) print_message("WARNING: '%s'\n", reader_->warning());
  }
  return false;
}

bool LASreaderLAS::seek(int64_t p_index) {
  if (!reader_ || p_index < 0 || p_index >= npoints) return false;
  if (!reader_->seek(p_count, p_index)) return false;
  p_count = p_index;
  return true;
}

void LASreaderLAS::close(bool close_stream) {
  if (reader_) {
    reader_->done();
    reader_.reset();
  }
  if (close_stream) {
    own_stream_.reset();
    stream_ = nullptr;
    file_.reset();
    file_name_.clear();
  }
}

int64_t LASreaderLAS::max_points_in_file() const {
  if (stream_size_ < 0) return -1;
  if (reader_) return reader_->max_records(std::max<int64_t>(0, stream_size_ - point_start_));
  const int64_t length = header.point_data_record_length;
  if (length <= 0) return -1;
  return std::max<int64_t>(0, stream_size_ - int64_t(header.offset_to_point_data)) / length;
}
