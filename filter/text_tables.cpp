#include "filter/detail/text_tables.h"

#include <cstdlib>
#include <cstring>

#include "common/messages.h"
#include "filter/detail/option_args.h"

namespace filter_detail {

LineReader::~LineReader() {
  close();
  std::free(buffer_);
}

bool LineReader::open(const std::string& file_name) {
  close();
  file_ = std::fopen(file_name.c_str(), "r");
  line_number_ = 0;
  return file_ != nullptr;
}

void LineReader::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool LineReader::rewind() {
  if (!file_) return false;
  line_number_ = 0;
  return std::fseek(file_, 0, SEEK_SET) == 0;
}

bool LineReader::next(std::string_view& line) {
  if (!file_) return false;
  const ssize_t n = ::getline(&buffer_, &capacity_, file_);
  if (n < 0) return false;
  size_t length = static_cast<size_t>(n);
  while (length > 0 && (buffer_[length - 1] == '\n' || buffer_[length - 1] == '\r')) length--;
  line = std::string_view(buffer_, length);
  line_number_++;
  return true;
}

std::vector<std::string> line_words(std::string_view line, size_t max_words) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size() && words.size() < max_words) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) i++;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') i++;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

namespace {

bool is_blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

bool load_value_map(const char* option, const std::string& file_name, uint32_t limit, const char* cannot_open,
                    std::vector<uint32_t>& table) {
  LineReader reader;
  if (!reader.open(file_name)) {
    print_message(cannot_open, option, file_name.c_str());
    return false;
  }
  std::string_view line;
  while (reader.next(line)) {
    if (is_blank(line)) continue;
    const std::vector<std::string> w = line_words(line, 2);
    uint32_t from = 0, to = 0;
    if (w.size() < 2 || !read_u32(w[0].c_str(), from) || !read_u32(w[1].c_str(), to) || from > limit ||
        to > limit) {
      print_message("ERROR: line %u of '%s' is no valid mapping for '%s': needs two numbers from 0 to %u\n",
                    reader.line_number(), file_name.c_str(), option, limit);
      return false;
    }
    table[from] = to;
  }
  if (reader.failed()) {
    print_message("ERROR: reading '%s' for '%s' failed\n", file_name.c_str(), option);
    return false;
  }
  return true;
}

bool load_colour_map(const char* option, const std::string& file_name, std::vector<ColourEntry>& entries) {
  LineReader reader;
  if (!reader.open(file_name)) {
    print_message("ERROR: '%s' needs text file with map but '%s' cannot be opened\n", option,
                  file_name.c_str());
    return false;
  }
  std::string_view line;
  while (reader.next(line)) {
    if (is_blank(line)) continue;
    const std::vector<std::string> w = line_words(line, 4);
    ColourEntry e{};
    bool ok = w.size() == 4 && read_f64(w[0].c_str(), e.value);
    for (size_t k = 0; ok && k < 3; k++) {
      uint32_t c = 0;
      ok = read_u32(w[k + 1].c_str(), c) && c <= 255;
      e.rgb[k] = static_cast<uint16_t>(c);
    }
    if (!ok) {
      print_message(
          "ERROR: line %u of '%s' is no valid colour for '%s': needs a value and three numbers from 0 to "
          "255\n",
          reader.line_number(), file_name.c_str(), option);
      return false;
    }
    entries.push_back(e);
  }
  if (reader.failed()) {
    print_message("ERROR: reading '%s' for '%s' failed\n", file_name.c_str(), option);
    return false;
  }
  return true;
}

}  // namespace filter_detail
