#include "common/argument_cursor.h"

#include "common/messages.h"

bool ArgumentCursor::next() {
  while (++index_ < argc_) {
    if (argv_[index_][0] != '\0') return true;
  }
  return false;
}

void ArgumentCursor::consume(int n) {
  for (int k = 0; k <= n && index_ + k < argc_; k++) argv_[index_ + k][0] = '\0';
  index_ += n;
}

bool ArgumentCursor::not_a_number(int k, bool whole) const {
  print_message("ERROR: '%s' needs %s, not '%s'\n", option(),
                describe_number(whole, NumberRange::any()).c_str(), argument(k));
  return false;
}

bool ArgumentCursor::out_of_range(int k, bool whole, NumberRange range) const {
  print_message("ERROR: '%s' needs %s, not '%s'\n", option(), describe_number(whole, range).c_str(),
                argument(k));
  return false;
}
