#include "compression/point_decoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "compression/detail/chunk_worker.h"

namespace {

// Chunks larger than this are checked in a first pass over the file and then decoded again in
// batches, so that neither their bytes nor their records are held in memory at once.
constexpr uint64_t kMemoryChunkBytes = uint64_t(256) << 20;
constexpr uint64_t kMemoryRecordBytes = uint64_t(64) << 20;
constexpr uint32_t kBatch = 4096;
// No point costs less than about a thousandth of a byte (every point codes a few symbols, none of
// which a model can make more likely than 32767 in 32768). A chunk that claims more points per
// byte than this lies, and decoding it would spin on nearly certain symbols.
constexpr uint64_t kMaxPointsPerByte = 8192;

}  // namespace

RkpPointDecoder::RkpPointDecoder() = default;

RkpPointDecoder::~RkpPointDecoder() {
  stop_helpers();
}

bool RkpPointDecoder::fail(const char* format, uint32_t a, uint32_t b) {
  char text[160];
  std::snprintf(text, sizeof(text), format, a, b);
  error_ = text;
  return false;
}

bool RkpPointDecoder::setup(const RekompDescriptor& descriptor, uint32_t selection, unsigned threads) {
  stop_helpers();
  worker_.reset();
  // Nothing decoded before is read after a new setup.
  records_ = nullptr;
  available_ = position_ = 0;
  error_.clear();
  descriptor_ = descriptor;
  if (descriptor.coder != 0) return fail("coder %u not supported", descriptor.coder);
  if (descriptor.compressor == RekompDescriptor::NONE ||
      descriptor.compressor > RekompDescriptor::LAYERED_CHUNKED)
    return fail("compressor %u not supported", descriptor.compressor);
  if (descriptor.items.empty()) return fail("number of items cannot be zero", 0);
  layered_ = descriptor.compressor == RekompDescriptor::LAYERED_CHUNKED;
  pointwise_ = descriptor.compressor == RekompDescriptor::POINTWISE;
  varying_ = !pointwise_ && descriptor.varying_chunks();
  record_length_ = 0;
  for (const RkpItem& item : descriptor.items) {
    // Layered chunks hold only the layered items, and the other compressors none of them.
    if (!item_is_codable(item) || item_is_layered(item) != layered_)
      return fail("item type %u of version %u cannot be decoded", item.type, item.version);
    record_length_ += item.size;
  }
  // A LAS record length is a 16-bit field; item lists that add up to more describe no point.
  if (record_length_ > UINT16_MAX)
    return fail("items add up to %u bytes, more than a point record holds", record_length_);
  if (layered_ && descriptor.items[0].type != RkpItem::POINT14)
    return fail("layered chunks must start with item type %u", RkpItem::POINT14);
  selection_ = selection;
  threads_ = pointwise_ ? 1 : std::max(1u, threads);
  worker_ = std::make_unique<ChunkWorker>(descriptor.items, layered_, selection);
  // With several threads, a whole round of chunks can be decoded ahead while the previous round
  // waits to be read, so no core idles between rounds: twice the threads, the chunk being read
  // included.
  slots_.assign(threads_ > 1 ? 2 * size_t(threads_) : 1, Slot{});
  return true;
}

bool RkpPointDecoder::init(ByteSource* source, int64_t point_data_start, uint64_t number_of_points) {
  cancel_pending();
  if (source == nullptr || !worker_) return false;
  source_ = source;
  source_size_ = source->size();
  if (source_size_ >= 0 && !source->seek(point_data_start)) return false;
  stream_.attach(source, point_data_start);
  point_data_start_ = point_data_start;
  number_of_points_ = number_of_points;
  started_ = false;
  chunk_ = 0;
  chunk_open_ = streaming_ = false;
  records_ = nullptr;
  available_ = position_ = 0;
  pending_status_ = 0;
  next_point_ = skip_ = 0;
  checked_ = false;
  error_.clear();
  warning_.clear();
  return true;
}

