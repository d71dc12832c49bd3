#include "gui/map_scene.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "app/breakline_reader.h"
#include "common/messages.h"
#include "gui/command_builder.h"
#include "pointio/lasinputopener.h"
#include "pointio/lasreader.h"

namespace {

// The readers report through the message sink as a run would, with "ERROR:" lines. In the preview
// nothing fails, so each line becomes a warning of the window's log.
void add_as_warnings(const std::string& text, std::vector<std::string>& warnings) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    for (std::string_view prefix : {"ERROR: ", "WARNING: "}) {
      if (line.substr(0, prefix.size()) == prefix) {
        line.remove_prefix(prefix.size());
        break;
      }
    }
    warnings.push_back("WARNING: " + std::string(line));
  }
}

// An input opener for the names, with its messages collected; the caller opens its readers.
std::unique_ptr<LASinputOpener> opener_for(const std::vector<std::string>& names,
                                           MessageCollector& messages) {
  auto opener = std::make_unique<LASinputOpener>();
  for (const std::string& name : names) {
    if (!opener->add_file_name(name, true) && messages.text().empty())
      print_message("ERROR: no file matches '%s'\n", name.c_str());
  }
  return opener;
}

}  // namespace

std::vector<MapBox> read_file_boxes(const std::vector<std::string>& names,
                                    std::vector<std::string>& warnings) {
  std::vector<MapBox> boxes;
  MessageCollector messages;
  std::unique_ptr<LASinputOpener> opener = opener_for(names, messages);
  while (opener->active()) {
    std::unique_ptr<LASreader> reader = opener->open();
    if (!reader) continue;
    const LASheader& h = reader->header;
    boxes.push_back({h.min_x, h.min_y, h.max_x, h.max_y});
    reader->close();
  }
  add_as_warnings(messages.text(), warnings);
  return boxes;
}

std::vector<MapPolyline> read_breaklines(const std::string& file_name, const char* which,
                                         std::vector<std::string>& warnings) {
  std::vector<MapPolyline> lines;
  if (!has_breakline_extension(file_name)) {
    warnings.push_back("WARNING: " + std::string(which) + " breakline file '" + file_name +
                       "' has unknown extension ...");
    return lines;
  }
  MessageCollector messages;
  bool unknown_format = false;
  const char* kind = std::string_view(which) == "closed" ? "lakes" : "creeks";
  std::unique_ptr<BreaklineReader> reader = open_breakline_reader(file_name, kind, unknown_format);
  if (reader) {
    while (reader->read_point()) {
      if (reader->first || lines.empty()) lines.emplace_back();
      lines.back().points.push_back({reader->x, reader->y});
    }
    reader->close();
  }
  add_as_warnings(messages.text(), warnings);
  return lines;
}

MapSample read_point_sample(const std::vector<std::string>& names, int64_t limit,
                            std::vector<std::string>& warnings) {
  MapSample sample;
  MessageCollector messages;
  std::unique_ptr<LASinputOpener> opener = opener_for(names, messages);
  const int64_t files = std::max<int64_t>(1, opener->file_name_number());
  const int64_t share = std::max<int64_t>(1, limit / files);
  sample.xyz.reserve(static_cast<size_t>(std::min<int64_t>(limit, 1 << 20)) * 3);
  bool first = true;
  while (opener->active()) {
    std::unique_ptr<LASreader> reader = opener->open();
    if (!reader) continue;
    const int64_t count = std::max<int64_t>(1, reader->get_npoints());
    // Every step-th point: the share spread over the whole file rather than its first scan lines.
    const int64_t step = std::max<int64_t>(1, (count + share - 1) / share);
    int64_t index = 0, taken = 0;
    while (taken < share && reader->read_point()) {
      if (index++ % step != 0) continue;
      const LASpoint& p = reader->point;
      const double z = p.get_z();
      sample.xyz.insert(sample.xyz.end(), {p.get_x(), p.get_y(), z});
      sample.min_z = first ? z : std::min(sample.min_z, z);
      sample.max_z = first ? z : std::max(sample.max_z, z);
      first = false;
      taken++;
    }
    reader->close();
  }
  add_as_warnings(messages.text(), warnings);
  return sample;
}
