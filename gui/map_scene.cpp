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

PointSampler::PointSampler(const std::vector<std::string>& names, int64_t limit,
                           std::vector<std::string>& warnings) {
  MessageCollector messages;
  opener_ = opener_for(names, messages);
  const int64_t files = std::max<int64_t>(1, opener_->file_name_number());
  share_ = std::max<int64_t>(1, limit / files);
  sample_.xyz.reserve(static_cast<size_t>(std::min<int64_t>(limit, 1 << 20)) * 3);
  add_as_warnings(messages.text(), warnings);
}

PointSampler::~PointSampler() {
  if (reader_) reader_->close();
}

bool PointSampler::open_next() {
  while (opener_->active()) {
    reader_ = opener_->open();
    if (!reader_) continue;
    const int64_t count = std::max<int64_t>(1, reader_->get_npoints());
    // Every step-th point: the share spread over the whole file rather than its first scan lines.
    step_ = std::max<int64_t>(1, (count + share_ - 1) / share_);
    index_ = taken_ = 0;
    return true;
  }
  return false;
}

bool PointSampler::advance(int64_t budget, std::vector<std::string>& warnings) {
  MessageCollector messages;
  bool more = true;
  for (int64_t read = 0; read < budget;) {
    if (!reader_ && !open_next()) {
      more = false;
      break;
    }
    if (taken_ >= share_ || !reader_->read_point()) {
      reader_->close();
      reader_.reset();
      continue;
    }
    read++;
    if (index_++ % step_ != 0) continue;
    const LASpoint& p = reader_->point;
    const double z = p.get_z();
    const bool first = sample_.xyz.empty();
    sample_.xyz.insert(sample_.xyz.end(), {p.get_x(), p.get_y(), z});
    sample_.min_z = first ? z : std::min(sample_.min_z, z);
    sample_.max_z = first ? z : std::max(sample_.max_z, z);
    taken_++;
  }
  add_as_warnings(messages.text(), warnings);
  return more;
}

MapSample read_point_sample(const std::vector<std::string>& names, int64_t limit,
                            std::vector<std::string>& warnings) {
  PointSampler sampler(names, limit, warnings);
  while (sampler.advance(1 << 20, warnings)) {
  }
  return sampler.take();
}
