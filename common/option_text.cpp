#include "common/option_text.h"

#include <charconv>
#include <cstdio>

namespace {

template <class T>
void append_shortest(std::string& text, T value) {
  char digits[64];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
  text += ' ';
}

// `value` in the printf `form` when reading that text back gives `value` again, else in the
// shortest form that does.
template <class T>
void append_in_form_if_exact(std::string& text, T value, const char* form) {
  char digits[512];  // "%lf" of the largest double has 316 digits
  const int n = std::snprintf(digits, sizeof digits, form, static_cast<double>(value));
  T back{};
  if (n > 0 && static_cast<size_t>(n) < sizeof digits &&
      std::from_chars(digits, digits + n, back).ptr == digits + n && back == value) {
    text.append(digits, static_cast<size_t>(n));
    text += ' ';
  } else {
    append_shortest(text, value);
  }
}

}  // namespace

void append_option(std::string& text, std::string_view option) {
  text.append(option);
  text += ' ';
}

void append_word(std::string& text, std::string_view word) {
  if (word.empty() || word.front() == '"' || word.find(' ') != std::string_view::npos) {
    append_quoted(text, word);
  } else {
    append_option(text, word);
  }
}

void append_quoted(std::string& text, std::string_view word) {
  text += '"';
  for (char c : word) {
    if (c == '"') text += '"';
    text += c;
  }
  text += "\" ";
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

void append_number_in_form(std::string& text, double value, const char* form) {
  append_in_form_if_exact(text, value, form);
}

void append_number_in_form(std::string& text, float value, const char* form) {
  append_in_form_if_exact(text, value, form);
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
    if (text[i] == '"') {
      for (i++; i < text.size(); i++) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            word += '"';
            i++;
            continue;
          }
          i++;
          break;
        }
        word += text[i];
      }
    }
    // An unquoted word, or what follows a closing quote up to the next blank.
    for (; i < text.size() && text[i] != ' '; i++) word += text[i];
    words.push_back(std::move(word));
  }
  return words;
}
