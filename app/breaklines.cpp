#include "app/breaklines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "app/contour_steps.h"
#include "common/messages.h"
#include "contour/terrain.h"
#include "tin/ctin.h"
#include "tin/spatial_sort.h"

namespace {

// Opens a breakline file; the usage text follows a name of unknown kind.
std::unique_ptr<BreaklineReader> open_file(const std::string& name, const char* kind) {
  bool unknown_format = false;
  std::unique_ptr<BreaklineReader> reader = open_breakline_reader(name, kind, unknown_format);
  if (!reader && unknown_format) print_usage_and_wait();
  return reader;
}

bool reopen(BreaklineReader& reader, const std::string& name) {
  if (reader.reopen()) return true;
  if (!reader.failed()) print_message("ERROR: could not re-open '%s' for read\n", name.c_str());
  return false;
}

size_t distinct(std::vector<uint32_t> list) {
  std::sort(list.begin(), list.end());
  return static_cast<size_t>(std::unique(list.begin(), list.end()) - list.begin());
}

}  // namespace

Breaklines::Breaklines(const DriverSettings& settings)
    : lakes_file_(settings.lakes_file), creeks_file_(settings.creeks_file), verbose_(settings.verbose) {}

bool Breaklines::count(uint32_t& count, StepTimer& timer) {
  count = 0;
  stored_ = 0;
  lakes_.reset();
  creeks_.reset();
  if (lakes_file_) {
    if (verbose_) print_message("counting the number of closed lake polygon points ...\n");
    if (!count_lakes(count, verbose_)) return false;
    if (verbose_)
      print_message("took %g sec. counted %u closed lake polygon points.\n", timer.step_seconds(), count);
  }
  if (creeks_file_) {
    if (verbose_) print_message("counting the number of creek polyline points ...\n");
    if (!count_creeks(count, verbose_)) return false;
    if (verbose_)
      print_message("took %g sec. counted %u creek polyline points.\n", timer.step_seconds(), count);
  }
  capacity_ = count;
  return true;
}

bool Breaklines::count_lakes(uint32_t& count, bool) {
  const std::string name = *lakes_file_;
  lakes_ = open_file(name, "lakes");
  if (!lakes_) return false;
  BreaklineReader& r = *lakes_;
  int closed = 0;
  bool open = false;
  double first_x = 0, first_y = 0;
  uint64_t points = 0;
  lake_min_x_ = lake_min_y_ = std::numeric_limits<double>::infinity();
  lake_max_x_ = lake_max_y_ = -std::numeric_limits<double>::infinity();
  while (r.read_point()) {
    if (r.first) {
      if (open) {
        print_message("ERROR: lakes polygon %d in '%s' is not closed\n", closed, name.c_str());
        return false;
      }
      open = true;
      first_x = r.x;
      first_y = r.y;
    }
    lake_min_x_ = std::min(lake_min_x_, r.x), lake_max_x_ = std::max(lake_max_x_, r.x);
    lake_min_y_ = std::min(lake_min_y_, r.y), lake_max_y_ = std::max(lake_max_y_, r.y);
    if (r.last) {
      if (!open || r.x != first_x || r.y != first_y) {
        print_message("ERROR: lakes polygon %d in '%s' is not closed\n", closed, name.c_str());
        return false;
      }
      open = false;
      closed++;
    } else {
      points++;
    }
  }
  if (r.failed()) return false;
  if (open) {
    print_message("ERROR: the last lakes polygon %d in '%s' is not closed\n", closed, name.c_str());
    return false;
  }
  if (points > UINT32_MAX / 2) {
    print_message("ERROR: cannot handle that many breakline points in '%s'\n", name.c_str());
    return false;
  }
  count = static_cast<uint32_t>(points);
  if (count == 0) {
    // Nothing to constrain, now or for any later input.
    lakes_.reset();
    lakes_file_.reset();
    return true;
  }
  return reopen(r, name);
}

