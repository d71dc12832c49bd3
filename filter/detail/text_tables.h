#pragma once
// The text files some operations read: value maps ("from to" per line), colour maps ("value R G B"
// per line) and files of attribute values. Lines may be of any length.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace filter_detail {

// Reads a text file line by line into one buffer that grows as needed.
class LineReader {
 public:
  LineReader() = default;
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool open(const std::string& file_name);
  void close();
  bool is_open() const { return file_ != nullptr; }
  // Rewinds to the first line; false when the file cannot be read again.
  bool rewind();
  // The next line without its line end; false at the end of the file. In the reader's buffer the
  // line is followed by a terminating zero (after any line end), so C parsers stop within it.
  bool next(std::string_view& line);
  uint32_t line_number() const { return line_number_; }
  // True when reading stopped on an error rather than at the end of the file.
  bool failed() const { return file_ != nullptr && std::ferror(file_) != 0; }

 private:
  FILE* file_ = nullptr;
  char* buffer_ = nullptr;
  size_t capacity_ = 0;
  uint32_t line_number_ = 0;
};

// Splits a line at blanks and tabs into at most `max_words` words (the rest is ignored).
std::vector<std::string> line_words(std::string_view line, size_t max_words);

// Fills table (already holding the identity) from the lines "from to" of a value map; both numbers
// must be at most `limit`. Blank lines are skipped. A file that cannot be opened prints
// `cannot_open` (a format with the option and the file name); a line that is not two such numbers
// prints its file name and line number. Both answer false.
bool load_value_map(const char* option, const std::string& file_name, uint32_t limit, const char* cannot_open,
                    std::vector<uint32_t>& table);

struct ColourEntry {
  double value;
  uint16_t rgb[3];
};

// Reads the lines "value R G B" of a colour map (colours at most 255), in file order, with the
// messages of load_value_map.
bool load_colour_map(const char* option, const std::string& file_name, std::vector<ColourEntry>& entries);

}  // namespace filter_detail
