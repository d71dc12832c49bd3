// The walk over the shared argument vector that every option parser makes.
//
// The command line is one argument vector that several parsers read in turn (georeferencing,
// input, line output, and last the driver's own options). Each parser empties the words it
// consumes by setting their first character to '\0', so that later parsers skip them and the
// driver can report any word nobody took.
//
// Contract:
// - next() moves to the next non-empty word of argv[1 .. argc-1]; option() is that word.
// - argument(k) is the k-th word after the option (k >= 1); has(n) tells whether n words follow.
//   Following words are counted whether or not an earlier parser emptied them.
// - consume(n) empties the option and its n arguments and moves past them; skip(n) only moves
//   past them (the driver, which parses last, leaves its words in place).
// - number(k, value, range) reads argument k with the strict number reader (common/numbers.h).
//   On failure it prints "ERROR: '<option>' needs <requirement>, not '<word>'" through the message
//   sink and answers false, leaving `value` unchanged. Parsers whose messages for a bad value are
//   fixed by the command line's documentation use read_number and print their own texts.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "common/numbers.h"

class ArgumentCursor {
 public:
  ArgumentCursor(int argc, char** argv) : argc_(argc), argv_(argv) {}

  bool next();
  const char* option() const { return argv_[index_]; }
  bool is(const char* name) const { return std::strcmp(option(), name) == 0; }
  bool starts_with(const char* prefix) const {
    return std::strncmp(option(), prefix, std::strlen(prefix)) == 0;
  }
  int index() const { return index_; }

  bool has(int n) const { return index_ + n < argc_; }
  const char* argument(int k) const { return argv_[index_ + k]; }
  // The argument as a writable word, for parsers that must edit it in place.
  char* argument_word(int k) const { return argv_[index_ + k]; }

  void consume(int n);
  void skip(int n) { index_ += n; }
  // Empties argument k alone, leaving the position where it is.
  void blank(int k) { argv_[index_ + k][0] = '\0'; }

  template <class T>
  bool number(int k, T& value, NumberRange range = NumberRange::any()) const;
  // Prints the range message for argument k (already read as `whole` or not) and answers false;
  // for parsers that read first and check a range after a special value such as zero.
  bool out_of_range(int k, bool whole, NumberRange range) const;
  bool not_a_number(int k, bool whole) const;

 private:
  int argc_;
  char** argv_;
  int index_ = 0;
};

template <class T>
bool ArgumentCursor::number(int k, T& value, NumberRange range) const {
  switch (read_number(argument(k), value, range)) {
    case NumberVerdict::kOk:
      return true;
    case NumberVerdict::kNotANumber:
      return not_a_number(k, std::is_integral_v<T>);
    case NumberVerdict::kOutOfRange:
      break;
  }
  return out_of_range(k, std::is_integral_v<T>, limited_to<T>(range));
}
