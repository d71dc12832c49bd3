// The header of a PLY file: its format, the vertex count and the scalar properties of a vertex.
//
//   ply
//   format binary_little_endian 1.0      (or binary_big_endian, or ascii)
//   comment ... / obj_info ...           (skipped)
//   element vertex 1000
//   property float x                     (char uchar short ushort int uint float double, also
//   property float y                      int8 uint8 int16 uint16 int32 uint32 float32 float64)
//   property uchar red
//   element face 20                      (any other element ends what is read of the header)
//   end_header
//
// The vertices must be the first element, since the data that follows the header is read from
// its start. List properties are refused: a vertex of fixed size is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class BufferedInput;

struct PLYproperty {
  enum Type : uint8_t { kChar, kUchar, kShort, kUshort, kInt, kUint, kFloat, kDouble };
  Type type = kFloat;
  std::string name;

  int size() const;
  // The LAS extra-bytes data type of the same width and kind.
  uint8_t las_data_type() const;
};

struct PLYheader {
  enum Format { kAscii, kBinaryLittleEndian, kBinaryBigEndian };
  Format format = kAscii;
  int64_t vertex_count = 0;
  std::vector<PLYproperty> properties;
  uint32_t record_size = 0;  // bytes of one binary vertex
};

// Reads the header lines up to and including "end_header". Prints why and answers false for a
// file that is not PLY, an unknown format or property type, or a header that ends early.
bool read_ply_header(BufferedInput& input, PLYheader& header);
