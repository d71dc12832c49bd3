#include "filter/lastransform.h"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "common/messages.h"
#include "filter/detail/fast_operations.h"
#include "filter/detail/operations.h"
#include "filter/detail/option_args.h"
#include "pointio/laspoint.h"

using namespace filter_detail;

// Groups of point fields that only some record layouts carry.
namespace las_unread {
constexpr uint32_t kExtended = 1;  // the fields of the LAS 1.4 point types, filled by POINT14 records
constexpr uint32_t kGpsTime = 2, kRgb = 4, kNir = 8, kWavePacket = 16, kAll = 31;
}  // namespace las_unread

namespace {

// The options that have a table entry, by their word.
const std::unordered_map<std::string_view, const OperationOption*>& option_table() {
  static const auto table =
      index_options<OperationOption>({coordinate_operation_options(), field_operation_options(),
                                      colour_operation_options(), attribute_operation_options()});
  return table;
}

}  // namespace

LAStransform::LAStransform() = default;
LAStransform::~LAStransform() = default;

bool LAStransform::parse(int argc, char** argv) {
  ArgumentCursor args(argc, argv);
  while (args.next()) {
    const char* a = args.option();
    if (a[0] != '-') continue;
    if (!std::strcmp(a, "-h") || !std::strcmp(a, "-help")) {
      usage();
      return true;
    }
    if (!std::strcmp(a, "-filtered_transform")) {
      filtered_ = true;
      args.consume(0);
      continue;
    }
    std::unique_ptr<LASoperation> made;
    const int list_words = parse_comma_list_option(args, made);
    if (list_words < 0) return false;
    if (made) {
      add_operation(std::move(made));
      args.consume(list_words);
      continue;
    }
    const auto found = option_table().find(a);
    if (found == option_table().end()) continue;
    const OperationOption& option = *found->second;
    const int count = static_cast<int>(std::strlen(option.types));
    if (option.missing && !args.has(count)) {
      print_message(option.missing, a);
      return false;
    }
    ArgValues values;
    if (!read_args(args, option.names, option.types, values)) return false;
    std::unique_ptr<LASoperation> operation = option.make(values, registers_);
    if (!operation) return false;
    add_operation(std::move(operation));
    args.consume(count);
  }
  return true;
}

bool LAStransform::parse(std::string_view text) {
  return parse_text(text, [this](int argc, char** argv) { return parse(argc, argv); });
}

std::string LAStransform::get_command() const {
  std::string s;
  if (filter_) s = filter_->get_command() + "-filtered_transform ";
  CommandWriter out(s, CommandWriter::kListing);
  for (const auto& op : operations_) op->write_command(out);
  return s;
}

void LAStransform::unparse(std::string& out) const {
  if (filter_) {
    filter_->unparse(out);
    out += "-filtered_transform ";
  }
  CommandWriter writer(out, CommandWriter::kExact);
  for (const auto& op : operations_) op->write_command(writer);
}

uint32_t LAStransform::get_decompress_selective() const {
  // The filter of a filtered transform reads its fields too: a reader that decodes only what the
  // operations read would hand it fields it never filled.
  uint32_t mask = filter_ ? filter_->get_decompress_selective() : 0u;
  for (const auto& op : operations_) mask |= op->get_decompress_selective();
  return mask;
}

namespace {

// The field groups the records of a point's layout do not carry.
uint32_t unread_fields_of(const LASpoint& p) {
  if (p.items.empty()) return 0;
  uint32_t carried = 0;
  for (const LASitem& item : p.items) {
    switch (item.type) {
      case LASitem::POINT14:
        carried |= las_unread::kExtended | las_unread::kGpsTime;
        break;
      case LASitem::GPSTIME11:
        carried |= las_unread::kGpsTime;
        break;
      case LASitem::RGB12:
      case LASitem::RGB14:
        carried |= las_unread::kRgb;
        break;
      case LASitem::RGBNIR14:
        carried |= las_unread::kRgb | las_unread::kNir;
        break;
      case LASitem::WAVEPACKET13:
      case LASitem::WAVEPACKET14:
        carried |= las_unread::kWavePacket;
        break;
      default:
        break;
    }
  }
  return las_unread::kAll & ~carried;
}

}  // namespace

namespace {

// Sets back the field groups `kUnread` names; one instance for each combination of groups.
template <uint32_t kUnread>
void forget_fields(LAStransform&, LASpoint& p) {
  if constexpr ((kUnread & las_unread::kExtended) != 0) {
    p.extended_scan_angle = 0;
    p.extended_scanner_channel = 0;
    p.extended_classification_flags = 0;
    p.extended_classification = 0;
    p.extended_return_number = 1;
    p.extended_number_of_returns = 1;
  }
  if constexpr ((kUnread & las_unread::kGpsTime) != 0) p.gps_time = 0.0;
  if constexpr ((kUnread & las_unread::kRgb) != 0) p.rgb[0] = p.rgb[1] = p.rgb[2] = 0;
  if constexpr ((kUnread & las_unread::kNir) != 0) p.rgb[3] = 0;
  if constexpr ((kUnread & las_unread::kWavePacket) != 0) p.wavepacket = LASwavepacket{};
}

template <uint32_t... kUnread>
constexpr std::array<void (*)(LAStransform&, LASpoint&), sizeof...(kUnread)> forget_table(
    std::integer_sequence<uint32_t, kUnread...>) {
  return {forget_fields<kUnread>...};
}

constexpr auto kForget = forget_table(std::make_integer_sequence<uint32_t, las_unread::kAll + 1>());

}  // namespace

