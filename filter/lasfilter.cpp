#include "filter/lasfilter.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/messages.h"
#include "filter/detail/criteria.h"
#include "filter/detail/option_args.h"

using namespace filter_detail;

namespace {

// The options that have a table entry, by their word.
const std::unordered_map<std::string_view, const CriterionOption*>& option_table() {
  static const auto table =
      index_options<CriterionOption>({coordinate_criterion_options(), return_criterion_options(),
                                      value_criterion_options(), sampling_criterion_options()});
  return table;
}

bool starts_with(const char* word, const char* prefix) {
  return std::strncmp(word, prefix, std::strlen(prefix)) == 0;
}

// Words of the filter families; anything else belongs to other parsers.
bool is_filter_word(const char* a) {
  return starts_with(a, "-keep_") || starts_with(a, "-drop_") || starts_with(a, "-thin_") ||
         starts_with(a, "-filter_") || !std::strcmp(a, "-first_only") || !std::strcmp(a, "-last_only");
}

void print_clip_renamed(const char* a) {
  print_message("ERROR: '%s' is no longer recognized. check documentation with '-h'.\n", a);
  static const char* const lines[] = {"  rename '-clip' to '-keep_xy'.\n",
                                      "  rename '-clip_box' to '-keep_xyz'.\n",
                                      "  rename '-clip_tile' to '-keep_tile'.\n",
                                      "  rename '-clip_z_below' to '-drop_z_below'.\n",
                                      "  rename '-clip_z_above' to '-drop_z_above'.\n",
                                      "  rename '-clip_z_between' to '-drop_z'.\n",
                                      "  etc ...\n"};
  for (const char* line : lines) print_message_text(line);
}

using ClassSet = std::array<uint32_t, 8>;  // 256 classes, word w holds 32w to 32w + 31

bool is_empty(const ClassSet& s) {
  for (uint32_t w : s) {
    if (w) return false;
  }
  return true;
}

// What one call of parse gathers before it can make its criteria.
struct ParseState {
  ClassSet keep_extended{};  // K
  ClassSet drop_extended{};  // D
  bool keep_class_used = false;
};

enum class Outcome { kNotMine, kDone, kFailed };

// Reads the list of numbers after an option: the words that start with a digit. Each must read as
// an unsigned number no larger than `limit`. The messages name the option's argument.
struct ListRules {
  const char* argument;              // "classification"
  uint32_t limit;                    // the largest value
  const char* too_large;             // printf format with the value (and the limit), or none
  bool too_large_with_limit;         // the format also prints the limit
  const char* unreadable = nullptr;  // message format for a further word that does not read
};

bool read_list(const ArgumentCursor& w, const ListRules& rules, std::vector<uint32_t>& values) {
  int k = 1;
  while (starts_with_digit(w, k)) {
    uint32_t v = 0;
    if (!read_u32(w.argument(k), v)) {
      if (rules.unreadable && k > 1)
        print_message(rules.unreadable, w.argument(k));
      else
        print_message("ERROR: '%s' needs at least 1 argument: %s but '%s' is no valid %s\n", w.option(),
                      rules.argument, w.argument(k), rules.argument);
      return false;
    }
    if (v > rules.limit) {
      if (!rules.too_large)
        print_out_of_range(w.option(), 0, rules.limit, v);
      else if (rules.too_large_with_limit)
        print_message(rules.too_large, v, rules.limit);
      else
        print_message(rules.too_large, v);
      return false;
    }
    values.push_back(v);
    k++;
  }
  if (values.empty()) {
    print_message("ERROR: '%s' needs at least 1 argument: %s\n", w.option(), rules.argument);
    return false;
  }
  return true;
}

// Handles the options whose arguments are lists or sets, and the combinations, consuming their
// words.
Outcome parse_special(LASfilter& f, ParseState& st, ArgumentCursor& w) {
  const char* a = w.option();
  std::vector<uint32_t> values;
  const auto done = [&](int consumed) {
    w.consume(consumed);
    return Outcome::kDone;
  };
  if (!std::strcmp(a, "-keep_class") || !std::strcmp(a, "-keep_classification") ||
      !std::strcmp(a, "-drop_class") || !std::strcmp(a, "-drop_classification")) {
    const bool keep = a[1] == 'k';
    const ListRules rules{
        "classification", 31,
        keep ? nullptr : "ERROR: cannot drop classification %u because it is larger than 31\n", false};
    if (!read_list(w, rules, values)) return Outcome::kFailed;
    uint32_t set = 0;
    for (uint32_t c : values) set |= 1u << c;
    uint32_t previous = 0;
    const MaskKind same = keep ? MaskKind::kKeepClassification : MaskKind::kDropClassification;
    if (f.number_of_criteria() && mask_kind(f.criterion(f.number_of_criteria() - 1), previous) == same) {
      f.remove_last_criterion();
      set |= previous;
    }
    f.add_criterion(keep ? make_keep_classification_mask(set) : make_drop_classification_mask(set));
    if (keep) st.keep_class_used = true;
    return done(static_cast<int>(values.size()));
  }
  if (!std::strcmp(a, "-keep_classification_mask") || !std::strcmp(a, "-drop_classification_mask")) {
    ArgValues v;
    if (!read_args(w, "classification_mask", "u", v)) return Outcome::kFailed;
    f.add_criterion(a[1] == 'k' ? make_keep_classification_mask(v.u32[0])
                                : make_drop_classification_mask(v.u32[0]));
    return done(1);
  }
  if (!std::strcmp(a, "-keep_extended_class") || !std::strcmp(a, "-keep_extended_classification") ||
      !std::strcmp(a, "-drop_extended_class") || !std::strcmp(a, "-drop_extended_classification")) {
    const bool keep = a[1] == 'k';
    const ListRules rules{
        "extended_classification", 255,
        keep ? "ERROR: cannot keep extended classification %u because it is larger than 255\n"
             : "ERROR: cannot drop extended classification %u because it is larger than 255\n",
        false};
    if (!read_list(w, rules, values)) return Outcome::kFailed;
    ClassSet& set = keep ? st.keep_extended : st.drop_extended;
    for (uint32_t c : values) set[c >> 5] |= 1u << (c & 31);
    return done(static_cast<int>(values.size()));
  }
  if (!std::strcmp(a, "-drop_extended_classification_mask")) {
    static const char* const names[] = {"mask7", "mask6", "mask5", "mask4",
                                        "mask3", "mask2", "mask1", "mask0"};
    if (!w.has(8)) {
      print_message("ERROR: '%s' needs 8 arguments: mask7 mask6 mask5 mask4 mask3 mask2 mask1 mask0\n", a);
      return Outcome::kFailed;
    }
    ClassSet set{};
    for (int k = 0; k < 8; k++) {
      if (!read_u32(w.argument(k + 1), set[static_cast<size_t>(7 - k)])) {
        print_message("ERROR: '%s' needs 8 arguments: mask7 mask6 mask5 mask4 mask3 mask2 mask1 mask0\n", a);
        print_message("       but '%s' is a bad argument for %s\n", w.argument(k + 1), names[k]);
        return Outcome::kFailed;
      }
    }
    st.drop_extended = set;
    return done(8);
  }
  if (!std::strcmp(a, "-keep_return") || !std::strcmp(a, "-drop_return")) {
    const bool keep = a[1] == 'k';
    const ListRules rules{"return_number", 15,
                          keep ? "ERROR: cannot keep return_number %u because it is larger than 15\n"
                               : "ERROR: cannot drop return_number %u because it is larger than 15\n",
                          false};
    if (!read_list(w, rules, values)) return Outcome::kFailed;
    uint32_t set = 0;
    for (uint32_t r : values) set |= 1u << r;
    uint32_t previous = 0;
    const MaskKind same = keep ? MaskKind::kKeepReturn : MaskKind::kDropReturn;
    if (f.number_of_criteria() && mask_kind(f.criterion(f.number_of_criteria() - 1), previous) == same) {
      f.remove_last_criterion();
      set |= previous;
    }
    f.add_criterion(keep ? make_keep_return_mask(set) : make_drop_return_mask(set));
    return done(static_cast<int>(values.size()));
  }
  if (!std::strcmp(a, "-drop_user_data")) {
    const ListRules rules{"value", 255, "ERROR: cannot drop user data %u because it is larger than 255\n",
                          false};
    if (!read_list(w, rules, values)) return Outcome::kFailed;
    for (uint32_t v : values) f.add_criterion(make_drop_user_data(v));
    return done(static_cast<int>(values.size()));
  }
  if (!std::strcmp(a, "-drop_point_source")) {
    const ListRules rules{"ID", 65535, "ERROR: cannot drop_point_source ID %u because it is larger than %u\n",
                          true};
    if (!read_list(w, rules, values)) return Outcome::kFailed;
    for (uint32_t v : values) f.add_criterion(make_drop_point_source(v));
    return done(static_cast<int>(values.size()));
  }
  if (!std::strcmp(a, "-keep_point_source")) {
    const ListRules rules{"ID", 65535, nullptr, false,
                          "ERROR: '-keep_point_source' takes one or more IDs but '%s' is no valid ID\n"};
    if (!read_list(w, rules, values)) return Outcome::kFailed;
    f.add_criterion(make_keep_point_source(values[0]));
    for (size_t k = 1; k < values.size(); k++) {
      // A point is kept when its source is any of the IDs: only a point every test drops goes.
      std::unique_ptr<LAScriterion> earlier = f.remove_last_criterion();
      f.add_criterion(make_combination(std::move(earlier), make_keep_point_source(values[k]), true));
    }
    return done(static_cast<int>(values.size()));
  }
  if (!std::strcmp(a, "-keep_random_fraction")) {
    ArgValues v;
    if (!read_args(w, "fraction", "f", v)) return Outcome::kFailed;
    uint32_t seed = 0;
    const bool seeded = starts_with_digit(w, 2) && read_u32(w.argument(2), seed);
    f.add_criterion(make_keep_random_fraction(v.f32[0], seed, seeded));
    return done(seeded ? 2 : 1);
  }
  if (!std::strcmp(a, "-filter_and") || !std::strcmp(a, "-filter_or")) {
    if (f.number_of_criteria() < 2) {
      print_message("ERROR: '%s' needs to be preceeded by at least two filters\n", a);
      return Outcome::kFailed;
    }
    std::unique_ptr<LAScriterion> later = f.remove_last_criterion();
    std::unique_ptr<LAScriterion> earlier = f.remove_last_criterion();
    f.add_criterion(make_combination(std::move(earlier), std::move(later), a[8] == 'a'));
    return done(0);
  }
  return Outcome::kNotMine;
}

// Turns the extended classes gathered by one parse into its criterion.
bool finish_extended_classes(LASfilter& f, ParseState& st) {
  if (!is_empty(st.keep_extended) && !is_empty(st.drop_extended)) {
    print_message("ERROR: cannot use '-drop_extended_class' and '-keep_extended_class' simultaneously\n");
    return false;
  }
  if (!is_empty(st.keep_extended)) {
    for (size_t k = 0; k < 8; k++) st.drop_extended[k] = ~st.keep_extended[k];
  }
  if (is_empty(st.drop_extended)) return true;
  if (st.keep_class_used) {
    print_message("WARNING: cannot combine '-keep_class' together with '-keep_extended_class'. use\n");
    print_message("         exclusively 'extended' filters for filtering points with classes above 31\n");
    return true;
  }
  f.add_criterion(make_drop_extended_classification_mask(st.drop_extended));
  return true;
}

}  // namespace

