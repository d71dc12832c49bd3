// The message sink: the texts arrive whole, a collector takes them instead of standard error, and
// the previous sink comes back after it.
#include "common/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Messages, CollectorTakesTheFormattedTexts) {
  MessageCollector messages;
  print_message("ERROR: '%s' needs %d argument%s\n", "-iso", 1, "");
  print_message_text("100% literal\n");
  EXPECT_EQ(messages.text(), "ERROR: '-iso' needs 1 argument\n100% literal\n");
}

TEST(Messages, LongTextsAreNotCut) {
  const std::string name(5000, 'n');
  MessageCollector messages;
  print_message("ERROR: cannot open '%s'\n", name.c_str());
  EXPECT_EQ(messages.text(), "ERROR: cannot open '" + name + "'\n");
}

TEST(Messages, NestedSinksRestoreTheOuterOne) {
  MessageCollector outer;
  print_message("one\n");
  {
    MessageCollector inner;
    print_message("two\n");
    EXPECT_EQ(inner.text(), "two\n");
  }
  print_message("three\n");
  EXPECT_EQ(outer.text(), "one\nthree\n");
  EXPECT_EQ(&current_message_sink(), &outer);
}

TEST(Messages, DefaultSinkWritesStandardErrorUnchanged) {
  testing::internal::CaptureStderr();
  print_message("WARNING: %u point%s\n", 1u, "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: 1 point\n");
}

// Every error counts against duplicate messages; only the run's own "ERROR:" lines make it fail.
TEST(Messages, ErrorsAreCounted) {
  MessageCollector messages;
  const unsigned long errors = error_message_count();
  const unsigned long run_errors = run_error_message_count();
  print_message("WARNING: not an error\n");
  print_message("ERROR (LASspatialIndex): cannot read 't.lax'\n");
  EXPECT_EQ(error_message_count(), errors + 1);
  EXPECT_EQ(run_error_message_count(), run_errors);
  print_message_text("ERROR: no input specified\n");
  EXPECT_EQ(error_message_count(), errors + 2);
  EXPECT_EQ(run_error_message_count(), run_errors + 1);
}

}  // namespace