void LAStransform::learn_layout(LAStransform& transform, LASpoint& point) {
  // Only the groups an operation may write can hold what the previous point left there.
  const uint32_t unread = unread_fields_of(point) & transform.written_groups_;
  transform.forget_unread_fields_ = unread ? kForget[unread] : nullptr;
  if (unread) kForget[unread](transform, point);
}

void LAStransform::reset() {
  forget_unread_fields_ = learn_layout;
  for (auto& op : operations_) op->reset();
  if (filter_) filter_->reset();
  registers_ = LASregisters{};
}

bool LAStransform::check_for_overflow() const {
  bool fine = true;
  for (const auto& op : operations_) {
    if (op->get_overflow() == 0) continue;
    std::string command = op->get_command();
    if (!command.empty() && command.back() == ' ') command.pop_back();
    print_message(
        "ERROR: total of %" PRId64
        " overflows caused by '%s': the new coordinates do not fit 32-bit integers with the file's scale "
        "and offset\n",
        op->get_overflow(), command.c_str());
    fine = false;
  }
  return fine;
}

[[gnu::always_inline]] inline void LAStransform::transform_point(LASpoint& point) {
  if (forget_unread_fields_) forget_unread_fields_(*this, point);
  if (filter_ && filter_->filter(point)) return;
  if (fixed_chain_) {
    apply_fixed_chain(fixed_, point);
    return;
  }
  for (const Step& step : steps_) apply_fast(step.fast_kind, *step.operation, point);
}

void LAStransform::transform(LASpoint& point) {
  transform_point(point);
}

namespace filter_detail {

// The stage is made here, where transform_point can be inlined into it: a transformed point
// then costs the stage's call alone.
class TransformStage final : public LASpointStage {
 public:
  explicit TransformStage(LAStransform& transform) : transform_(transform) {}
  Verdict process(LASpoint& point) override {
    transform_.transform_point(point);
    return Verdict::keep;
  }
  uint32_t field_mask() const override { return transform_.get_decompress_selective(); }
  void reset() override { transform_.reset(); }

 private:
  LAStransform& transform_;
};

}  // namespace filter_detail

std::unique_ptr<LASpointStage> LAStransform::make_stage() {
  return std::make_unique<TransformStage>(*this);
}

namespace {

// The field groups of las_unread that an operation of this fast kind may write: the fast
// operations are known, every other one may write any.
uint32_t groups_written_by(int fast_kind) {
  switch (fast_kind) {
    case kTranslateZ:
    case kTranslateXYZ:
    case kScaleIntensity:
    case kSetUserData:
    case kSetPointSource:
      return 0;
    case kSetClassification:
      return las_unread::kExtended;  // the extended classification
    default:
      return las_unread::kAll;
  }
}

}  // namespace

void LAStransform::list_steps() {
  steps_.clear();
  fixed_ = {};
  fixed_chain_ = !operations_.empty();
  written_groups_ = 0;
  for (const auto& op : operations_) {
    const int kind = op->fast_kind();
    steps_.push_back({op.get(), kind});
    written_groups_ |= groups_written_by(kind);
    const auto slot = static_cast<size_t>(kind);
    if (kind <= kNotFast || slot >= fixed_.size() || fixed_[slot]) {
      fixed_chain_ = false;
    } else {
      fixed_[slot] = op.get();
    }
  }
  if (fixed_[kTranslateZ] && fixed_[kTranslateXYZ]) fixed_chain_ = false;  // both move z
  forget_unread_fields_ = learn_layout;
}

void LAStransform::add_operation(std::unique_ptr<LASoperation> operation) {
  operations_.push_back(std::move(operation));
  list_steps();
}

bool LAStransform::delete_operation(std::string_view name) {
  for (auto it = operations_.begin(); it != operations_.end(); ++it) {
    if (name == (*it)->name()) {
      operations_.erase(it);
      list_steps();
      return true;
    }
  }
  return false;
}

void LAStransform::set_filter(std::unique_ptr<LASfilter> filter) {
  filter_ = std::move(filter);
  if (!filter_) filtered_ = false;
}

void LAStransform::set_point_source(uint16_t value) {
  delete_operation("set_point_source");
  add_operation(make_set_point_source(value));
}

void LAStransform::clean() {
  operations_.clear();
  list_steps();
  filter_.reset();
  filtered_ = false;
}
