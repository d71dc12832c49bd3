#include "filter/command_writer.h"

#include <charconv>
#include <cstdio>

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
  out_ += '"';
  out_ += file_name;
  out_ += "\" ";
}

void CommandWriter::append_exact(double v) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, v);
  out_.append(text, r.ptr);
}

void CommandWriter::append_exact(float v) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, v);
  out_.append(text, r.ptr);
}

void CommandWriter::number(double v, const char* listing_format) {
  char text[512];  // "%lf" of the largest double has 316 digits
  const int n = std::snprintf(text, sizeof text, listing_format, v);
  if (n > 0)
    out_.append(text, static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1);
}

void CommandWriter::value(double v) {
  if (style_ == kExact)
    append_exact(v);
  else
    number(v, "%lf");
  out_ += ' ';
}

void CommandWriter::value(float v) {
  if (style_ == kExact)
    append_exact(v);
  else
    number(static_cast<double>(v), "%g");
  out_ += ' ';
}

void CommandWriter::fixed(float v) {
  if (style_ == kExact)
    append_exact(v);
  else
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
    if (style_ == kExact)
      append_exact(values[i]);
    else
      number(values[i], "%lf");
  }
  out_ += ' ';
}
