// Fuzz target: arbitrary bytes as the filter, transform and ignore options of a command line. The
// text is parsed as words; what parses is written back, parsed again (it must give the same
// text) and applied to a few points. Texts with '/' are passed over, so the file operations can
// only name files of the working folder, never a device that would not end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "common/messages.h"
#include "filter/lasfilter.h"
#include "filter/lasignore.h"
#include "filter/lastransform.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

namespace {

class Quiet : public MessageSink {
 public:
  void write(std::string_view) override {}
};

// A point of LAS 1.4 type 8 with two extra-bytes attributes, as a reader prepares it.
struct Points {
  Points() {
    LASattribute a;
    a.data_type = 9;  // float
    header.add_attribute(a);
    a.data_type = 3;  // short
    a.options = 8 | 16;
    a.scale[0] = 0.5;
    a.offset[0] = -3;
    header.add_attribute(a);
    std::vector<LASitem> items;
    las_point_format_items(8, 38 + 6, items);
    point.init(&header, items, &header);
  }
  LASheader header;
  LASpoint point;
};

void apply(LASfilter* filter, LAStransform* transform, LASignore* ignore) {
  Points p;
  for (int k = 0; k < 16; k++) {
    p.point.X = k * 1000 - 7000;
    p.point.Y = k * k * 10;
    p.point.Z = 100 * k;
    p.point.intensity = static_cast<uint16_t>(k * 4099);
    p.point.classification = k & 31;
    p.point.extended_classification = static_cast<uint8_t>(k * 17);
    p.point.return_number = k % 5 & 7;
    p.point.number_of_returns = k % 7 & 7;
    p.point.gps_time = k * 0.37;
    p.point.extra_bytes[0] = static_cast<uint8_t>(k);
    if (filter && filter->filter(p.point)) continue;
    if (transform) transform->transform(p.point);
    if (ignore) ignore->ignore(p.point);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('/') != std::string::npos || text.find('\0') != std::string::npos) return 0;
  Quiet quiet;
  ScopedMessageSink guard(quiet);
  LASfilter filter;
  LAStransform transform;
  const bool filter_ok = filter.parse(text);
  const bool transform_ok = transform.parse(text);
  if (filter_ok) {
    std::string once;
    filter.unparse(once);
    LASfilter again;
    if (!again.parse(once)) std::abort();
    std::string twice;
    again.unparse(twice);
    if (twice != once) std::abort();
    filter.get_command();
  }
  if (transform_ok) {
    std::string once;
    transform.unparse(once);
    LAStransform again;
    if (!again.parse(once)) std::abort();
    std::string twice;
    again.unparse(twice);
    if (twice != once) std::abort();
    transform.get_command();
  }
  // A grid finer than memory allows is refused by an exception; the fuzzer does not try to fill one.
  if (filter.get_command().find("-thin_with_grid") != std::string::npos) return 0;
  try {
    apply(filter_ok ? &filter : nullptr, transform_ok ? &transform : nullptr, nullptr);
    filter.reset();
    transform.reset();
    apply(&filter, &transform, nullptr);
  } catch (const std::exception&) {
  }
  std::vector<std::string> words;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find(' ', at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  static char program[] = "";
  std::vector<char*> argv = {program};
  for (std::string& w : words) argv.push_back(w.data());
  LASignore ignore;
  if (ignore.parse(static_cast<int>(argv.size()), argv.data())) apply(nullptr, nullptr, &ignore);
  return 0;
}
