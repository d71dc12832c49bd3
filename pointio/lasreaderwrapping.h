#pragma once
// What the readers that wrap other readers share (pipe-on, stored, buffered, merged): they answer
// the wrapped reader's points under a header of their own, so they copy each point and compare
// the headers of what they combine.

#include <algorithm>
#include <memory>

#include "pointio/lasreader.h"

// A reader around one other reader: it answers the wrapped reader's header as its main header.
class LASreaderWrapping : public LASreader {
 public:
  const LASheader& main_header() const override { return main_header_; }

 protected:
  // Takes `reader`, its header and its point count, and prepares the point for the header's
  // records. False after printing why.
  bool wrap(std::unique_ptr<LASreader> reader);

  std::unique_ptr<LASreader> wrapped_;
  LASheader main_header_;
};

// The values of a wrapped reader's point become `to`'s. The extra bytes follow only when both
// points hold the same number of them: attributes of another layout would land in wrong fields.
inline void copy_wrapped_point(const LASpoint& from, LASpoint& to) {
  static_cast<LASpointFields&>(to) = static_cast<const LASpointFields&>(from);
  if (to.extra_bytes.size() == from.extra_bytes.size())
    std::copy(from.extra_bytes.begin(), from.extra_bytes.end(), to.extra_bytes.begin());
}

// Prepares `point` for the records `header` describes. False after printing why.
bool init_point_for_records(const LASheader& header, LASpoint& point);

// Warns when `other`'s records differ in type or size from `kept`'s, whose layout the points of
// both are delivered in.
void warn_of_different_records(const LASheader& kept, const LASheader& other);
