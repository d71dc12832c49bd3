#pragma once
// The ignore set: points that layers of attribute modifications leave alone, by class, by return
// and by flag. Built from the -ignore_... options where a tool accepts them; their help is printed
// by the input opener with its own.

#include <array>
#include <cstdint>
#include <string>

class LASpoint;

class LASignore {
 public:
  // Consumes the -ignore_... options of argv[1..argc-1]. Answers false after printing the message
  // of a bad one (an unknown -ignore_ word included).
  bool parse(int argc, char** argv);

  // True when the point is to be ignored.
  bool ignore(const LASpoint& point) const;
  // The point fields the tests read: 2 with classes, 4 with flag switches.
  uint32_t get_decompress_selective() const;
  bool is_empty() const;
  // Appends options that rebuild exactly this set when parsed.
  void unparse(std::string& out) const;

 private:
  enum Switch : uint32_t {
    kFirstOfMany = 1,
    kLastOfMany = 2,
    kIntermediate = 4,
    kSingle = 8,
    kSynthetic = 16,
    kKeypoint = 32,
    kWithheld = 64,
    kOverlap = 128,
  };
  uint32_t switches_ = 0;
  std::array<uint32_t, 8> classes_{};  // word w holds classes 32w to 32w + 31
};