void RkpPointDecoder::done() {
  stop_helpers();
  source_ = nullptr;
  available_ = position_ = 0;
}

bool RkpPointDecoder::start() {
  started_ = true;
  starts_.clear();
  firsts_.clear();
  table_ = ChunkTable{};
  have_table_ = false;
  if (pointwise_) {
    starts_.push_back(point_data_start_);
    firsts_.push_back(0);
    return true;
  }
  int64_t table_position;
  try {
    table_position = static_cast<int64_t>(stream_.get_u64());
  } catch (const CodecError&) {
    return fail("end-of-file during chunk with index %u", 0);
  }
  const int64_t first_chunk = stream_.tell();
  bool have_table = false;
  if (table_position + 8 == first_chunk) {
    if (varying_)
      return fail("compressor was interrupted before writing adaptive chunk table of RKP file", 0);
    warning_ = "compressor was interrupted before writing chunk table of RKP file";
  } else if (!stream_.seekable()) {
    if (varying_) return fail("chunks of varying size need the chunk table, but the input cannot seek", 0);
  } else {
    std::string warning;
    if (table_position == -1) {
      // The writer could not seek back: the table's position is the file's last 8 bytes.
      try {
        if (source_size_ < first_chunk + 8 || !stream_.seek(source_size_ - 8))
          throw CodecError{kCodecEndOfData};
        table_position = static_cast<int64_t>(stream_.get_u64());
      } catch (const CodecError&) {
        table_position = source_size_;
      }
    }
    have_table =
        read_chunk_table(stream_, table_position, first_chunk, varying_, record_length_, table_, warning);
    if (!have_table) {
      if (varying_) {
        error_ = warning;
        return false;
      }
      warning_ = warning;
    }
    if (!stream_.seek(first_chunk)) return fail("cannot seek to chunk with index %u", 0);
  }
  have_table_ = have_table;
  if (have_table) {
    starts_ = table_.starts;
  } else {
    starts_.push_back(first_chunk);
  }
  for (size_t i = 0; i < starts_.size(); i++) {
    firsts_.push_back(varying_ && have_table ? table_.totals[i] : uint64_t(i) * descriptor_.chunk_size);
  }
  return true;
}

int64_t RkpPointDecoder::points_in_table() const {
  if (!have_table_) return -1;
  const uint64_t listed =
      varying_ ? table_.totals.back() : uint64_t(table_.chunks()) * descriptor_.chunk_size;
  return static_cast<int64_t>(std::min<uint64_t>(listed, INT64_MAX));
}

uint32_t RkpPointDecoder::chunk_count(uint32_t chunk) const {
  const uint64_t first = firsts_[chunk];
  const uint64_t rest = number_of_points_ > first ? number_of_points_ - first : 0;
  uint64_t count;
  if (pointwise_) {
    count = number_of_points_;
  } else if (chunk < table_.chunks() && varying_) {
    // The table's count, even past the header's points: the chunk must end where it says.
    return static_cast<uint32_t>(std::min<uint64_t>(table_.totals[chunk + 1] - first, UINT32_MAX));
  } else if (varying_) {
    count = rest;
  } else {
    count = std::min<uint64_t>(descriptor_.chunk_size, rest);
  }
  return static_cast<uint32_t>(std::min<uint64_t>(count, UINT32_MAX));
}

bool RkpPointDecoder::in_memory(uint32_t chunk) const {
  if (chunk >= table_.chunks()) return false;
  const uint64_t bytes = static_cast<uint64_t>(starts_[chunk + 1] - starts_[chunk]);
  return bytes <= kMemoryChunkBytes && uint64_t(chunk_count(chunk)) * record_length_ <= kMemoryRecordBytes;
}

