// The shared walk over the argument vector: skipping emptied words, consuming, and the messages
// of numbers that are not what an option needs.
#include "common/argument_cursor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/messages.h"

namespace {

// An argument vector the cursor may write into, like the program's own.
class Argv {
 public:
  explicit Argv(std::vector<std::string> words) : words_(std::move(words)) {
    words_.insert(words_.begin(), "contourmill");
    for (std::string& w : words_) pointers_.push_back(w.data());
  }
  int argc() const { return static_cast<int>(pointers_.size()); }
  char** argv() { return pointers_.data(); }
  std::vector<std::string> left() const {
    std::vector<std::string> words;
    for (size_t i = 1; i < words_.size(); i++) words.emplace_back(words_[i].c_str());
    return words;
  }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

TEST(ArgumentCursor, SkipsEmptiedWordsAndConsumesWhatItTakes) {
  Argv a({"-x", "", "-pair", "1", "2", "-keep", "-last"});
  ArgumentCursor args(a.argc(), a.argv());
  std::vector<std::string> seen;
  while (args.next()) {
    seen.emplace_back(args.option());
    if (args.is("-pair")) {
      ASSERT_TRUE(args.has(2));
      EXPECT_STREQ(args.argument(2), "2");
      args.consume(2);
    } else if (args.is("-x")) {
      args.consume(0);
    } else if (args.is("-last")) {
      EXPECT_FALSE(args.has(1));
    }
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"-x", "-pair", "-keep", "-last"}));
  EXPECT_EQ(a.left(), (std::vector<std::string>{"", "", "", "", "", "-keep", "-last"}));
}

TEST(ArgumentCursor, EmptiedWordsStillCountAsArguments) {
  // An earlier parser took the word after "-iso"; it is still the option's argument position.
  Argv a({"-iso", "", "5"});
  ArgumentCursor args(a.argc(), a.argv());
  ASSERT_TRUE(args.next());
  ASSERT_TRUE(args.has(2));
  float value = 0;
  MessageCollector messages;
  EXPECT_FALSE(args.number(1, value));
  EXPECT_EQ(messages.text(), "ERROR: '-iso' needs a number, not ''\n");
}

struct MessageCase {
  const char* word;
  bool whole;
  NumberRange range;
  const char* message;  // empty: accepted
};

const MessageCase kMessages[] = {
    {"abc", false, NumberRange::any(), "ERROR: '-opt' needs a number, not 'abc'\n"},
    {"1x", false, NumberRange::positive(), "ERROR: '-opt' needs a number, not '1x'\n"},
    {"nan", false, NumberRange::any(), "ERROR: '-opt' needs a number, not 'nan'\n"},
    {"-1", false, NumberRange::non_negative(), "ERROR: '-opt' needs a non-negative number, not '-1'\n"},
    {"0", false, NumberRange::positive(), "ERROR: '-opt' needs a positive number, not '0'\n"},
    {"1.5", true, NumberRange::any(), "ERROR: '-opt' needs a whole number, not '1.5'\n"},
    {"61", true, NumberRange::between(1, 60), "ERROR: '-opt' needs a whole number from 1 to 60, not '61'\n"},
    {"3000000000", true, NumberRange::positive(),
     "ERROR: '-opt' needs a whole number from 1 to 2147483647, not '3000000000'\n"},
    {"60", true, NumberRange::between(1, 60), ""},
    {"0.25", false, NumberRange::positive(), ""},
};

TEST(ArgumentCursor, NumberMessagesNameOptionRuleAndWord) {
  for (const MessageCase& c : kMessages) {
    Argv a({"-opt", c.word});
    ArgumentCursor args(a.argc(), a.argv());
    ASSERT_TRUE(args.next());
    MessageCollector messages;
    bool ok = false;
    if (c.whole) {
      int32_t value = 0;
      ok = args.number(1, value, c.range);
    } else {
      double value = 0;
      ok = args.number(1, value, c.range);
    }
    EXPECT_EQ(ok, c.message[0] == '\0') << c.word;
    EXPECT_EQ(messages.text(), c.message) << c.word;
  }
}

}  // namespace
