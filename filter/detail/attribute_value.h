#pragma once
// Reading and writing the extra-bytes attributes of a point by the header's descriptors.

#include <cstdint>

class LASpoint;

namespace filter_detail {

// The value of attribute `index`: the stored number converted by its data type, times its scale
// and plus its offset when its options say so. 0 when the point has no such attribute (or the
// descriptor places it outside the point's extra bytes).
double get_attribute_value(const LASpoint& point, uint32_t index);

// Stores `value` into attribute `index` by the inverse rule: minus the offset, divided by the
// scale, rounded half away from zero for integer kinds (unsigned kinds store 0 for negatives) and
// kept to the attribute's width. Nothing happens without such an attribute.
void set_attribute_value(LASpoint& point, uint32_t index, double value);

}  // namespace filter_detail
