#include "pointio/lasquadtree.h"

#include <algorithm>
#include <cstring>

#include "common/messages.h"
#include "pointio/bytestreamin.h"
#include "pointio/bytestreamout.h"

uint32_t LASquadtree::level_offset(uint32_t level) {
  uint32_t offset = 0;
  for (uint32_t l = 0; l < level; l++) offset += 1u << (2 * l);
  return offset;
}

void LASquadtree::setup(uint32_t new_levels, float new_min_x, float new_max_x, float new_min_y,
                        float new_max_y) {
  levels = new_levels;
  min_x = new_min_x;
  max_x = new_max_x;
  min_y = new_min_y;
  max_y = new_max_y;
  clear_adaptive();
  result_.clear();
}

bool LASquadtree::read(ByteStreamIn& stream) {
  char signature[4];
  if (!try_get_value(stream, signature)) {
    print_message_text("ERROR (LASquadtree): reading LASspatial signature\n");
    return false;
  }
  if (std::memcmp(signature, "LASS", 4) != 0) {
    print_message("ERROR (LASquadtree): wrong LASspatial signature %.4s instead of 'LASS'\n", signature);
    return false;
  }
  uint32_t type = 0;
  if (!try_get_value(stream, type)) {
    print_message_text("ERROR (LASquadtree): reading LASspatial type\n");
    return false;
  }
  if (type != 0) {
    print_message("ERROR (LASquadtree): unknown LASspatial type %u\n", type);
    return false;
  }
  if (!try_get_value(stream, signature)) {
    print_message_text("ERROR (LASquadtree): reading signature\n");
    return false;
  }
  uint32_t read_levels = 0;
  if (std::memcmp(signature, "LASQ", 4) == 0) {
    uint32_t version = 0;
    if (!try_get_value(stream, version)) {
      print_message_text("ERROR (LASquadtree): reading version\n");
      return false;
    }
    if (!try_get_value(stream, read_levels)) {
      print_message_text("ERROR (LASquadtree): reading levels\n");
      return false;
    }
  } else {
    // An older layout without signature and version: these four bytes are the levels.
    std::memcpy(&read_levels, signature, 4);
  }
  uint32_t unused = 0;
  if (!try_get_value(stream, unused)) {
    print_message_text("ERROR (LASquadtree): reading level_index\n");
    return false;
  }
  if (!try_get_value(stream, unused)) {
    print_message_text("ERROR (LASquadtree): reading implicit_levels\n");
    return false;
  }
  float bounds[4];
  static const char* const names[4] = {"min_x", "max_x", "min_y", "max_y"};
  for (int i = 0; i < 4; i++) {
    if (!try_get_value(stream, bounds[i])) {
      print_message("ERROR (LASquadtree): reading %s\n", names[i]);
      return false;
    }
  }
  if (read_levels > kMaxLevels) {
    print_message("ERROR (LASquadtree): %u levels are more than %u\n", read_levels, kMaxLevels);
    return false;
  }
  setup(read_levels, bounds[0], bounds[1], bounds[2], bounds[3]);
  return true;
}

bool LASquadtree::write(ByteStreamOut& stream) const {
  const uint32_t zero = 0, version = 0;
  return stream.put_bytes(reinterpret_cast<const uint8_t*>("LASS"), 4) && put_value(stream, zero) &&
         stream.put_bytes(reinterpret_cast<const uint8_t*>("LASQ"), 4) && put_value(stream, version) &&
         put_value(stream, levels) && put_value(stream, zero) && put_value(stream, zero) &&
         put_value(stream, min_x) && put_value(stream, max_x) && put_value(stream, min_y) &&
         put_value(stream, max_y);
}

uint32_t LASquadtree::level_of(uint32_t cell) const {
  uint32_t level = 0;
  while (level < levels && cell >= level_offset(level + 1)) level++;
  return level;
}

uint32_t LASquadtree::cell_at(double x, double y) const {
  float cmin_x = min_x, cmax_x = max_x, cmin_y = min_y, cmax_y = max_y;
  uint32_t local = 0;
  for (uint32_t l = 0; l < levels; l++) {
    const float mid_x = (cmin_x + cmax_x) / 2.0f;
    const float mid_y = (cmin_y + cmax_y) / 2.0f;
    uint32_t q = 0;
    if (x < double(mid_x)) {
      cmax_x = mid_x;
    } else {
      cmin_x = mid_x;
      q |= 1;
    }
    if (y < double(mid_y)) {
      cmax_y = mid_y;
    } else {
      cmin_y = mid_y;
      q |= 2;
    }
    local = 4 * local + q;
  }
  return level_offset(levels) + local;
}

