// Fuzz target: the first line is a parse string, every further line a line of point text. The
// parse string is checked against a set of attributes of every data type, then each line parsed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/messages.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/detail/txtlineparser.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MessageCollector quiet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const size_t end = text.find('\n');
  const std::string_view parse = text.substr(0, std::min(end, size_t{64}));
  LASheader header;
  std::vector<LASattribute> attributes(12);
  for (size_t k = 0; k < attributes.size(); k++) {
    attributes[k].data_type = static_cast<uint8_t>(1 + k % 10);
    if (k % 3 == 1) {
      attributes[k].options = 8 | 16;
      attributes[k].scale[0] = 0.01;
      attributes[k].offset[0] = 100;
    }
  }
  header.set_attributes(attributes);
  const int type = text_point_type(parse);
  LASpoint point;
  if (!set_point_type(header, point, static_cast<uint8_t>(type))) return 0;
  TXTvalueAdjustments adjust;
  adjust.translate_intensity = 10.0f;
  adjust.scale_scan_angle = 2.0f;
  TXTlineParser parser;
  if (!parser.compile(parse, type, header, {{2.0, 1.0}}, adjust)) return 0;
  size_t at = end == std::string_view::npos ? size : end + 1;
  double xyz[3];
  while (at < size) {
    size_t next = text.find('\n', at);
    if (next == std::string_view::npos) next = size;
    parser.parse(text.substr(at, next - at), xyz, point);
    at = next + 1;
  }
  parser.reduce_to_coordinates_and_returns();
  parser.parse(text, xyz, point);
  return 0;
}