LASfilter::LASfilter() = default;
LASfilter::~LASfilter() = default;

bool LASfilter::parse(int argc, char** argv) {
  ParseState st;
  ArgumentCursor args(argc, argv);
  while (args.next()) {
    const char* a = args.option();
    if (!std::strcmp(a, "-h") || !std::strcmp(a, "-help")) {
      usage();
      return true;
    }
    if (starts_with(a, "-clip_")) {
      print_clip_renamed(a);
      return false;
    }
    if (!is_filter_word(a)) continue;
    const Outcome special = parse_special(*this, st, args);
    if (special == Outcome::kFailed) return false;
    if (special == Outcome::kDone) continue;
    const auto found = option_table().find(a);
    if (found == option_table().end()) continue;  // a word of the same family that another parser knows
    const CriterionOption& option = *found->second;
    ArgValues values;
    if (!read_args(args, option.names, option.types, values)) return false;
    std::unique_ptr<LAScriterion> criterion = option.make(values);
    if (!criterion) return false;
    add_criterion(std::move(criterion));
    args.consume(static_cast<int>(std::strlen(option.types)));
  }
  return finish_extended_classes(*this, st);
}

bool LASfilter::parse(std::string_view text) {
  return parse_text(text, [this](int argc, char** argv) { return parse(argc, argv); });
}