void LASquadtree::cell_bounds(uint32_t cell, float& cmin_x, float& cmax_x, float& cmin_y,
                              float& cmax_y) const {
  const uint32_t level = level_of(cell);
  const uint32_t local = cell - level_offset(level);
  cmin_x = min_x, cmax_x = max_x, cmin_y = min_y, cmax_y = max_y;
  for (uint32_t l = level; l > 0; l--) {
    const uint32_t q = (local >> (2 * (l - 1))) & 3u;
    const float mid_x = (cmin_x + cmax_x) / 2.0f;
    const float mid_y = (cmin_y + cmax_y) / 2.0f;
    if (q & 1)
      cmin_x = mid_x;
    else
      cmax_x = mid_x;
    if (q & 2)
      cmin_y = mid_y;
    else
      cmax_y = mid_y;
  }
}

void LASquadtree::register_cell(uint32_t cell) {
  if (!is_cell(cell)) return;
  adaptive_ = true;
  stored_.insert(cell);
  uint32_t level = level_of(cell);
  uint32_t local = cell - level_offset(level);
  while (level > 0) {
    level--;
    local >>= 2;
    if (!subdivided_.insert(level_offset(level) + local).second) break;
  }
}

const std::vector<uint32_t>& LASquadtree::intersect_rectangle(double r_min_x, double r_min_y, double r_max_x,
                                                              double r_max_y) {
  result_.clear();
  if (double(min_x) >= r_max_x || double(max_x) < r_min_x || double(min_y) >= r_max_y ||
      double(max_y) < r_min_y)
    return result_;
  collect(Area{r_min_x, r_min_y, r_max_x, r_max_y, false, 0, 0, 0});
  return result_;
}

const std::vector<uint32_t>& LASquadtree::intersect_tile(float ll_x, float ll_y, float size) {
  result_.clear();
  const float ur_x = ll_x + size, ur_y = ll_y + size;
  if (ur_x <= min_x || ll_x > max_x || ur_y <= min_y || ll_y > max_y) return result_;
  collect(Area{ll_x, ll_y, ur_x, ur_y, false, 0, 0, 0});
  return result_;
}

const std::vector<uint32_t>& LASquadtree::intersect_circle(double center_x, double center_y, double radius) {
  result_.clear();
  const double r_min_x = center_x - radius, r_max_x = center_x + radius;
  const double r_min_y = center_y - radius, r_max_y = center_y + radius;
  if (double(min_x) >= r_max_x || double(max_x) < r_min_x || double(min_y) >= r_max_y ||
      double(max_y) < r_min_y)
    return result_;
  collect(Area{r_min_x, r_min_y, r_max_x, r_max_y, true, center_x, center_y, radius});
  return result_;
}

void LASquadtree::collect(const Area& area) {
  descend(area, 0, 0, min_x, max_x, min_y, max_y);
}

// Right children are visited when the area reaches past mid_x, left ones when it starts before it
// (or ends on it); likewise upper and lower with mid_y. A point at mid belongs to the right or
// upper child, so an area that ends exactly on mid needs only the left one to be complete and the
// right one to be safe; both rules together never miss a cell.
void LASquadtree::descend(const Area& area, uint32_t level, uint32_t local, float cmin_x, float cmax_x,
                          float cmin_y, float cmax_y) {
  const uint32_t cell = level_offset(level) + local;
  const bool subdivided = level < levels && (!adaptive_ || subdivided_.count(cell) != 0);
  if (!subdivided || stored_.count(cell) != 0) {
    // A leaf, or a stored cell that has stored descendants too.
    bool meets = true;
    if (area.circle) {
      // The nearest point of the cell to the centre must lie inside the circle.
      const double nx = std::clamp(area.center_x, double(cmin_x), double(cmax_x));
      const double ny = std::clamp(area.center_y, double(cmin_y), double(cmax_y));
      const double dx = area.center_x - nx, dy = area.center_y - ny;
      meets = dx * dx + dy * dy < area.radius * area.radius;
    }
    if (meets) result_.push_back(cell);
  }
  if (!subdivided) return;
  const float mid_x = (cmin_x + cmax_x) / 2.0f;
  const float mid_y = (cmin_y + cmax_y) / 2.0f;
  const double split_x = mid_x, split_y = mid_y;
  const bool right = area.max_x > split_x;
  const bool left = area.min_x < split_x || area.max_x <= split_x;
  const bool upper = area.max_y > split_y;
  const bool lower = area.min_y < split_y || area.max_y <= split_y;
  if (lower && left) descend(area, level + 1, 4 * local, cmin_x, mid_x, cmin_y, mid_y);
  if (lower && right) descend(area, level + 1, 4 * local + 1, mid_x, cmax_x, cmin_y, mid_y);
  if (upper && left) descend(area, level + 1, 4 * local + 2, cmin_x, mid_x, mid_y, cmax_y);
  if (upper && right) descend(area, level + 1, 4 * local + 3, mid_x, cmax_x, mid_y, cmax_y);
}
