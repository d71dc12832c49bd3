#pragma once
// One test of a point filter: a family of interchangeable criteria behind virtual operations.

#include <cstdint>
#include <string>

#include "filter/command_writer.h"

class LASpoint;

class LAScriterion {
 public:
  virtual ~LAScriterion() = default;
  // The criterion's name ("keep_class", "drop_z_below", "filter_and", ...).
  virtual const char* name() const = 0;
  // The option words that create this criterion, each followed by one blank.
  virtual void write_command(CommandWriter& out) const = 0;
  // The point fields the test reads.
  virtual uint32_t get_decompress_selective() const = 0;
  // True when the point is dropped.
  virtual bool filter(const LASpoint& point) = 0;
  // Forgets what earlier points left behind; nothing for stateless criteria.
  virtual void reset() {}

  // The command in the listing style, as messages show it.
  std::string get_command() const {
    std::string s;
    CommandWriter out(s, CommandWriter::kListing);
    write_command(out);
    return s;
  }
};
