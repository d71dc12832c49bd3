#include "filter/lasignore.h"

#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "filter/command_writer.h"
#include "filter/detail/option_args.h"
#include "pointio/laspoint.h"
#include "pointio/laspointstage.h"

using namespace filter_detail;

bool LASignore::parse(int argc, char** argv) {
  static const struct {
    const char* option;
    uint32_t switches;
  } kSwitches[] = {
      {"-ignore_first_of_many", kFirstOfMany},   {"-ignore_last_of_many", kLastOfMany},
      {"-ignore_intermediate", kIntermediate},   {"-ignore_single", kSingle},
      {"-ignore_first", kSingle | kFirstOfMany}, {"-ignore_last", kSingle | kLastOfMany},
      {"-ignore_synthetic", kSynthetic},         {"-ignore_keypoint", kKeypoint},
      {"-ignore_withheld", kWithheld},           {"-ignore_overlap", kOverlap},
  };
  ArgumentCursor w(argc, argv);
  while (w.next()) {
    const char* a = w.option();
    if (std::strncmp(a, "-ignore_", 8) != 0) continue;
    if (!std::strcmp(a, "-ignore_class") || !std::strcmp(a, "-ignore_extended_class")) {
      int k = 1;
      while (starts_with_digit(w, k)) {
        uint32_t c = 0;
        if (!read_u32(w.argument(k), c)) {
          print_message(
              "ERROR: '%s' needs at least 1 argument: classification but '%s' is no valid "
              "classification\n",
              a, w.argument(k));
          return false;
        }
        if (c > 255) {
          print_message("ERROR: '%s' needs arguments between 0 and 255 but '%u' is out of range\n", a, c);
          return false;
        }
        classes_[c >> 5] |= 1u << (c & 31);
        k++;
      }
      if (k == 1) {
        print_message("ERROR: '%s' needs at least 1 argument: classification\n", a);
        return false;
      }
      w.consume(k - 1);
      continue;
    }
    if (!std::strcmp(a, "-ignore_class_mask")) {
      uint32_t m = 0;
      if (!w.has(1) || !read_u32(w.argument(1), m)) {
        print_message("ERROR: '%s' needs 1 argument: mask\n", a);
        return false;
      }
      if (m == 0 || m == 0xFFFFFFFFu) {
        print_message("ERROR: '%s' needs argument between 0x00000000 and 0xFFFFFFFF but %u makes no sense\n",
                      a, m);
        return false;
      }
      classes_[0] = m;
      w.consume(1);
      continue;
    }
    bool known = false;
    for (const auto& s : kSwitches) {
      if (!std::strcmp(a, s.option)) {
        switches_ |= s.switches;
        known = true;
      }
    }
    if (!known) {
      print_message("ERROR: cannot understand argument '%s'\n", a);
      return false;
    }
    w.consume(0);
  }
  return true;
}

bool LASignore::ignore(const LASpoint& p) const {
  const uint32_t c = p.extended_point_type ? p.extended_classification : p.classification;
  if ((classes_[c >> 5] >> (c & 31)) & 1u) return true;
  if (switches_ == 0) return false;
  const uint32_t r = p.return_number, n = p.number_of_returns;
  if ((switches_ & kSingle) && n <= 1) return true;
  if ((switches_ & kFirstOfMany) && n > 1 && r <= 1) return true;
  if ((switches_ & kLastOfMany) && n > 1 && r >= n) return true;
  if ((switches_ & kIntermediate) && 1 < r && r < n) return true;
  if ((switches_ & kSynthetic) && p.synthetic_flag) return true;
  if ((switches_ & kKeypoint) && p.keypoint_flag) return true;
  if ((switches_ & kWithheld) && p.withheld_flag) return true;
  if ((switches_ & kOverlap) && (p.extended_classification_flags & 8)) return true;
  return false;
}

uint32_t LASignore::get_decompress_selective() const {
  uint32_t mask = 0;
  for (uint32_t w : classes_) {
    if (w) mask |= las_fields::kClassification;
  }
  if (switches_ & (kSynthetic | kKeypoint | kWithheld | kOverlap)) mask |= las_fields::kFlags;
  return mask;
}

bool LASignore::is_empty() const {
  return get_decompress_selective() == 0 && switches_ == 0;
}

void LASignore::unparse(std::string& out) const {
  CommandWriter w(out, CommandWriter::kExact);
  bool any_class = false;
  for (uint32_t c = 0; c < 256; c++) {
    if (!((classes_[c >> 5] >> (c & 31)) & 1u)) continue;
    if (!any_class) w.option("ignore_class");
    any_class = true;
    w.value(c);
  }
  static const struct {
    uint32_t bit;
    const char* name;
  } kNames[] = {{kFirstOfMany, "ignore_first_of_many"}, {kLastOfMany, "ignore_last_of_many"},
                {kIntermediate, "ignore_intermediate"}, {kSingle, "ignore_single"},
                {kSynthetic, "ignore_synthetic"},       {kKeypoint, "ignore_keypoint"},
                {kWithheld, "ignore_withheld"},         {kOverlap, "ignore_overlap"}};
  for (const auto& n : kNames) {
    if (switches_ & n.bit) w.option(n.name);
  }
}
