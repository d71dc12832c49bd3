#include "pointio/lasreader.h"

namespace {

// The area stages test the point's real coordinates. Each knows whether it can overlap the
// source's bounds at all; one that cannot ends reading at once.
class AreaStage : public LASpointStage {
 public:
  explicit AreaStage(bool overlaps) : overlaps_(overlaps) {}
  bool can_keep_any() const override { return overlaps_; }

 private:
  bool overlaps_;
};

class TileStage : public AreaStage {
 public:
  // The bounds are held in single precision, as the tile was given.
  TileStage(bool overlaps, float ll_x, float ll_y, float size)
      : AreaStage(overlaps), ll_x_(ll_x), ll_y_(ll_y), ur_x_(ll_x + size), ur_y_(ll_y + size) {}
  Verdict process(LASpoint& p) override {
    const double x = p.get_x();
    const double y = p.get_y();
    return double{ll_x_} <= x && x < double{ur_x_} && double{ll_y_} <= y && y < double{ur_y_} ? Verdict::keep
                                                                                              : Verdict::drop;
  }

 private:
  float ll_x_, ll_y_, ur_x_, ur_y_;
};

class CircleStage : public AreaStage {
 public:
  CircleStage(bool overlaps, double center_x, double center_y, double radius)
      : AreaStage(overlaps), center_x_(center_x), center_y_(center_y), radius_squared_(radius * radius) {}
  Verdict process(LASpoint& p) override {
    const double dx = center_x_ - p.get_x();
    const double dy = center_y_ - p.get_y();
    return dx * dx + dy * dy < radius_squared_ ? Verdict::keep : Verdict::drop;
  }

 private:
  double center_x_, center_y_, radius_squared_;
};

class RectangleStage : public AreaStage {
 public:
  RectangleStage(bool overlaps, double min_x, double min_y, double max_x, double max_y)
      : AreaStage(overlaps), min_x_(min_x), min_y_(min_y), max_x_(max_x), max_y_(max_y) {}
  Verdict process(LASpoint& p) override {
    const double x = p.get_x();
    const double y = p.get_y();
    return min_x_ <= x && x < max_x_ && min_y_ <= y && y < max_y_ ? Verdict::keep : Verdict::drop;
  }

 private:
  double min_x_, min_y_, max_x_, max_y_;
};

}  // namespace

LASreader::~LASreader() = default;

void LASreader::set_stage(StageSlot slot, std::unique_ptr<LASpointStage> stage) {
  stages_[slot] = std::move(stage);
  update_stage_order();
}

void LASreader::update_stage_order() {
  stage_count_ = 0;
  keeps_none_ = false;
  for (const auto& stage : stages_) {
    if (!stage) continue;
    order_[static_cast<size_t>(stage_count_++)] = stage.get();
    keeps_none_ = keeps_none_ || !stage->can_keep_any();
  }
  table_ = stage_count_ > 0 ? order_[0]->drop_table() : LASdropTable{};
}

uint32_t LASreader::stage_field_mask() const {
  uint32_t mask = 0;
  for (const auto& stage : stages_) {
    if (stage) mask |= stage->field_mask();
  }
  return mask;
}

void LASreader::reset_stages() {
  for (const auto& stage : stages_) {
    if (stage) stage->reset();
  }
}

bool LASreader::bind_stages() {
  bool bound = true;
  for (const auto& stage : stages_) {
    if (stage && !stage->bind(header)) {
      bound = false;
      break;
    }
  }
  update_stage_order();
  return bound;
}

void LASreader::set_index(std::unique_ptr<LASspatialIndex> index) {
  index_ = std::move(index);
  indexed_ = false;
}

inline bool LASreader::passes_stages() {
  int s = 0;
  if (table_.first_drop) {
    const uint8_t first = table_.first_drop[LASdropTable::key(point)];
    if (first != 0) {
      table_.counts[first - 1u]++;
      return false;
    }
    if (table_.decides_alone) s = 1;
  }
  while (s < stage_count_ && order_[static_cast<size_t>(s)]->process(point) == LASpointStage::Verdict::keep)
    s++;
  return s == stage_count_;
}

