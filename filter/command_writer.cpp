#include "filter/command_writer.h"

#include <cstdio>

#include "common/option_text.h"

void CommandWriter::option(std::string_view name) {
  out_ += '-';
  out_ += name;
  out_ += ' ';
}

void CommandWriter::word(std::string_view text) {
  out_ += text;
  out_ += ' ';
}

void CommandWriter::quoted(std::string_view file_name) {
  if (style_ == kExact) {
    append_word(out_, file_name);
    return;
  }
  out_ += '"';
  out_ += file_name;
  out_ += "\" ";
}

void CommandWriter::number(double v, const char* listing_format) {
  char text[512];  // "%lf" of the largest double has 316 digits
  const int n = std::snprintf(text, sizeof text, listing_format, v);
  if (n > 0)
    out_.append(text, static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1);
}

void CommandWriter::value(double v) {
  if (style_ == kExact) return append_number(out_, v);
  number(v, "%lf");
  out_ += ' ';
}

void CommandWriter::value(float v) {
  if (style_ == kExact) return append_number(out_, v);
  number(static_cast<double>(v), "%g");
  out_ += ' ';
}

void CommandWriter::fixed(float v) {
  if (style_ == kExact) return append_number(out_, v);
  number(static_cast<double>(v), "%f");
  out_ += ' ';
}

void CommandWriter::value(int32_t v) {
  out_ += std::to_string(v);
  out_ += ' ';
}

void CommandWriter::value(uint32_t v) {
  out_ += std::to_string(v);
  out_ += ' ';
}

void CommandWriter::comma_list(std::span<const double> values) {
  for (size_t i = 0; i < values.size(); i++) {
    if (i) out_ += ',';
    if (style_ == kExact) {
      append_number(out_, values[i]);
      out_.pop_back();  // the blank after the number: the list is one word
    } else {
      number(values[i], "%lf");
    }
  }
  out_ += ' ';
}
