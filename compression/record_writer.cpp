#include "compression/record_writer.h"

#include "compression/chunk_table.h"
#include "compression/detail/bytes.h"

bool CompressedRecordWriter::setup(const RekompDescriptor& descriptor) {
  descriptor_ = descriptor;
  encoders_.clear();
  offsets_.clear();
  if (descriptor.compressor == RekompDescriptor::NONE ||
      descriptor.compressor > RekompDescriptor::LAYERED_CHUNKED)
    return false;
  layered_ = descriptor.compressor == RekompDescriptor::LAYERED_CHUNKED;
  pointwise_ = descriptor.compressor == RekompDescriptor::POINTWISE;
  if (descriptor.items.empty() || (layered_ && descriptor.items[0].type != RkpItem::POINT14)) return false;
  record_length_ = 0;
  for (const RkpItem& item : descriptor.items) {
    // Layered items of version 2 are read like version 3 but never written.
    if (item_is_layered(item) != layered_ || (layered_ && item.version == 2)) return false;
    auto encoder = make_item_encoder(item, &encoder_);
    if (!encoder) return false;
    encoders_.push_back(std::move(encoder));
    offsets_.push_back(record_length_);
    record_length_ += item.size;
  }
  if (pointwise_) descriptor_.chunk_size = RekompDescriptor::kVaryingChunks;
  if (descriptor_.chunk_size == 0) descriptor_.chunk_size = RekompDescriptor::kVaryingChunks;
  return true;
}

void CompressedRecordWriter::set_sink(Sink sink, int64_t base) {
  sink_ = std::move(sink);
  base_ = base;
}

void CompressedRecordWriter::init(std::vector<uint8_t>* out) {
  out_ = out;
  flushed_ = 0;
  table_pointer_pending_ = false;
  sink_ok_ = true;
  chunk_bytes_.clear();
  chunk_points_.clear();
  chunk_count_ = 0;
  if (!pointwise_) {
    table_pointer_ = out->size();
    // -1 until done() knows where the table is; a stream that cannot seek back keeps it so.
    out->resize(out->size() + 8);
    store_le(out->data() + table_pointer_, int64_t{-1});
  }
  chunk_start_ = out->size();
}

void CompressedRecordWriter::write(const uint8_t* record) {
  if (!pointwise_ && chunk_count_ == descriptor_.chunk_size) close_chunk();
  uint32_t context = 0;
  if (chunk_count_ == 0) {
    out_->insert(out_->end(), record, record + record_length_);
    for (size_t i = 0; i < encoders_.size(); i++) encoders_[i]->init(record + offsets_[i], context);
    if (!layered_) encoder_.init(out_);
  } else {
    for (size_t i = 0; i < encoders_.size(); i++) encoders_[i]->write(record + offsets_[i], context);
  }
  chunk_count_++;
}

void CompressedRecordWriter::close_chunk() {
  if (chunk_count_ == 0) return;
  if (layered_) {
    const size_t at = out_->size();
    out_->resize(at + 4);
    store_le(out_->data() + at, chunk_count_);
    for (auto& e : encoders_) e->write_layer_sizes(*out_);
    for (auto& e : encoders_) e->write_layer_bytes(*out_);
  } else {
    encoder_.done();
  }
  chunk_bytes_.push_back(static_cast<uint32_t>(out_->size() - chunk_start_));
  chunk_points_.push_back(chunk_count_);
  chunk_start_ = out_->size();
  chunk_count_ = 0;
  flush_finished();
}

// Only between chunks: no encoder then refers back into the vector.
void CompressedRecordWriter::flush_finished() {
  if (!sink_ || chunk_start_ == 0) return;
  if (!sink_(out_->data(), chunk_start_)) sink_ok_ = false;
  out_->erase(out_->begin(), out_->begin() + static_cast<std::ptrdiff_t>(chunk_start_));
  flushed_ += chunk_start_;
  chunk_start_ = 0;
}

bool CompressedRecordWriter::chunk() {
  if (descriptor_.chunk_size != RekompDescriptor::kVaryingChunks || pointwise_) return false;
  close_chunk();
  return true;
}

void CompressedRecordWriter::done() {
  close_chunk();
  if (!pointwise_) {
    table_position_ = base_ + static_cast<int64_t>(flushed_ + out_->size());
    if (table_pointer_ >= flushed_) {
      store_le(out_->data() + (table_pointer_ - flushed_), table_position_);
    } else {
      table_pointer_pending_ = true;
    }
    write_chunk_table(*out_, chunk_bytes_, chunk_points_,
                      descriptor_.chunk_size == RekompDescriptor::kVaryingChunks);
  }
  if (sink_ && !out_->empty()) {
    if (!sink_(out_->data(), out_->size())) sink_ok_ = false;
    flushed_ += out_->size();
    out_->clear();
  }
}