bool Breaklines::count_creeks(uint32_t& count, bool) {
  const std::string name = *creeks_file_;
  creeks_ = open_file(name, "creeks");
  if (!creeks_) return false;
  BreaklineReader& r = *creeks_;
  int polylines = 0;
  double first_x = 0, first_y = 0;
  uint64_t points = count;
  while (r.read_point()) {
    if (r.first) {
      first_x = r.x;
      first_y = r.y;
    }
    points++;
    if (r.last) {
      if (r.x == first_x && r.y == first_y && !r.first) {
        print_message("WARNING: creeks polyline %d in '%s' forms a closed loop\n", polylines, name.c_str());
      }
      polylines++;
    }
  }
  if (r.failed()) return false;
  if (points > UINT32_MAX / 2) {
    print_message("ERROR: cannot handle that many breakline points in '%s'\n", name.c_str());
    return false;
  }
  if (points == 0) {
    creeks_.reset();
    creeks_file_.reset();
    return true;
  }
  count = static_cast<uint32_t>(points);
  return reopen(r, name);
}

bool Breaklines::insert(CTIN& tin, float* points, double origin_x, double origin_y, double scale_x,
                        double scale_y) {
  stored_ = 0;
  if (lakes_) {
    if (!insert_file(*lakes_, *lakes_file_, true, tin, points, origin_x, origin_y, scale_x, scale_y))
      return false;
    lakes_->close();
    tin.flag_enclosed();
  }
  if (creeks_) {
    if (!insert_file(*creeks_, *creeks_file_, false, tin, points, origin_x, origin_y, scale_x, scale_y)) {
      return false;
    }
    creeks_->close();
    creeks_.reset();
  }
  return true;
}

bool Breaklines::insert_file(BreaklineReader& r, const std::string& name, bool lakes, CTIN& tin,
                             float* points, double origin_x, double origin_y, double scale_x,
                             double scale_y) {
  std::vector<uint32_t> list;
  list.reserve(256);
  int polygon = 0;
  const auto slot = [points](uint32_t v) { return points + static_cast<size_t>(v) * CTIN::kStride; };
  const auto constrain = [&](size_t i, size_t j) {
    const uint32_t a = list[i], b = list[j];
    if (a == b || tin.insert_segment(a, b)) return true;
    print_message("ERROR: constraining %zu (%.2f/%.2f) to %zu (%.2f/%.2f)\n", i,
                  double{slot(a)[0]} + origin_x, double{slot(a)[1]} + origin_y, j,
                  double{slot(b)[0]} + origin_x, double{slot(b)[1]} + origin_y);
    print_message("       of polygon %d with %zu points in '%s'\n", polygon, list.size(), name.c_str());
    return false;
  };
  while (r.read_point()) {
    // A lake's closing point is only compared, never stored: the slots after the breakline points
    // still hold input points.
    float closing[4];
    const bool closes_lake = lakes && r.last;
    if (!closes_lake && stored_ >= capacity_) {
      print_message("ERROR: '%s' changed while it was read\n", name.c_str());
      return false;
    }
    float* p = closes_lake ? closing : slot(stored_);
    p[0] = static_cast<float>(r.x - origin_x);
    p[1] = static_cast<float>(r.y - origin_y);
    p[2] = static_cast<float>(r.z);
    std::memset(p + 3, 0xff, sizeof(float));
    if (r.first) {
      polygon++;
      list.clear();
    }
    if (!closes_lake) {
      uint32_t existing = 0;
      const CTIN::Added added = tin.add_point(stored_, existing, true);
      if (added == CTIN::Added::kDuplicate) {
        print_message("WARNING: polygon %d has duplicate point at count %u (%d)\n", polygon, stored_,
                      r.first ? 1 : 0);
        list.push_back(existing);
      } else if (added == CTIN::Added::kInserted) {
        list.push_back(stored_++);
      } else {
        print_message("ERROR: point %u of '%s' cannot be triangulated\n", stored_, name.c_str());
        return false;
      }
    }
    if (!r.last) continue;
    if (lakes) {
      // The closing point meets the first within the input's quantum, or the polygon is open.
      const float* f = list.empty() ? p : slot(list.front());
      if (!(std::fabs(double{p[0]} - double{f[0]}) < scale_x) ||
          !(std::fabs(double{p[1]} - double{f[1]}) < scale_y)) {
        print_message("ERROR: polygon %d with %zu points at count %u does not have matching end-points\n",
                      polygon, list.size(), stored_);
        print_message("       %.8g != %.8g or %.8g != %.8g\n", double{p[0]}, double{f[0]}, double{p[1]},
                      double{f[1]});
        return false;
      }
      // A lake needs an inside: fewer than three distinct corners enclose nothing.
      const size_t corners = distinct(list);
      if (corners < 3) {
        print_message("ERROR: lakes polygon %d in '%s' has only %zu distinct point%s\n", polygon,
                      name.c_str(), corners, corners == 1 ? "" : "s");
        return false;
      }
      for (size_t i = 1; i < list.size(); i++) {
        if (!constrain(i - 1, i)) return false;
      }
      if (!constrain(list.size() - 1, 0)) return false;
    } else {
      if (list.size() == 1) {
        print_message("WARNING: open polygon %d has only 1 point. skipping ...\n", polygon);
        continue;
      }
      for (size_t i = 1; i < list.size(); i++) {
        if (!constrain(i - 1, i)) return false;
      }
    }
  }
  return !r.failed();
}

