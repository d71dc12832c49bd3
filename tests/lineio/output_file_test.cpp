// An output file replaces the file at its name only when it is complete: a writer that fails or
// is abandoned leaves what was there before, and no stray temporary file.
#include "lineio/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lineio/shpwriter.h"
#include "lineio/txtwriter.h"
#include "lineio_test_util.h"

namespace {

namespace fs = std::filesystem;
using lineio_test::read_text;

void put(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t mode_of(const fs::path& path) {
  struct stat info;
  EXPECT_EQ(stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(OutputFileTest, AbandonedOrFailedFilesLeaveTheOldFileAndNoTemporary) {
  const fs::path dir = lineio_test::make_scratch_dir();
  const fs::path name = dir / "out.txt";
  put(name, "old\n");
  {
    OutputFile file;
    ASSERT_TRUE(file.open(name.c_str(), "w"));
    ASSERT_TRUE(file.print("new\n"));
    EXPECT_EQ(read_text(name), "old\n");  // nothing shows at the name while writing
    EXPECT_EQ(names_in(dir).size(), 2u);  // the temporary beside it
  }
  EXPECT_EQ(read_text(name), "old\n");
  EXPECT_EQ(names_in(dir), std::vector<std::string>{"out.txt"});

  OutputFile failed;
  ASSERT_TRUE(failed.open(name.c_str(), "w"));
  failed.print("new\n");
  EXPECT_FALSE(failed.seek(-5));  // any failed operation marks the file
  testing::internal::CaptureStderr();
  EXPECT_FALSE(failed.close());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: cannot write to '" + name.string() + "'\n");
  EXPECT_EQ(read_text(name), "old\n");
  EXPECT_EQ(names_in(dir), std::vector<std::string>{"out.txt"});

  OutputFile done;
  ASSERT_TRUE(done.open(name.c_str(), "w"));
  done.print("new\n");
  EXPECT_TRUE(done.close());
  EXPECT_EQ(read_text(name), "new\n");
  EXPECT_EQ(names_in(dir), std::vector<std::string>{"out.txt"});
}

TEST(OutputFileTest, ReplacedFilesKeepTheirModeAndLinksStayLinks) {
  const fs::path dir = lineio_test::make_scratch_dir();
  const fs::path target = dir / "real.txt", link = dir / "link.txt";
  put(target, "old\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  fs::create_symlink("real.txt", link);
  OutputFile file;
  ASSERT_TRUE(file.open(link.c_str(), "w"));
  file.print("new\n");
  ASSERT_TRUE(file.close());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_text(target), "new\n");
  EXPECT_EQ(mode_of(target), 0640u);

  // A new file gets the permissions the umask leaves, as any program's would.
  const mode_t mask = umask(022);
  OutputFile fresh;
  ASSERT_TRUE(fresh.open((dir / "fresh.txt").c_str(), "w"));
  ASSERT_TRUE(fresh.close());
  umask(mask);
  EXPECT_EQ(mode_of(dir / "fresh.txt"), 0644u);

  // Devices are written directly: /dev/null stays the device.
  OutputFile device;
  ASSERT_TRUE(device.open("/dev/null", "w"));
  device.print("gone\n");
  EXPECT_TRUE(device.close());
  struct stat info;
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

TEST(OutputFileTest, ReadOnlyFilesAreNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
  const fs::path dir = lineio_test::make_scratch_dir();
  const fs::path name = dir / "locked.txt";
  put(name, "old\n");
  ASSERT_EQ(chmod(name.c_str(), 0444), 0);
  OutputFile file;
  EXPECT_FALSE(file.open(name.c_str(), "w"));
  EXPECT_FALSE(file.error_text().empty());
  EXPECT_EQ(read_text(name), "old\n");
}

// The files of a Shapefile appear together: a writer that is given up leaves every old file.
TEST(OutputFileTest, ShapefileFilesAppearTogetherOrNotAtAll) {
  const fs::path dir = lineio_test::make_scratch_dir();
  const fs::path shp = dir / "lines.shp";
  for (const char* extension : {"shp", "shx", "dbf", "prj"})
    put(dir / (std::string("lines.") + extension), "old");
  {
    SHPwriter writer;
    ASSERT_TRUE(writer.open(shp.c_str(), 13));
    ASSERT_TRUE(writer.add_prj("PROJCS[\"new\"]"));
    ASSERT_TRUE(writer.add_vertex(0, 0, 1));
    ASSERT_TRUE(writer.add_vertex(1, 0, 1));
    ASSERT_TRUE(writer.end_line());
  }
  for (const char* extension : {"shp", "shx", "dbf", "prj"}) {
    EXPECT_EQ(read_text(dir / (std::string("lines.") + extension)), "old") << extension;
  }
  EXPECT_EQ(names_in(dir).size(), 4u);

  SHPwriter writer;
  ASSERT_TRUE(writer.open(shp.c_str(), 13));
  ASSERT_TRUE(writer.add_prj("PROJCS[\"new\"]"));
  ASSERT_TRUE(writer.add_vertex(0, 0, 1));
  ASSERT_TRUE(writer.add_vertex(1, 0, 1));
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(read_text(dir / "lines.prj"), "PROJCS[\"new\"]");
  EXPECT_EQ(lineio_test::read_bytes(shp.string()).size(), 100u + 8 + 2 * 72);
  EXPECT_EQ(lineio_test::read_bytes((dir / "lines.dbf").string()).size(), 34u);
  EXPECT_EQ(names_in(dir).size(), 4u);
}

}  // namespace
