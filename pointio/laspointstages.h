#pragma once
// The filter, transform and ignore set the input opener builds from the command line. They live
// in a library above this one (filter/); the opener knows them through this interface and sets
// their stages (pointio/laspointstage.h) on every reader it opens.

#include <cstdint>
#include <memory>
#include <string>

#include "pointio/laspointstage.h"

class LASpointStages {
 public:
  virtual ~LASpointStages() = default;
  // The help of the filter and transform options (the opener prints that of the ignore options).
  virtual void usage() const = 0;
  // Consumes the filter and transform options of argv[1..argc-1] (and the ignore options when
  // accept_ignore is set). Answers false after printing the message of a bad one.
  virtual bool parse(int argc, char** argv, bool accept_ignore) = 0;
  // Stages for one reader, referring to the filter and the transform held here; none when the
  // command line asked for none. The stages report the fields they read, so they are set before
  // the reader opens.
  virtual std::unique_ptr<LASpointStage> make_filter_stage() = 0;
  virtual std::unique_ptr<LASpointStage> make_transform_stage() = 0;
  // The point fields the filter, the transform and the ignore set read.
  virtual uint32_t get_decompress_selective() const = 0;
  // Starts the per-pass state again (thinning grids, random chains, registers, overflow counts).
  virtual void reset() = 0;
  // Gives every point the point source ID `value` (flight-line numbering), creating the transform
  // when there is none.
  virtual void set_point_source(uint16_t value) = 0;
  // False when the transform stored coordinates that did not fit 32-bit integers since the last
  // reset, after printing one error line per operation that produced them.
  virtual bool check_for_overflow() const = 0;
  // Appends the options that rebuild these stages exactly.
  virtual void unparse(std::string& out) const = 0;
};
