#include "compression/detail/chunk_worker.h"

#include <algorithm>
#include <cstring>

ChunkWorker::ChunkWorker(const std::vector<RkpItem>& items, bool layered, uint32_t selection)
    : items_(items), layered_(layered) {
  for (const RkpItem& item : items_) {
    offsets_.push_back(record_length_);
    record_length_ += item.size;
    decoders_.push_back(make_item_decoder(item, &decoder_, selection));
  }
  if (!layered_) records_ = make_record_decoder(items_, &decoder_);
  first_record_.assign(record_length_, 0);
  scratch_.assign(record_length_, 0);
}

void ChunkWorker::begin(ByteInput& input, uint32_t count) {
  input_ = &input;
  left_ = 0;
  first_pending_ = false;
  if (count == 0) return;
  input.get_bytes(first_record_.data(), record_length_);
  uint32_t context = 0;
  if (layered_) {
    decoder_.init(&input, false);
    // The chunk says how many points it holds; a count that disagrees marks it corrupt.
    if (input.get_u32() != count) throw CodecError{kCodecCorrupt};
    for (auto& d : decoders_) d->read_layer_sizes(input);
    for (size_t i = 0; i < decoders_.size(); i++)
      decoders_[i]->init(input, first_record_.data() + offsets_[i], context);
  } else if (records_) {
    records_->init(first_record_.data());
    decoder_.init(&input);
  } else {
    for (size_t i = 0; i < decoders_.size(); i++)
      decoders_[i]->init(input, first_record_.data() + offsets_[i], context);
    decoder_.init(&input);
  }
  first_pending_ = true;
  left_ = count;
}

uint32_t ChunkWorker::decode(uint32_t n, uint8_t* out, Status& status) {
  status = OK;
  uint32_t done = 0;
  uint32_t decoded = 0;  // by the whole-record decoder
  try {
    if (records_) {
      if (n > 0 && left_ > 0 && first_pending_) {
        std::memcpy(out ? out : scratch_.data(), first_record_.data(), record_length_);
        first_pending_ = false;
        left_--;
        done++;
      }
      const uint32_t todo = std::min(n - done, left_);
      if (out) {
        records_->read(out + size_t(done) * record_length_, todo, decoded);
      } else {
        while (decoded < todo) records_->read(scratch_.data(), 1, decoded);
      }
      left_ -= decoded;
      done += decoded;
      return done;
    }
    for (; done < n && left_ > 0; done++) {
      uint8_t* record = out ? out + size_t(done) * record_length_ : scratch_.data();
      if (first_pending_) {
        std::memcpy(record, first_record_.data(), record_length_);
        first_pending_ = false;
      } else {
        uint32_t context = 0;
        for (size_t i = 0; i < decoders_.size(); i++) decoders_[i]->read(record + offsets_[i], context);
      }
      left_--;
    }
  } catch (const CodecError& e) {
    done += decoded;
    status = e.code == kCodecEndOfData ? END_OF_DATA : CORRUPT;
    left_ = 0;
  }
  return done;
}

bool ChunkWorker::ended_at(int64_t end) const {
  if (input_ == nullptr || input_->tell() != end) return false;
  for (const auto& d : decoders_)
    if (!d->layers_consumed()) return false;
  return true;
}