std::string LASfilter::get_command() const {
  std::string s;
  CommandWriter out(s, CommandWriter::kListing);
  for (const auto& c : criteria_) c->write_command(out);
  return s;
}

void LASfilter::unparse(std::string& out) const {
  CommandWriter writer(out, CommandWriter::kExact);
  for (const auto& c : criteria_) c->write_command(writer);
}

uint32_t LASfilter::get_decompress_selective() const {
  uint32_t mask = 0;
  for (const auto& c : criteria_) mask |= c->get_decompress_selective();
  return mask;
}

void LASfilter::reset() {
  for (auto& c : criteria_) c->reset();
}

void LASfilter::add_criterion(std::unique_ptr<LAScriterion> criterion) {
  steps_.push_back({criterion.get(), criterion->fast_test(), 0});
  criteria_.push_back(std::move(criterion));
  tabulate_leading_tests();
}

std::unique_ptr<LAScriterion> LASfilter::remove_last_criterion() {
  if (criteria_.empty()) return nullptr;
  std::unique_ptr<LAScriterion> last = std::move(criteria_.back());
  criteria_.pop_back();
  steps_.pop_back();
  if (steps_.size() < kMaxTableCriteria) table_drops_[steps_.size()] = 0;  // a new one starts at 0
  tabulate_leading_tests();
  return last;
}