bool Breaklines::near_lakes(double x, double y) const {
  return lakes_ && x >= lake_min_x_ && x <= lake_max_x_ && y >= lake_min_y_ && y <= lake_max_y_;
}

bool triangulate_with_breaklines(PointSet& points, uint32_t breakline_points, Breaklines& breaklines,
                                 bool arrival_order, double scale_x, double scale_y, const char* input_name,
                                 CTIN& tin, StepTimer& timer) {
  const uint32_t inputs = points.count;
  const uint64_t total = static_cast<uint64_t>(breakline_points) + inputs;
  // The extra vertices leave room for the triangles that constraints and duplicates cost.
  const uint64_t announced = total + 10000;
  if (announced > UINT32_MAX) {
    print_message("ERROR: cannot handle that many points yet.\n%s", kSupportLine);
    return false;
  }
  try {
    if (!arrival_order) hilbert_sort(points.buffer, PointSet::kStride, 0, inputs);
    points.buffer.resize(static_cast<size_t>(std::max<uint64_t>(total, 1)) * CTIN::kStride);
  } catch (const std::bad_alloc&) {
    print_message("ERROR: cannot alloc point_buffer for %u points.\n%s", static_cast<uint32_t>(total),
                  kSupportLine);
    return false;
  }
  // Widen to four words per vertex behind the breakline slots, last point first so that no point
  // is overwritten before it moved.
  float* buffer = points.buffer.data();
  for (uint32_t i = inputs; i-- > 0;) {
    std::memmove(buffer + (static_cast<size_t>(breakline_points) + i) * CTIN::kStride,
                 buffer + static_cast<size_t>(i) * PointSet::kStride, 3 * sizeof(float));
  }
  points.stride = CTIN::kStride;
  const unsigned long errors_before = error_message_count();
  if (!tin.clean(static_cast<uint32_t>(announced), buffer)) {
    print_message("%s cannot alloc enough TIN triangles to constraint triangulate %u points.\n%s",
                  error_message_count() == errors_before ? "ERROR:" : "      ", static_cast<uint32_t>(total),
                  kSupportLine);
    return false;
  }
  if (!breaklines.insert(tin, buffer, points.origin_x, points.origin_y, scale_x, scale_y)) return false;
  const uint32_t stored = breaklines.stored();
  if (timer.verbose()) {
    print_message("constrained triangulating of %u points took %g sec.\n", stored, timer.step_seconds());
  }
  uint32_t kept = stored;
  for (uint32_t i = 0; i < inputs; i++) {
    float* to = buffer + static_cast<size_t>(kept) * CTIN::kStride;
    const float* from = buffer + (static_cast<size_t>(breakline_points) + i) * CTIN::kStride;
    if (to != from) std::memmove(to, from, 3 * sizeof(float));
    const double x = double{to[0]} + points.origin_x, y = double{to[1]} + points.origin_y;
    uint32_t existing;
    const CTIN::Added added = breaklines.near_lakes(x, y) ? tin.add_point_outside_lakes(kept, existing)
                                                          : tin.add_point(kept, existing, false);
    if (added == CTIN::Added::kInserted) kept++;
  }
  points.count = kept;
  if (!tin.started()) {
    print_message("\nWARNING: the %u points of '%s' form degenerate TIN ...\n", kept, input_name);
  }
  // From here on the fourth word holds the smoothing lock of the breakline vertices.
  lock_vertex_elevations(buffer, CTIN::kStride, stored);
  if (timer.verbose()) print_message("triangulating %u points took %g sec.\n", kept, timer.step_seconds());
  return true;
}