void RkpPointDecoder::load_chunk_bytes(uint32_t chunk, std::vector<uint8_t>& bytes) {
  const int64_t start = starts_[chunk];
  int64_t size = starts_[chunk + 1] - start;
  // A file cut short holds only part of the chunk; the decoder then meets its end.
  if (source_size_ >= 0) size = std::clamp<int64_t>(source_size_ - start, 0, size);
  bytes.resize(static_cast<size_t>(size));
  try {
    if (!stream_.seek(start)) throw CodecError{kCodecEndOfData};
    stream_.get_bytes(bytes.data(), bytes.size());
  } catch (const CodecError&) {
    bytes.clear();
  }
}

namespace {

void decode_chunk(ChunkWorker& worker, const std::vector<uint8_t>& bytes, std::vector<uint8_t>& records,
                  uint32_t count, size_t expected_bytes, int& status, uint32_t& decoded, bool& verified) {
  worker.memory.attach(bytes.data(), bytes.size(), 0);
  records.resize(size_t(count) * worker.record_length());
  decoded = 0;
  verified = false;
  ChunkWorker::Status st = ChunkWorker::OK;
  if (count > kMaxPointsPerByte * expected_bytes) {
    status = ChunkWorker::CORRUPT;
    return;
  }
  try {
    worker.begin(worker.memory, count);
    decoded = worker.decode(count, records.data(), st);
  } catch (const CodecError& e) {
    st = e.code == kCodecEndOfData ? ChunkWorker::END_OF_DATA : ChunkWorker::CORRUPT;
  }
  // Running out of a chunk that is all there means its data is wrong, not missing.
  if (st == ChunkWorker::END_OF_DATA && bytes.size() == expected_bytes) st = ChunkWorker::CORRUPT;
  if (st == ChunkWorker::OK) verified = worker.ended_at(static_cast<int64_t>(expected_bytes));
  status = st;
}

}  // namespace

bool RkpPointDecoder::claimable() const {
  // paused_ comes first: while paused, the reader may be extending starts_.
  return !paused_ && next_claim_ < reading_ + slots_.size() && in_memory(next_claim_) &&
         firsts_[next_claim_] < number_of_points_;
}

uint32_t RkpPointDecoder::claim() {
  Slot& slot = slots_[next_claim_ % slots_.size()];
  slot.state = Slot::DECODING;
  slot.chunk = next_claim_;
  slot.failure = nullptr;
  decoding_++;
  return next_claim_++;
}

void RkpPointDecoder::decode_claimed(uint32_t chunk, ChunkWorker& worker) {
  Slot& slot = slots_[chunk % slots_.size()];
  try {
    {
      std::lock_guard<std::mutex> lock(stream_mutex_);
      load_chunk_bytes(chunk, slot.bytes);
    }
    const size_t expected = static_cast<size_t>(starts_[chunk + 1] - starts_[chunk]);
    decode_chunk(worker, slot.bytes, slot.records, chunk_count(chunk), expected, slot.status, slot.decoded,
                 slot.verified);
  } catch (...) {
    slot.failure = std::current_exception();
  }
}

void RkpPointDecoder::finish(uint32_t chunk) {
  slots_[chunk % slots_.size()].state = Slot::DONE;
  decoding_--;
  decoded_.notify_all();
}

RkpPointDecoder::Slot& RkpPointDecoder::take(uint32_t chunk) {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = slots_[chunk % slots_.size()];
  const bool scheduled = next_claim_ == chunk || (slot.chunk == chunk && slot.state != Slot::FREE);
  if (paused_ || !scheduled) {
    paused_ = true;
    decoded_.wait(lock, [this] { return decoding_ == 0; });
    for (Slot& s : slots_) s.state = Slot::FREE;
    next_claim_ = chunk;
  }
  paused_ = false;
  // The buffers of the chunks before this one are free again.
  reading_ = chunk;
  wake_.notify_all();
  while (!(slot.chunk == chunk && slot.state == Slot::DONE)) {
    if (claimable()) {
      const uint32_t claimed = claim();
      lock.unlock();
      decode_claimed(claimed, *worker_);
      lock.lock();
      finish(claimed);
    } else {
      decoded_.wait(lock);
    }
  }
  return slot;
}

