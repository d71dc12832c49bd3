#include "pointio/spatialindex.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "common/messages.h"
#include "pointio/bytestreamin.h"
#include "pointio/bytestreamout.h"
#include "pointio/lasreader.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

float float_below(double v) {
  float f = static_cast<float>(v);
  while (double(f) > v) f = std::nextafter(f, -INFINITY);
  return f;
}

float float_above(double v) {
  float f = static_cast<float>(v);
  while (double(f) < v) f = std::nextafter(f, INFINITY);
  return f;
}

}  // namespace

std::string lax_file_name(std::string_view point_file_name) {
  std::string name(point_file_name);
  if (name.find(".las") != std::string::npos || name.find(".rkp") != std::string::npos) {
    name.back() = 'x';
  } else if (name.find(".LAS") != std::string::npos || name.find(".RKP") != std::string::npos) {
    name.back() = 'X';
  } else if (name.size() >= 3) {
    name.replace(name.size() - 3, 3, "lax");
  } else {
    name = "lax";
  }
  return name;
}

LASspatialIndex::LASspatialIndex() = default;

void LASspatialIndex::prepare(double min_x, double min_y, double max_x, double max_y, uint64_t npoints) {
  uint32_t levels = 0;
  while (levels < 12 && (npoints >> (2 * (levels + 1))) >= 250) levels++;
  // The root must hold every point, whatever the rounding to single precision.
  quadtree_.setup(levels, float_below(min_x), float_above(max_x), float_below(min_y), float_above(max_y));
  interval_ = LASinterval();
  have_run_ = false;
}

void LASspatialIndex::add(double x, double y, uint32_t p_index) {
  interval_.add(p_index, quadtree_.cell_at(x, y));
}

void LASspatialIndex::complete(uint32_t minimum_points, uint32_t merge_gap) {
  auto& cells = interval_.cells();
  // Bottom up: four siblings that are all leaves and together hold few points become their parent.
  std::unordered_map<uint32_t, bool> parent_keeps_children;
  for (uint32_t level = quadtree_.levels; level > 0; level--) {
    const uint32_t first = LASquadtree::level_offset(level), parents = LASquadtree::level_offset(level - 1);
    std::map<uint32_t, std::vector<uint32_t>> siblings;  // parent local index -> children
    for (const auto& [index, cell] : cells) {
      if (index >= first && index < LASquadtree::level_offset(level + 1))
        siblings[(index - first) >> 2].push_back(index);
    }
    std::unordered_map<uint32_t, bool> next_keeps;
    for (auto& [parent, children] : siblings) {
      uint64_t full = 0;
      for (uint32_t child : children) full += cells[child].full;
      // A child that is subdivided further is no stored cell; it keeps its siblings apart.
      bool deeper = false;
      for (uint32_t k = 0; k < 4; k++) deeper = deeper || parent_keeps_children.count(4 * parent + k) != 0;
      if (deeper || full >= minimum_points) {
        next_keeps[parent] = true;
        continue;
      }
      LASinterval::Cell merged;
      for (uint32_t child : children) {
        LASinterval::Cell& c = cells[child];
        merged.full += c.full;
        merged.runs.insert(merged.runs.end(), c.runs.begin(), c.runs.end());
        cells.erase(child);
      }
      cells[parents + parent] = std::move(merged);
    }
    // A parent whose children are all subdivided holds no stored child, yet it is subdivided too:
    // its own parent must not become a stored cell above the stored cells below it.
    for (const auto& [child, keeps] : parent_keeps_children) next_keeps[child >> 2] = true;
    parent_keeps_children = std::move(next_keeps);
  }
  for (auto& [index, cell] : cells) {
    std::sort(cell.runs.begin(), cell.runs.end(),
              [](const LASinterval::Run& a, const LASinterval::Run& b) { return a.start < b.start; });
    size_t out = 0;
    for (size_t i = 1; i < cell.runs.size(); i++) {
      if (cell.runs[i].start <= cell.runs[out].end ||
          cell.runs[i].start - cell.runs[out].end - 1 <= merge_gap) {
        cell.runs[out].end = std::max(cell.runs[out].end, cell.runs[i].end);
      } else {
        cell.runs[++out] = cell.runs[i];
      }
    }
    if (!cell.runs.empty()) cell.runs.resize(out + 1);
    uint64_t total = 0;
    for (const auto& run : cell.runs) total += uint64_t{run.end} - run.start + 1;
    cell.total = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
  }
  quadtree_.clear_adaptive();
  for (const auto& [index, cell] : cells) quadtree_.register_cell(index);
}

