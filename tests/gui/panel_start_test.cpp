// How the program starts its panel where no window can open: "-gui" is an error naming the reason,
// and a start without arguments is a request for the usage, as on any server or in any script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_tool.h"

namespace {

// The program without any display in its environment.
ToolRun run_without_display(const TempDir& dir, std::vector<std::string> args,
                            const char* display = nullptr) {
  std::vector<std::string> words = {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY"};
  if (display) words.push_back(std::string("DISPLAY=") + display);
  words.push_back(CM_CONTOURMILL_BIN);
  words.insert(words.end(), args.begin(), args.end());
  return run_tool("env", words, dir.path());
}

size_t line_count(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TEST(PanelStart, GuiWithoutDisplayIsOneErrorLine) {
  TempDir dir("gui_start");
  const ToolRun run = run_without_display(dir, {"-gui"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("ERROR: ", 0), 0u) << run.err;
  EXPECT_EQ(line_count(run.err), 1u) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
}

TEST(PanelStart, GuiWithADisplayThatCannotBeOpenedIsOneErrorLine) {
  TempDir dir("gui_start");
  // No server listens on this display number.
  const ToolRun run = run_without_display(dir, {"-gui"}, ":987");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("ERROR: ", 0), 0u) << run.err;
  EXPECT_EQ(line_count(run.err), 1u) << run.err;
}

TEST(PanelStart, NoArgumentsWithoutDisplayPrintTheUsage) {
  TempDir dir("gui_start");
  const ToolRun run = run_without_display(dir, {});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("usage:\n", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("contourmill -h"), std::string::npos);
}

}  // namespace