void RkpPointDecoder::help() {
  // The helper makes its own worker: what it allocates then comes from this thread's heap arena,
  // so none of the state it writes at every point shares a cache line with another thread's, as
  // workers allocated one after another by one thread could.
  std::unique_ptr<ChunkWorker> own;
  try {
    own = std::make_unique<ChunkWorker>(descriptor_.items, layered_, selection_);
  } catch (const std::bad_alloc&) {
    return;  // the other threads decode the chunks
  }
  ChunkWorker& worker = *own;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || claimable(); });
    if (quit_) return;
    const uint32_t chunk = claim();
    lock.unlock();
    decode_claimed(chunk, worker);
    lock.lock();
    finish(chunk);
  }
}

void RkpPointDecoder::start_helpers() {
  helpers_started_ = true;
  // The reading thread decodes too, so it needs threads_ - 1 helpers.
  try {
    while (helpers_.size() + 1 < threads_) helpers_.emplace_back([this] { help(); });
  } catch (const std::system_error&) {
    // Fewer threads than asked for decode the same chunks, only more slowly.
  }
}

void RkpPointDecoder::stop_helpers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
  helpers_.clear();
  helpers_started_ = false;
  std::lock_guard<std::mutex> lock(mutex_);
  quit_ = false;
  paused_ = true;
  decoding_ = 0;
  for (Slot& s : slots_) s.state = Slot::FREE;
}

void RkpPointDecoder::cancel_pending() {
  std::unique_lock<std::mutex> lock(mutex_);
  paused_ = true;
  decoded_.wait(lock, [this] { return decoding_ == 0; });
  for (Slot& s : slots_) s.state = Slot::FREE;
}

bool RkpPointDecoder::begin_streaming(uint32_t chunk) {
  cancel_pending();
  ChunkWorker& worker = *worker_;
  const uint32_t count = chunk_count(chunk);
  streaming_ = true;
  records_ = nullptr;
  available_ = position_ = 0;
  try {
    if (chunk < table_.chunks()) {
      // Too large to hold: check the whole chunk first, then decode it again for delivery.
      if (count > kMaxPointsPerByte * uint64_t(starts_[chunk + 1] - starts_[chunk]))
        throw CodecError{kCodecCorrupt};
      if (!stream_.seek(starts_[chunk])) throw CodecError{kCodecEndOfData};
      worker.begin(stream_, count);
      ChunkWorker::Status st = ChunkWorker::OK;
      while (worker.left() > 0 && st == ChunkWorker::OK) worker.decode(kBatch, nullptr, st);
      if (st != ChunkWorker::OK) throw CodecError{st};
      if (!worker.ended_at(starts_[chunk + 1])) throw CodecError{kCodecCorrupt};
    }
    if (!stream_.seek(starts_[chunk])) throw CodecError{kCodecEndOfData};
    worker.begin(stream_, count);
  } catch (const CodecError& e) {
    pending_status_ = e.code;
    streaming_ = false;
  }
  return true;
}

bool RkpPointDecoder::next_chunk() {
  const uint32_t chunk = chunk_open_ ? chunk_ + 1 : chunk_;
  if (chunk >= starts_.size() || firsts_[chunk] >= number_of_points_) return false;
  if (have_table_ && chunk >= table_.chunks()) {
    chunk_ = static_cast<uint32_t>(starts_.size());
    chunk_open_ = true;
    return fail("the chunk table lists only %u points",
                static_cast<uint32_t>(std::min<int64_t>(points_in_table(), UINT32_MAX)));
  }
  chunk_ = chunk;
  chunk_open_ = true;
  streaming_ = false;
  records_ = nullptr;
  available_ = position_ = 0;
  if (!in_memory(chunk)) return begin_streaming(chunk);

  if (!helpers_started_) start_helpers();
  const Slot& result = take(chunk);
  if (result.failure) std::rethrow_exception(result.failure);
  if (result.status == ChunkWorker::CORRUPT || (result.status == ChunkWorker::OK && !result.verified)) {
    pending_status_ = kCodecCorrupt;
    return true;
  }
  records_ = result.records.data();
  available_ = static_cast<uint32_t>(std::min<uint64_t>(result.decoded, number_of_points_ - firsts_[chunk]));
  if (result.status == ChunkWorker::END_OF_DATA) pending_status_ = kCodecEndOfData;
  return true;
}

