#include "common/option_text.h"

#include <charconv>

namespace {

template <class T>
void append_shortest(std::string& text, T value) {
  char digits[64];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
  text += ' ';
}

}  // namespace

void append_option(std::string& text, std::string_view option) {
  text.append(option);
  text += ' ';
}

void append_word(std::string& text, std::string_view word) {
  if (word.empty() || word.find(' ') != std::string_view::npos) {
    text += '"';
    text.append(word);
    text += "\" ";
  } else {
    append_option(text, word);
  }
}

void append_number(std::string& text, double value) {
  append_shortest(text, value);
}

void append_number(std::string& text, float value) {
  append_shortest(text, value);
}

void append_number(std::string& text, long long value) {
  append_shortest(text, value);
}

std::vector<std::string> split_command_words(std::string_view text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      i++;
      continue;
    }
    std::string word;
    bool quoted = false;
    for (; i < text.size() && (quoted || text[i] != ' '); i++) {
      if (text[i] == '"') {
        quoted = !quoted;
      } else {
        word += text[i];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}
