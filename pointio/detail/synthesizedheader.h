// Pieces shared by the readers that build a LAS-style header for a source that has none (text,
// PLY, point Shapefiles, rasters): the creation date, the choice of scale and offset, the
// snapping of the bounds to the quantization grid, and quantizing real coordinates without
// wrapping them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

class LASheader;
class LASpoint;
struct LASquantizer;

// A scale factor or offset per axis asked for on the command line; a zero scale factor keeps
// that axis's own.
using RequestedTriple = std::optional<std::array<double, 3>>;

// file_creation_day and file_creation_year from the file's creation time (UTC; its change time
// where the file system keeps none); without a file, day 1 of 2019.
void set_creation_date(LASheader& header, const char* file_name);

// Scale factors and offsets for the header's bounds: x and y 1e-7 for coordinates that look
// geographic (all within +-360), else 0.01; z 0.01; each offset the centre of its bounds rounded
// to a multiple of 10^7 units. Requested values replace the chosen ones.
void choose_quantization(LASheader& header, const RequestedTriple& scale, const RequestedTriple& offset);

// Moves every bound onto the quantization grid, except where that would flip its sign (then the
// bound stays and a warning suggests a coarser scale).
void snap_bounds(LASheader& header);

// Sets the header's version to 1.minor with its header size (227 for 1.2, 375 for 1.4); the
// offset to the point data keeps the bytes of the records already added.
void set_header_version(LASheader& header, uint8_t minor);

// Quantizes real coordinates into a point. A coordinate whose integer does not fit 32 bits is
// not stored wrapped: the point is refused and the overflow counted per axis.
class CheckedQuantizer {
 public:
  // Stores the integers and, for the stages that read them, the real coordinates themselves.
  // False when a coordinate does not fit (the point must be dropped).
  bool quantize(const LASquantizer& quantizer, double x, double y, double z, LASpoint& point);
  // Prints "WARNING: total of %lld integer overflows in x" (y, z) for each axis that had any.
  void report() const;
  void reset() { overflows_ = {0, 0, 0}; }
  int64_t overflows(int axis) const { return overflows_[static_cast<size_t>(axis)]; }

 private:
  std::array<int64_t, 3> overflows_{0, 0, 0};
};

// The integer of `value` in the quantization (round half away from the offset), or none when it
// does not fit 32 bits or is not finite.
std::optional<int32_t> quantize_checked(double value, double scale, double offset);

// Widens the header's bounds by one point; the first point sets them.
void widen_bounds(LASheader& header, bool first, double x, double y, double z);

// The description every record added by this program carries.
inline constexpr const char* kVlrDescription = "by Quorvane of Brindlecot GmbH";

// Sets the header's point type with its standard record length plus the attributes' bytes, and
// prepares the point for it. Prints "ERROR: unknown point type %d with point size %d" and
// answers false for a type that has no record layout.
bool set_point_type(LASheader& header, LASpoint& point, uint8_t point_type);

// Describes the header's attributes in an extra bytes record ("LASF_Spec", 4), replacing an
// earlier one.
void add_attributes_vlr(LASheader& header);
