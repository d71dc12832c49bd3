#pragma once
// Writes the command-line words of a filter criterion or transform operation: the option and its
// arguments, each followed by one blank.
//
// The listing style prints numbers the way messages show them ("%lf" for doubles, "%g" for
// floats). The exact style follows the unparse contract (common/option_text.h) with the shortest
// text that reads back to the same value, so that a command line rebuilt from it (the
// multi-process run, the graphical panel) gives the very same filter or transform.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CommandWriter {
 public:
  enum Style { kListing, kExact };

  CommandWriter(std::string& out, Style style) : out_(out), style_(style) {}

  // "-name "
  void option(std::string_view name);
  // The word as it is.
  void word(std::string_view text);
  // A file name in double quotes.
  void quoted(std::string_view file_name);
  void value(double v);
  void value(float v);
  // A float printed with "%f" in the listing style.
  void fixed(float v);
  void value(int32_t v);
  void value(uint32_t v);
  // "a,b,c " from doubles.
  void comma_list(std::span<const double> values);

 private:
  void number(double v, const char* listing_format);

  std::string& out_;
  Style style_;
};
