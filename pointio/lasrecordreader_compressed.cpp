#include "pointio/detail/lasrecordreader_compressed.h"

#include <algorithm>
#include <string_view>
#include <thread>

#include "common/messages.h"
#include "compression/point_decoder.h"
#include "compression/rekomp_descriptor.h"

namespace {

// The stream as the byte source of the compressed point decoder, which refills from it in blocks.
class StreamSource : public ByteSource {
 public:
  explicit StreamSource(ByteStreamIn* in) : in_(in), size_(in->size()) {}
  size_t read(uint8_t* destination, size_t size) override {
    if (size_ >= 0) {
      size = static_cast<size_t>(std::clamp<int64_t>(size_ - in_->tell(), 0, static_cast<int64_t>(size)));
      if (size == 0) return 0;
      try {
        in_->get_bytes(destination, static_cast<uint32_t>(size));
      } catch (const ByteStreamError&) {
        return 0;
      }
      return size;
    }
    // A pipe tells no length: take what arrives.
    size_t got = 0;
    try {
      while (got < size) {
        const uint32_t byte = in_->get_byte();
        destination[got++] = static_cast<uint8_t>(byte);
      }
    } catch (const ByteStreamError&) {
    }
    return got;
  }
  bool seek(int64_t position) override { return in_->is_seekable() && in_->seek(position); }
  int64_t size() override { return size_; }

 private:
  ByteStreamIn* in_;
  int64_t size_;
};

// Records of a compressed stream, decoded into the uncompressed layout and unpacked like raw ones.
// The chunks are decoded on all cores; the points arrive in the same order whatever their number.
class LASrecordReaderCompressed : public LASrecordReader {
 public:
  LASrecordReaderCompressed(uint64_t number_of_points, uint32_t field_mask)
      : number_of_points_(number_of_points), field_mask_(field_mask) {}

  bool setup(const RekompDescriptor& descriptor, const std::vector<LASitem>& items) {
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    if (!decoder_.setup(descriptor, field_mask_, threads)) {
      last_error_ = decoder_.error() ? decoder_.error() : "";
      return false;
    }
    record_.assign(decoder_.record_length(), 0);
    return unpacker_.setup(static_cast<uint32_t>(items.size()), items.data());
  }

  bool init(ByteStreamIn* instream) override {
    if (instream == nullptr) return false;
    source_ = std::make_unique<StreamSource>(instream);
    if (!decoder_.init(source_.get(), instream->tell(), number_of_points_)) return false;
    // The chunk table is read now, so that it bounds the points the file holds; a table that
    // chunks of varying size cannot do without fails the first read with its reason.
    if (number_of_points_ > 0) decoder_.read_table();
    return true;
  }
  bool seek(int64_t, int64_t target) override {
    return target >= 0 && decoder_.seek(static_cast<uint64_t>(target));
  }
  bool read(uint8_t* const* item_pointers) override {
    if (!decoder_.read(record_.data())) {
      remember_texts();
      return false;
    }
    unpacker_.unpack(record_.data(), item_pointers);
    return true;
  }
  bool check_end() override {
    const bool ok = decoder_.check_end();
    remember_texts();
    return ok;
  }
  void done() override { decoder_.done(); }
  // Compressed points can take less than a byte each: only the chunk table bounds them.
  int64_t max_records(int64_t) const override { return decoder_.points_in_table(); }

 private:
  void remember_texts() {
    last_error_ = decoder_.error() ? decoder_.error() : "";
    last_warning_ = decoder_.warning() ? decoder_.warning() : "";
  }

  uint64_t number_of_points_;
  uint32_t field_mask_;
  RkpPointDecoder decoder_;
  std::unique_ptr<StreamSource> source_;
  LASrecordUnpacker unpacker_;
  std::vector<uint8_t> record_;
};

// Reads and checks the compression record; prints the reason and answers false when it is unfit.
bool read_descriptor(const LASheader& header, RekompDescriptor& descriptor) {
  const std::vector<uint8_t>& payload = *header.compression_vlr_payload;
  const char* field = nullptr;
  int item = 0;
  if (!descriptor.parse(payload.data(), payload.size(), &field, &item)) {
    const std::string_view name(field);
    if (name == "type" || name == "size" || name == "version") {
      print_message("ERROR: reading %s %d of item %d\n", field, 0, item);
    } else {
      print_message("ERROR: reading %s %d\n", field, 0);
    }
    return false;
  }
  if (!descriptor.check(header.point_data_record_length)) {
    print_message("ERROR: %s\n", descriptor.error());
    print_message_text("       please upgrade to the latest release of Quorvane (with Rekomp)\n");
    print_message_text(kSupportLine);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<LASrecordReader> make_compressed_record_reader(const LASheader& header, uint32_t field_mask,
                                                               std::vector<LASitem>& items) {
  RekompDescriptor descriptor;
  if (!read_descriptor(header, descriptor)) return nullptr;
  items.clear();
  // The point's fields hold the items' bytes; how they were coded is the decoder's business.
  for (const RkpItem& item : descriptor.items) items.push_back({item.type, item.size, 0});
  if (descriptor.compressor == RekompDescriptor::NONE) {
    auto raw = std::make_unique<LASrecordReaderRaw>();
    if (!raw->setup(static_cast<uint32_t>(items.size()), items.data())) return nullptr;
    return raw;
  }
  const uint64_t points = header.number_of_point_records ? header.number_of_point_records
                                                         : header.extended_number_of_point_records;
  auto reader = std::make_unique<LASrecordReaderCompressed>(points, field_mask);
  if (!reader->setup(descriptor, items)) {
    print_message("ERROR: %s\n", reader->error() ? reader->error() : "cannot decode the compressed records");
    return nullptr;
  }
  return reader;
}