bool LASspatialIndex::read(const std::string& point_file_name) {
  const std::string name = lax_file_name(point_file_name);
  std::unique_ptr<FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
  if (!file) return false;
  ByteStreamInFile stream(file.get());
  if (!read(stream)) {
    print_message("ERROR (LASspatialIndex): cannot read '%s'\n", name.c_str());
    return false;
  }
  return true;
}

bool LASspatialIndex::read(ByteStreamIn& stream) {
  quadtree_.setup(0, 0, 0, 0, 0);
  interval_ = LASinterval();
  have_run_ = false;
  char signature[4];
  uint32_t version = 0;
  if (!try_get_value(stream, signature)) {
    print_message_text("ERROR (LASspatialIndex): reading signature\n");
    return false;
  }
  if (std::memcmp(signature, "LASX", 4) != 0) {
    print_message("ERROR (LASspatialIndex): wrong signature %.4s instead of 'LASX'\n", signature);
    return false;
  }
  if (!try_get_value(stream, version)) {
    print_message_text("ERROR (LASspatialIndex): reading version\n");
    return false;
  }
  if (!quadtree_.read(stream)) {
    print_message_text("ERROR (LASspatialIndex): cannot read LASspatial (LASquadtree)\n");
    return false;
  }
  if (!interval_.read(stream, quadtree_)) {
    print_message_text("ERROR (LASspatialIndex): reading LASinterval\n");
    interval_ = LASinterval();
    return false;
  }
  // An index without cells still answers from its own cells only: none.
  quadtree_.clear_adaptive();
  for (const auto& [index, cell] : interval_.cells()) quadtree_.register_cell(index);
  if (interval_.cells().empty()) quadtree_.register_cell(0);
  return true;
}

bool LASspatialIndex::write(ByteStreamOut& stream) const {
  const uint32_t version = 0;
  uint8_t v[4];
  std::memcpy(v, &version, 4);
  return stream.put_bytes(reinterpret_cast<const uint8_t*>("LASX"), 4) && stream.put_bytes(v, 4) &&
         quadtree_.write(stream) && interval_.write(stream);
}

bool LASspatialIndex::write(const std::string& point_file_name) const {
  const std::string name = lax_file_name(point_file_name);
  FILE* file = std::fopen(name.c_str(), "wb");
  if (!file) {
    print_message("ERROR (LASspatialIndex): cannot open '%s' for write\n", name.c_str());
    return false;
  }
  ByteStreamOutFile stream(file);
  const bool written = write(stream);
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    print_message("ERROR (LASspatialIndex): cannot write '%s'\n", name.c_str());
    std::remove(name.c_str());
    return false;
  }
  return true;
}

bool LASspatialIndex::merge(const std::vector<uint32_t>& cells) {
  have_run_ = false;
  full_ = total_ = 0;
  handed_out_ = -1;
  if (cells.empty() || !interval_.merge_cells(cells)) return false;
  full_ = interval_.get_full();
  total_ = interval_.get_total();
  return true;
}

bool LASspatialIndex::intersect_rectangle(double min_x, double min_y, double max_x, double max_y) {
  return merge(quadtree_.intersect_rectangle(min_x, min_y, max_x, max_y));
}

bool LASspatialIndex::intersect_tile(float ll_x, float ll_y, float size) {
  return merge(quadtree_.intersect_tile(ll_x, ll_y, size));
}

bool LASspatialIndex::intersect_circle(double center_x, double center_y, double radius) {
  return merge(quadtree_.intersect_circle(center_x, center_y, radius));
}

// Runs taken from the file may start past its last point or claim points it does not have: a run
// the reader cannot seek to is skipped, and the reader's own end stops a run that is too long.
bool LASspatialIndex::seek_next(LASreader& reader) {
  // A read that failed inside a run (the file ended, a chunk was damaged) abandons the run.
  if (have_run_ && (reader.get_p_count() == handed_out_ || reader.get_p_count() > int64_t{end_}))
    have_run_ = false;
  while (!have_run_) {
    if (!interval_.next_run(start_, end_)) return false;
    if (reader.seek(start_)) have_run_ = true;
  }
  handed_out_ = reader.get_p_count();
  if (int64_t{end_} == handed_out_) have_run_ = false;
  return true;
}
