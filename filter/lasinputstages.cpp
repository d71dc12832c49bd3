#include "filter/lasinputstages.h"

#include <cstdio>

#include "common/messages.h"

namespace {

// The stages a reader owns refer to the filter and transform of the command line, which every
// reader the opener hands out shares.
class FilterStage final : public LASpointStage {
 public:
  explicit FilterStage(LASfilter& filter) : filter_(filter) {}
  Verdict process(LASpoint& point) override { return filter_.filter(point) ? Verdict::drop : Verdict::keep; }
  LASdropTable drop_table() override { return filter_.drop_table(); }
  uint32_t field_mask() const override { return filter_.get_decompress_selective(); }
  void reset() override { filter_.reset(); }

 private:
  LASfilter& filter_;
};

}  // namespace

LASinputStages::LASinputStages() = default;
LASinputStages::~LASinputStages() = default;

void LASinputStages::usage() const {
  LASfilter::usage();
  LAStransform::usage();
}

bool LASinputStages::parse(int argc, char** argv, bool accept_ignore) {
  if (accept_ignore) {
    if (!ignore_) ignore_ = std::make_unique<LASignore>();
    if (!ignore_->parse(argc, argv)) return false;
    if (ignore_->is_empty()) ignore_.reset();
  }
  if (!filter_) filter_ = std::make_unique<LASfilter>();
  if (!filter_->parse(argc, argv)) return false;
  if (filter_->number_of_criteria() == 0) filter_.reset();

  if (!transform_) transform_ = std::make_unique<LAStransform>();
  if (!transform_->parse(argc, argv)) return false;
  if (transform_->number_of_operations() == 0) {
    if (transform_->is_filtered())
      print_message("WARNING: no LAStransform specified. '-filtered_transform' has no effect.\n");
    transform_.reset();
  } else if (transform_->is_filtered() && !transform_->get_filter()) {
    if (filter_)
      transform_->set_filter(std::move(filter_));
    else
      print_message("WARNING: no LASfilter specified. '-filtered_transform' has no effect.\n");
  }
  return true;
}

std::unique_ptr<LASpointStage> LASinputStages::make_filter_stage() {
  if (!filter_) return nullptr;
  return std::make_unique<FilterStage>(*filter_);
}

std::unique_ptr<LASpointStage> LASinputStages::make_transform_stage() {
  if (!transform_) return nullptr;
  return transform_->make_stage();
}

bool LASinputStages::check_for_overflow() const {
  return !transform_ || transform_->check_for_overflow();
}

uint32_t LASinputStages::get_decompress_selective() const {
  uint32_t mask = 0;
  if (filter_) mask |= filter_->get_decompress_selective();
  if (transform_) mask |= transform_->get_decompress_selective();
  if (ignore_) mask |= ignore_->get_decompress_selective();
  return mask;
}

void LASinputStages::reset() {
  if (filter_) filter_->reset();
  if (transform_) transform_->reset();
}

void LASinputStages::set_point_source(uint16_t value) {
  if (!transform_) transform_ = std::make_unique<LAStransform>();
  transform_->set_point_source(value);
}

void LASinputStages::unparse(std::string& out) const {
  if (ignore_) ignore_->unparse(out);
  if (filter_) filter_->unparse(out);
  if (transform_) transform_->unparse(out);
}
