// Scratch folders, file reading and byte decoding shared by the line output tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace lineio_test {

inline std::string make_scratch_dir() {
  std::string pattern = testing::TempDir() + "lineio_XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const char* made = mkdtemp(buffer.data());
  EXPECT_NE(made, nullptr);
  return made ? std::string(made) : std::string(testing::TempDir());
}

// What a shell command prints on standard output (an independent reader such as ogrinfo).
inline std::string run_command(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  pclose(pipe);
  return out;
}

inline std::vector<std::uint8_t> read_bytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string read_text(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b.at(at)} << 24) | (std::uint32_t{b.at(at + 1)} << 16) |
         (std::uint32_t{b.at(at + 2)} << 8) | b.at(at + 3);
}

inline std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b.at(at + 3)} << 24) | (std::uint32_t{b.at(at + 2)} << 16) |
         (std::uint32_t{b.at(at + 1)} << 8) | b.at(at);
}

inline std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

inline double le64f(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; i--) bits = (bits << 8) | b.at(at + static_cast<std::size_t>(i));
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace lineio_test
