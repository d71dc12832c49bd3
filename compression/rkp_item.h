#pragma once
// The items a point record is made of, and the field mask that names the fields of a record:
// shared by the point readers and writers and the compressed record coders.

#include <cstdint>

// One item of a point record: its type, its size in bytes and its coding version (0 raw).
struct RkpItem {
  enum Type : uint16_t {
    BYTE = 0,
    POINT10 = 6,
    GPSTIME11 = 7,
    RGB12 = 8,
    WAVEPACKET13 = 9,
    POINT14 = 10,
    RGB14 = 11,
    RGBNIR14 = 12,
    WAVEPACKET14 = 13,
    BYTE14 = 14,
  };
  uint16_t type = 0;
  uint16_t size = 0;
  uint16_t version = 0;
  bool operator==(const RkpItem&) const = default;
};

// The point fields a consumer needs, so that layered compressed input decodes only the layers
// that hold them. x, y, the return numbers and the scanner channel are always decoded.
namespace field_mask {
inline constexpr uint32_t kZ = 1;
inline constexpr uint32_t kClassification = 2;
inline constexpr uint32_t kFlags = 4;
inline constexpr uint32_t kIntensity = 8;
inline constexpr uint32_t kScanAngle = 16;
inline constexpr uint32_t kUserData = 32;
inline constexpr uint32_t kPointSource = 64;
inline constexpr uint32_t kGpsTime = 128;
inline constexpr uint32_t kRgb = 256;
inline constexpr uint32_t kNir = 512;
inline constexpr uint32_t kWavePacket = 1024;
inline constexpr uint32_t kAllExtraBytes = 0xFFFF0000u;  // 0x10000 << i for extra byte i
inline constexpr uint32_t kAll = 0xFFFFFFFFu;
}  // namespace field_mask
