// Criteria on sets of classes and return numbers, and the combination of two criteria.
#include <cinttypes>
#include <cstdio>

#include "common/messages.h"
#include "filter/detail/criteria.h"
#include "filter/detail/criterion_templates.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

using las_fields::kClassification;

// A point of class 0 may carry its real class in the extended classification: it is judged by
// that class, which no mask of classes 0 to 31 holds unless it is 0 itself.
class KeepClassificationMask final : public LAScriterion {
 public:
  explicit KeepClassificationMask(uint32_t keep_set)
      : test_{.kind = LASfastTest::kClasses, .drops_extended_class = true, .drop_set = ~keep_set} {}
  const char* name() const override { return "keep_classification_mask"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(keep_set());
  }
  uint32_t get_decompress_selective() const override { return kClassification; }
  bool filter(const LASpoint& p) override { return fast_test_drops(test_, p); }
  LASfastTest fast_test() const override { return test_; }
  uint32_t keep_set() const { return ~test_.drop_set; }

 private:
  LASfastTest test_;
};

class DropClassificationMask final : public LAScriterion {
 public:
  explicit DropClassificationMask(uint32_t drop_set)
      : test_{.kind = LASfastTest::kClasses, .drops_extended_class = false, .drop_set = drop_set} {}
  const char* name() const override { return "drop_classification_mask"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(drop_set());
  }
  uint32_t get_decompress_selective() const override { return kClassification; }
  bool filter(const LASpoint& p) override { return fast_test_drops(test_, p); }
  LASfastTest fast_test() const override { return test_; }
  uint32_t drop_set() const { return test_.drop_set; }

 private:
  LASfastTest test_;
};

class DropExtendedClassificationMask final : public LAScriterion {
 public:
  explicit DropExtendedClassificationMask(const std::array<uint32_t, 8>& drop_set) : drop_set_(drop_set) {}
  const char* name() const override { return "drop_extended_classification_mask"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    for (int w = 7; w >= 0; w--) out.value(drop_set_[static_cast<size_t>(w)]);
  }
  uint32_t get_decompress_selective() const override { return kClassification; }
  bool filter(const LASpoint& p) override {
    const uint32_t c = get_extended_class(p);
    return (drop_set_[c >> 5] >> (c & 31)) & 1u;
  }

 private:
  std::array<uint32_t, 8> drop_set_;  // word w holds classes 32w to 32w + 31
};

// Sets of the legacy 3-bit return number.
class ReturnMask final : public LAScriterion {
 public:
  ReturnMask(bool keep, uint32_t set)
      : keep_(keep), set_(set), test_{.kind = LASfastTest::kReturns, .drop_set = keep ? ~set : set} {}
  const char* name() const override { return keep_ ? "keep_return_mask" : "drop_return_mask"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(set_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint& p) override { return fast_test_drops(test_, p); }
  LASfastTest fast_test() const override { return test_; }
  bool keep() const { return keep_; }
  uint32_t set() const { return set_; }

 private:
  bool keep_;
  uint32_t set_;
  LASfastTest test_;
};

// Two criteria that drop a point together: both of them (and) or either (or).
class Combination final : public LAScriterion {
 public:
  Combination(std::unique_ptr<LAScriterion> a, std::unique_ptr<LAScriterion> b, bool both)
      : a_(std::move(a)), b_(std::move(b)), both_(both) {}
  const char* name() const override { return both_ ? "filter_and" : "filter_or"; }
  void write_command(CommandWriter& out) const override {
    a_->write_command(out);
    b_->write_command(out);
    out.option(name());
  }
  uint32_t get_decompress_selective() const override {
    return a_->get_decompress_selective() | b_->get_decompress_selective();
  }
  bool filter(const LASpoint& p) override {
    if (both_) return a_->filter(p) && b_->filter(p);
    return a_->filter(p) || b_->filter(p);
  }
  void reset() override {
    a_->reset();
    b_->reset();
  }

 private:
  std::unique_ptr<LAScriterion> a_, b_;
  bool both_;
};

}  // namespace

void print_out_of_range(const char* option, int64_t lo, int64_t hi, int64_t value) {
  print_message("ERROR: '%s' needs arguments between %" PRId64 " and %" PRId64 " but '%" PRId64
                "' is out of range\n",
                option, lo, hi, value);
}

std::unique_ptr<LAScriterion> make_keep_classification_mask(uint32_t keep_set) {
  return std::make_unique<KeepClassificationMask>(keep_set);
}
std::unique_ptr<LAScriterion> make_drop_classification_mask(uint32_t drop_set) {
  return std::make_unique<DropClassificationMask>(drop_set);
}
std::unique_ptr<LAScriterion> make_drop_extended_classification_mask(
    const std::array<uint32_t, 8>& drop_set) {
  return std::make_unique<DropExtendedClassificationMask>(drop_set);
}
std::unique_ptr<LAScriterion> make_keep_return_mask(uint32_t keep_set) {
  return std::make_unique<ReturnMask>(true, keep_set);
}
std::unique_ptr<LAScriterion> make_drop_return_mask(uint32_t drop_set) {
  return std::make_unique<ReturnMask>(false, drop_set);
}
std::unique_ptr<LAScriterion> make_combination(std::unique_ptr<LAScriterion> a,
                                               std::unique_ptr<LAScriterion> b, bool both) {
  return std::make_unique<Combination>(std::move(a), std::move(b), both);
}

MaskKind mask_kind(const LAScriterion& criterion, uint32_t& set) {
  if (const auto* k = dynamic_cast<const KeepClassificationMask*>(&criterion)) {
    set = k->keep_set();
    return MaskKind::kKeepClassification;
  }
  if (const auto* d = dynamic_cast<const DropClassificationMask*>(&criterion)) {
    set = d->drop_set();
    return MaskKind::kDropClassification;
  }
  if (const auto* r = dynamic_cast<const ReturnMask*>(&criterion)) {
    set = r->set();
    return r->keep() ? MaskKind::kKeepReturn : MaskKind::kDropReturn;
  }
  return MaskKind::kNone;
}

}  // namespace filter_detail
