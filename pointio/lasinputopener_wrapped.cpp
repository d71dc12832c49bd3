// Opening the readers that wrap others: a main file buffered with its neighbours, and the stored
// and pipe-on readers around whatever was opened.
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/messages.h"
#include "pointio/lasinputopener.h"
#include "pointio/laskdtreerectangles.h"
#include "pointio/lasreaderbuffered.h"
#include "pointio/lasreaderlas.h"
#include "pointio/lasreaderpipeon.h"
#include "pointio/lasreaderstored.h"
#include "pointio/lasrequantize.h"
#include "pointio/spatialindex.h"

namespace {

// The names of `list` whose rectangles overlap the given one, by a kd-tree when every entry
// knows its rectangle, else all of them.
template <class List>
std::vector<size_t> overlapping(const List& list, double min_x, double min_y, double max_x, double max_y) {
  std::vector<size_t> found;
  bool extents = !list.empty();
  for (const auto& f : list) extents = extents && f.info.has_extent;
  if (!extents) {
    for (size_t i = 0; i < list.size(); i++) found.push_back(i);
    return found;
  }
  LASkdtreeRectangles tree;
  tree.init();
  for (const auto& f : list) tree.add(f.info.min_x, f.info.min_y, f.info.max_x, f.info.max_y);
  tree.build();
  tree.overlap(min_x, min_y, max_x, max_y);
  uint32_t index = 0;
  while (tree.get_overlap(index)) found.push_back(index);
  return found;
}

// Whether two names reach the same file, however they are spelled.
bool same_file(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

// The source of one file for a buffered reader, of whatever kind its name says: the main file
// with the user's requantization, a neighbour in the main file's quantization. LAS files come
// with their spatial index, so a neighbour is read only around the main file.
std::unique_ptr<LASreader> LASinputOpener::open_buffered_source(const std::string& name,
                                                                const LASquantizer* quantization) const {
  const char* kind = las_kind_of(name);
  if (std::strcmp(kind, "las") != 0) return open_other_source(kind, name, quantization, true);
  auto reader = std::make_unique<LASreaderLAS>();
  if (quantization) {
    const LASquantizer& q = *quantization;
    reader->set_stage(LASreader::STAGE_REQUANTIZE,
                      std::make_unique<LASrequantizeStage>(LASrequantizeStage::Request{
                          std::array<double, 3>{q.x_scale_factor, q.y_scale_factor, q.z_scale_factor},
                          std::array<double, 3>{q.x_offset, q.y_offset, q.z_offset}, false}));
  } else if (scale_factor_ || offset_ || auto_reoffset_) {
    reader->set_stage(LASreader::STAGE_REQUANTIZE,
                      std::make_unique<LASrequantizeStage>(
                          LASrequantizeStage::Request{scale_factor_, offset_, auto_reoffset_ && !offset_}));
  }
  if (!reader->open(name.c_str(), io_ibuffer_size_, false, fields_to_decode())) return nullptr;
  auto index = std::make_unique<LASspatialIndex>();
  if (index->read(name)) reader->set_index(std::move(index));
  return reader;
}

std::unique_ptr<LASreader> LASinputOpener::open_buffered() {
  const size_t current = file_name_current_++;
  const FileName& main = file_names_[current];
  file_name_ = main.name;
  auto buffered = std::make_unique<LASreaderBuffered>();
  buffered->set_source_opener([this](const std::string& name, const LASquantizer* quantization) {
    return open_buffered_source(name, quantization);
  });
  buffered->set_buffer_size(buffer_size_);
  bool ok = buffered->set_file_name(main.name);
  // Neighbours overlap the main file's rectangle grown by the buffer. A file list may give the
  // rectangle; otherwise the main file's header does.
  LASfileListEntry m = main.info;
  if (!m.has_extent) {
    LASreaderLAS peek;
    if (std::strcmp(las_kind_of(main.name), "las") == 0 && peek.open(main.name.c_str(), 512, true)) {
      m.min_x = peek.header.min_x, m.min_y = peek.header.min_y;
      m.max_x = peek.header.max_x, m.max_y = peek.header.max_y;
      m.has_extent = true;
    }
  }
  const double b = buffer_size_;
  const auto pick = [&](const auto& list) {
    if (m.has_extent) return overlapping(list, m.min_x - b, m.min_y - b, m.max_x + b, m.max_y + b);
    std::vector<size_t> all(list.size());
    for (size_t i = 0; i < all.size(); i++) all[i] = i;
    return all;
  };
  for (size_t i : pick(file_names_)) {
    if (i != current) ok = ok && buffered->add_neighbor_file_name(file_names_[i].name);
  }
  // A neighbour list shared by the runs of every tile (as a multi-process run writes it) names
  // each main file too; reading that file again would double its points within the buffer.
  for (size_t i : pick(neighbor_file_names_)) {
    if (!same_file(neighbor_file_names_[i].name, main.name))
      ok = ok && buffered->add_neighbor_file_name(neighbor_file_names_[i].name);
  }
  set_point_stages_on(*buffered);
  if (!ok || !buffered->open()) {
    print_message("ERROR: cannot open lasreaderbuffered with %d file names\n",
                  static_cast<int>(1 + neighbor_file_names_.size() + file_names_.size() - 1));
    return nullptr;
  }
  number_flight_line(*buffered);
  apply_area(*buffered, true);
  return buffered;
}

// The stored reader keeps what the first pass delivered; the pipe-on reader passes it on.
std::unique_ptr<LASreader> LASinputOpener::wrap(std::unique_ptr<LASreader> reader, const char* kind) {
  if (!reader) return nullptr;
  if (stored_) {
    auto stored = std::make_unique<LASreaderStored>();
    if (!stored->open(std::move(reader))) {
      print_message("ERROR: could not open lasreaderstored with lasreader%s\n", kind);
      return nullptr;
    }
    reader = std::move(stored);
  }
  if (pipe_on_) {
    auto pipe = std::make_unique<LASreaderPipeOn>();
    if (!pipe->open(std::move(reader))) {
      print_message("ERROR: cannot open lasreaderpipeon with lasreader%s\n", kind);
      return nullptr;
    }
    reader = std::move(pipe);
  }
  return reader;
}

// Answers whether `reader` was one of the wrapping kinds (then the answer is in `ok`).
bool LASinputOpener::reopen_wrapped(std::unique_ptr<LASreader>& reader, bool remain_buffered, bool& ok) {
  if (auto* pipe = dynamic_cast<LASreaderPipeOn*>(reader.get())) {
    pipe->rewind();
    ok = reopen(pipe->wrapped(), remain_buffered);
    return true;
  }
  if (auto* stored = dynamic_cast<LASreaderStored*>(reader.get())) {
    ok = stored->reopen();
    if (!ok) print_message_text("ERROR: could not reopen lasreaderstored for stored input\n");
    return true;
  }
  if (auto* buffered = dynamic_cast<LASreaderBuffered*>(reader.get())) {
    ok = buffered->reopen();
    if (!ok) {
      print_message_text("ERROR: cannot reopen lasreaderbuffered\n");
      return true;
    }
    if (!remain_buffered) buffered->remove_buffer();
    buffered->inside_none();
    apply_area(*buffered, true);
    return true;
  }
  return false;
}