bool RkpPointDecoder::fill() {
  if (pending_status_ != 0) {
    const int status = pending_status_;
    pending_status_ = 0;
    if (status == kCodecEndOfData) {
      // Nothing follows the end of the data.
      chunk_ = static_cast<uint32_t>(starts_.size());
      return fail("end-of-file during chunk with index %u", chunk_open_ ? chunk_ : 0);
    }
    const uint32_t chunks = table_.chunks() ? table_.chunks() : static_cast<uint32_t>(starts_.size());
    // The next read goes on with the chunk after the corrupt one.
    const uint64_t end =
        chunk_ + 1u < firsts_.size() ? std::min(firsts_[chunk_ + 1], number_of_points_) : number_of_points_;
    points_lost_ = end > next_point_ ? end - next_point_ : 0;
    next_point_ = end;
    streaming_ = false;
    const uint32_t corrupt = chunk_;
    if (chunk_ + 1u >= starts_.size()) chunk_ = static_cast<uint32_t>(starts_.size());
    return fail("chunk with index %u of %u is corrupt", corrupt, chunks);
  }
  if (next_point_ >= number_of_points_) return false;
  if (chunk_open_ && streaming_) {
    ChunkWorker& worker = *worker_;
    if (worker.left() > 0) {
      ChunkWorker::Status st;
      batch_.resize(size_t(kBatch) * record_length_);
      available_ = worker.decode(std::min(kBatch, worker.left()), batch_.data(), st);
      records_ = batch_.data();
      position_ = 0;
      if (st != ChunkWorker::OK) pending_status_ = st;
      return true;
    }
    // Chunks found while reading are remembered, so later seeks can go straight to them.
    if (chunk_ + 1u == starts_.size()) {
      starts_.push_back(stream_.tell());
      firsts_.push_back(firsts_[chunk_] + chunk_count(chunk_));
    }
  }
  if (!next_chunk()) return false;
  return true;
}

bool RkpPointDecoder::read_from_next_chunk(uint8_t* record) {
  if (source_ == nullptr || !read_table()) return false;
  for (;;) {
    if (position_ < available_) {
      if (skip_ > 0) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(skip_, available_ - position_));
        position_ += n;
        skip_ -= n;
        next_point_ += n;
        continue;
      }
      copy_record(record, records_ + size_t(position_) * record_length_, record_length_);
      position_++;
      next_point_++;
      return true;
    }
    if (!fill()) return false;
  }
}

bool RkpPointDecoder::seek(uint64_t target) {
  if (source_ == nullptr || !read_table()) return false;
  if (target >= number_of_points_ || !stream_.seekable()) return false;
  if (chunk_open_ && !streaming_ && records_ != nullptr && target >= firsts_[chunk_] &&
      target < firsts_[chunk_] + available_) {
    position_ = static_cast<uint32_t>(target - firsts_[chunk_]);
    next_point_ = target;
    skip_ = 0;
    return true;
  }
  // The last known chunk that starts at or before the target.
  const auto it = std::upper_bound(firsts_.begin(), firsts_.end(), target);
  const uint32_t chunk = static_cast<uint32_t>(std::max<ptrdiff_t>(it - firsts_.begin() - 1, 0));
  cancel_pending();
  chunk_ = chunk;
  chunk_open_ = false;
  streaming_ = false;
  records_ = nullptr;
  available_ = position_ = 0;
  pending_status_ = 0;
  next_point_ = firsts_[chunk];
  skip_ = target - firsts_[chunk];
  error_.clear();
  return true;
}

bool RkpPointDecoder::check_end() {
  checked_ = true;
  return true;
}