void LASfilter::clean() {
  criteria_.clear();
  steps_.clear();
  table_drops_.fill(0);
  tabulate_leading_tests();
}

bool LASfilter::filter_from(size_t first, const LASpoint& point) {
  for (size_t i = first; i < steps_.size(); i++) {
    Step& step = steps_[i];
    const bool drops = step.test.kind != LASfastTest::kNone ? fast_test_drops(step.test, point)
                                                            : step.criterion->filter(point);
    if (drops) {
      step.drops++;
      return true;
    }
  }
  return false;
}

void LASfilter::tabulate_leading_tests() {
  size_t leading = 0;
  while (leading < steps_.size() && leading < kMaxTableCriteria &&
         steps_[leading].test.kind != LASfastTest::kNone)
    leading++;
  table_criteria_ = leading;
  first_drop_.fill(0);
  if (leading == 0) return;
  // One point for every combination of the fields the key holds stands for all points with its
  // key; the key is taken from the point, so the table agrees with LASdropTable::key by construction.
  for (uint32_t combination = 0; combination < LASdropTable::kKeys; combination++) {
    LASpointFields p;
    p.classification = combination & 31;
    p.synthetic_flag = (combination >> 5) & 1;
    p.keypoint_flag = (combination >> 6) & 1;
    p.withheld_flag = (combination >> 7) & 1;
    p.return_number = (combination >> 8) & 7;
    p.extended_point_type = (combination >> 11) & 1;
    p.extended_classification = (combination >> 11) & 1 ? 255 : 0;
    for (size_t i = 0; i < leading; i++) {
      if (fast_test_drops(steps_[i].test, p)) {
        first_drop_[LASdropTable::key(p)] = static_cast<uint8_t>(i + 1);
        break;
      }
    }
  }
}
