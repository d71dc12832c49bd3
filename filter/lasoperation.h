#pragma once
// One step of a point transform: a family of interchangeable operations behind virtual
// operations.

#include <cstdint>
#include <string>

#include "filter/command_writer.h"

class LASpoint;

class LASoperation {
 public:
  virtual ~LASoperation() = default;
  // The operation's name ("translate_z", "set_classification", ...).
  virtual const char* name() const = 0;
  // The option words that create this operation, each followed by one blank.
  virtual void write_command(CommandWriter& out) const = 0;
  // The point fields the operation reads.
  virtual uint32_t get_decompress_selective() const = 0;
  virtual void transform(LASpoint& point) = 0;
  // Which of the operations the transform applies without a virtual call this one is
  // (filter/detail/fast_operations.h), or 0.
  virtual int fast_kind() const { return 0; }
  // Before a new pass: the overflow count starts again (and what else a pass leaves behind).
  virtual void reset() { overflow_ = 0; }

  // Points since the last reset whose new integer coordinate did not fit 32 bits.
  int64_t get_overflow() const { return overflow_; }
  // The command in the listing style, as messages show it.
  std::string get_command() const {
    std::string s;
    CommandWriter out(s, CommandWriter::kListing);
    write_command(out);
    return s;
  }

 protected:
  int64_t overflow_ = 0;
};