bool LASreader::read_point_through_stages() {
  if (keeps_none_) return false;
  if (indexed_) return read_point_through_index();
  while (read_point_unfiltered()) {
    if (passes_stages()) return true;
  }
  return false;
}

// The index positions the reader at each candidate in turn; every candidate passes all stages.
bool LASreader::read_point_through_index() {
  while (index_->seek_next(*this)) {
    if (read_point_unfiltered() && passes_stages()) return true;
  }
  return false;
}

bool LASreader::inside_none() {
  if (inside_ != INSIDE_NONE) {
    header.min_x = orig_min_x_;
    header.min_y = orig_min_y_;
    header.max_x = orig_max_x_;
    header.max_y = orig_max_y_;
    inside_ = INSIDE_NONE;
  }
  indexed_ = false;
  set_stage(STAGE_AREA, nullptr);
  return true;
}

void LASreader::set_area(Inside kind, double min_x, double min_y, double max_x, double max_y,
                         std::unique_ptr<LASpointStage> stage) {
  // A second area replaces the first, so the bounds to compare against and to restore are always
  // those of the file, not of the previous area.
  if (inside_ == INSIDE_NONE) {
    orig_min_x_ = header.min_x;
    orig_min_y_ = header.min_y;
    orig_max_x_ = header.max_x;
    orig_max_y_ = header.max_y;
  }
  inside_ = kind;
  header.min_x = min_x;
  header.min_y = min_y;
  header.max_x = max_x;
  header.max_y = max_y;
  set_stage(STAGE_AREA, std::move(stage));
}

bool LASreader::overlaps_source(double min_x, double min_y, double max_x, double max_y) const {
  if (!bounds_are_complete()) return true;
  // Once an area is set, the header shows it; the source's own bounds are the saved ones.
  const bool saved = inside_ != INSIDE_NONE;
  const double source_min_x = saved ? orig_min_x_ : header.min_x;
  const double source_min_y = saved ? orig_min_y_ : header.min_y;
  const double source_max_x = saved ? orig_max_x_ : header.max_x;
  const double source_max_y = saved ? orig_max_y_ : header.max_y;
  return !(max_x < source_min_x || max_y < source_min_y || min_x > source_max_x || min_y > source_max_y);
}

bool LASreader::inside_tile(float ll_x, float ll_y, float size) {
  const double max_x = double{ll_x} + double{size} - header.x_scale_factor;
  const double max_y = double{ll_y} + double{size} - header.y_scale_factor;
  const bool any = overlaps_source(ll_x, ll_y, max_x, max_y);
  indexed_ = any && index_;
  if (indexed_) index_->intersect_tile(ll_x, ll_y, size);  // no cell: no candidate, no point
  set_area(INSIDE_TILE, ll_x, ll_y, max_x, max_y, std::make_unique<TileStage>(any, ll_x, ll_y, size));
  return true;
}

bool LASreader::inside_circle(double center_x, double center_y, double radius) {
  const double min_x = center_x - radius, min_y = center_y - radius;
  const double max_x = center_x + radius, max_y = center_y + radius;
  const bool any = overlaps_source(min_x, min_y, max_x, max_y);
  indexed_ = any && index_;
  if (indexed_) index_->intersect_circle(center_x, center_y, radius);
  set_area(INSIDE_CIRCLE, min_x, min_y, max_x, max_y,
           std::make_unique<CircleStage>(any, center_x, center_y, radius));
  return true;
}

bool LASreader::inside_rectangle(double min_x, double min_y, double max_x, double max_y) {
  const bool any = overlaps_source(min_x, min_y, max_x, max_y);
  indexed_ = any && index_;
  if (indexed_) index_->intersect_rectangle(min_x, min_y, max_x, max_y);
  set_area(INSIDE_RECTANGLE, min_x, min_y, max_x, max_y,
           std::make_unique<RectangleStage>(any, min_x, min_y, max_x, max_y));
  return true;
}
