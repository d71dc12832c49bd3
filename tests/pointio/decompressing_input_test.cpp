// Compressed and plain text input: the endings that select a decompressor, archives written by
// libarchive read back byte for byte, damaged archives reported as errors (never as a short
// input), standard input left alone, and lines of any length never split into records.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/messages.h"
#include "point_file_writers.h"
#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/decompressingfile.h"

namespace {

namespace fs = std::filesystem;
using point_files::write_archive;

class TempFolder {
 public:
  TempFolder() : path_(fs::temp_directory_path() / ("cm_decompress_" + std::to_string(::getpid()))) {
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

std::string read_file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Everything an input delivers, or "<failed>" when it reports a failure.
std::string read_all(DecompressingFile& file) {
  std::string all;
  char buffer[3000];  // small, so archives are read in many pieces
  for (;;) {
    const int64_t n = file.read(buffer, sizeof buffer);
    if (n < 0) return "<failed>";
    if (n == 0) return all;
    all.append(buffer, static_cast<size_t>(n));
  }
}

std::string sample_text(int lines) {
  std::string s;
  for (int k = 0; k < lines; k++)
    s += std::to_string(1000 + k) + ".25 " + std::to_string(2000 - k) + ".5 7.75\n";
  return s;
}

TEST(DecompressingFile, EndingsAreCaseSensitiveAndTestedInOrder) {
  struct Case {
    const char* name;
    ArchiveKind kind;
  };
  const Case cases[] = {
      {"a.txt.gz", ArchiveKind::kGzip}, {"a.zip", ArchiveKind::kZip},
      {"a.7z", ArchiveKind::kSevenZip}, {"a.rar", ArchiveKind::kRar},
      {"a.GZ", ArchiveKind::kNone},     {"a.ZIP", ArchiveKind::kNone},
      {"a.gz.txt", ArchiveKind::kNone}, {"a.zip.gz", ArchiveKind::kGzip},
      {"gz", ArchiveKind::kNone},       {"a.tar.7z", ArchiveKind::kSevenZip},
      {"a.xyz", ArchiveKind::kNone},
  };
  for (const Case& c : cases) EXPECT_EQ(archive_kind(c.name), c.kind) << c.name;
}

TEST(DecompressingFile, ArchivesDeliverTheirFilesOneAfterTheOther) {
  TempFolder dir;
  const std::string a = sample_text(2000), b = sample_text(5);
  ASSERT_TRUE(write_archive(dir / "t.txt.gz", ARCHIVE_FORMAT_RAW, {{"t.txt", a}}));
  ASSERT_TRUE(write_archive(dir / "t.zip", ARCHIVE_FORMAT_ZIP, {{"a.txt", a}, {"b.txt", b}}));
  ASSERT_TRUE(write_archive(dir / "t.7z", ARCHIVE_FORMAT_7ZIP, {{"a.txt", a}, {"b.txt", b}}));
  for (const std::string name : {"t.txt.gz", "t.zip", "t.7z"}) {
    bool piped = false;
    auto file = open_decompressing_file((dir / name).c_str(), "rb", &piped);
    ASSERT_TRUE(file) << name;
    EXPECT_TRUE(piped);
    EXPECT_EQ(file->size(), -1);
    EXPECT_EQ(read_all(*file), name == "t.txt.gz" ? a : a + b) << name;
  }
  // A capitalised ending is no archive: the bytes arrive as they are.
  fs::copy_file(dir / "t.txt.gz", dir / "t.txt.GZ");
  bool piped = true;
  auto raw = open_decompressing_file((dir / "t.txt.GZ").c_str(), "r", &piped);
  ASSERT_TRUE(raw);
  EXPECT_FALSE(piped);
  EXPECT_EQ(raw->size(), static_cast<int64_t>(fs::file_size(dir / "t.txt.GZ")));
  EXPECT_EQ(read_all(*raw).substr(0, 2), "\x1f\x8b");
}

TEST(DecompressingFile, WriteModesAndMissingFilesOpenNothing) {
  TempFolder dir;
  ASSERT_TRUE(write_archive(dir / "t.zip", ARCHIVE_FORMAT_ZIP, {{"a.txt", "1 2 3\n"}}));
  MessageCollector messages;
  EXPECT_FALSE(open_decompressing_file((dir / "t.zip").c_str(), "w"));
  EXPECT_FALSE(open_decompressing_file((dir / "t.zip").c_str(), "a"));
  EXPECT_NE(messages.text().find("ERROR: cannot open '"), std::string::npos) << messages.text();
  messages.clear();
  EXPECT_FALSE(open_decompressing_file((dir / "missing.txt.gz").c_str(), "r"));
  EXPECT_FALSE(open_decompressing_file((dir / "missing.7z").c_str(), "r"));
  EXPECT_FALSE(open_decompressing_file((dir / "missing.txt").c_str(), "r"));
  EXPECT_FALSE(open_decompressing_file(nullptr, "r"));
  EXPECT_NE(messages.text().find("missing.7z"), std::string::npos) << messages.text();
  EXPECT_NE(messages.text().find("ERROR: file name pointer is zero"), std::string::npos);
}

// A damaged or cut archive must be an error naming the file and the decompressor's status, at
// whatever point of the stream the damage lies.
TEST(DecompressingFile, DamageIsAnErrorWithNameAndStatus) {
  TempFolder dir;
  const std::string text = sample_text(4000);
  ASSERT_TRUE(write_archive(dir / "t.txt.gz", ARCHIVE_FORMAT_RAW, {{"t.txt", text}}));
  ASSERT_TRUE(write_archive(dir / "stored.zip", ARCHIVE_FORMAT_ZIP, {{"a.txt", text}}, true));
  ASSERT_TRUE(write_archive(dir / "t.7z", ARCHIVE_FORMAT_7ZIP, {{"a.txt", text}}));
  const auto bytes_of = [&](const std::string& name) {
    const std::string s = read_file_bytes(dir / name);
    return point_files::Bytes(s.begin(), s.end());
  };
  struct Case {
    std::string name, source;
    size_t cut;     // keep this many bytes (0: all)
    long flip;      // flip a byte at this offset from the start (-1: none) ...
    bool from_end;  // ... or from the end
  };
  const std::string gz = dir / "t.txt.gz";
  const size_t gz_size = fs::file_size(gz), zip_size = fs::file_size(dir / "stored.zip"),
               sz_size = fs::file_size(dir / "t.7z");
  const Case cases[] = {
      {"cut_gz_middle.gz", "t.txt.gz", gz_size / 2, -1, false},
      {"cut_gz_trailer.gz", "t.txt.gz", gz_size - 3, -1, false},
      {"bad_gz_crc.gz", "t.txt.gz", 0, 8, true},
      {"bad_gz_length.gz", "t.txt.gz", 0, 2, true},
      {"cut_zip.zip", "stored.zip", zip_size / 2, -1, false},
      {"bad_zip_crc.zip", "stored.zip", 0, 200, false},  // a byte of the stored text
      {"cut_7z.7z", "t.7z", sz_size - 40, -1, false},
  };
  for (const Case& c : cases) {
    point_files::Bytes b = bytes_of(c.source);
    if (c.cut) b.resize(c.cut);
    if (c.flip >= 0)
      b[c.from_end ? b.size() - static_cast<size_t>(c.flip) : static_cast<size_t>(c.flip)] ^= 0x55;
    ASSERT_TRUE(point_files::write_file(dir / c.name, b));
    MessageCollector messages;
    auto file = open_decompressing_file((dir / c.name).c_str(), "rb");
    const bool failed = !file || read_all(*file) == "<failed>";
    EXPECT_TRUE(failed) << c.name;
    EXPECT_NE(messages.text().find("ERROR: "), std::string::npos) << c.name;
    EXPECT_NE(messages.text().find(c.name), std::string::npos) << c.name << ": " << messages.text();
    EXPECT_NE(messages.text().find("status"), std::string::npos) << c.name << ": " << messages.text();
  }
  // A file named as gzip that is not one is not read as plain text.
  ASSERT_TRUE(point_files::write_file(dir / "plain.gz", text));
  MessageCollector messages;
  auto plain = open_decompressing_file((dir / "plain.gz").c_str(), "rb");
  EXPECT_TRUE(!plain || read_all(*plain) == "<failed>");
  EXPECT_NE(messages.text().find("not a gzip file"), std::string::npos) << messages.text();
}

TEST(DecompressingFile, StandardInputIsNeverReplaced) {
  TempFolder dir;
  ASSERT_TRUE(write_archive(dir / "a.zip", ARCHIVE_FORMAT_ZIP, {{"a.txt", "a\n"}}));
  ASSERT_TRUE(write_archive(dir / "b.7z", ARCHIVE_FORMAT_7ZIP, {{"b.txt", "b\n"}}));
  ASSERT_TRUE(write_archive(dir / "c.gz", ARCHIVE_FORMAT_RAW, {{"c.txt", "c\n"}}));
  struct stat before, after;
  ASSERT_EQ(fstat(STDIN_FILENO, &before), 0);
  // Several archives at once, each with its own stream.
  auto a = open_decompressing_file((dir / "a.zip").c_str(), "rb");
  auto b = open_decompressing_file((dir / "b.7z").c_str(), "rb");
  auto c = open_decompressing_file((dir / "c.gz").c_str(), "rb");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(read_all(*c), "c\n");
  EXPECT_EQ(read_all(*b), "b\n");
  EXPECT_EQ(read_all(*a), "a\n");
  a.reset(), b.reset(), c.reset();
  { auto in = open_standard_input(); }  // reading standard input never closes it either
  ASSERT_EQ(fstat(STDIN_FILENO, &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_dev, after.st_dev);
  EXPECT_NE(fcntl(STDIN_FILENO, F_GETFD), -1);
}

std::vector<std::string> lines_of(const std::string& text, std::string* messages = nullptr,
                                  size_t buffer = 0) {
  auto file = open_memory_file("mem.txt", text.data(), text.size());
  BufferedInput input(std::move(file), buffer);
  MessageCollector collector;
  std::vector<std::string> lines;
  std::string_view line;
  while (input.next_line(line)) lines.emplace_back(line);
  if (messages) *messages = collector.text();
  return lines;
}

TEST(BufferedInput, LinesEndAtNewlinesWithOrWithoutCarriageReturns) {
  EXPECT_EQ(lines_of("1 2 3\n4 5 6\n"), (std::vector<std::string>{"1 2 3", "4 5 6"}));
  EXPECT_EQ(lines_of("1 2 3\r\n4 5 6"), (std::vector<std::string>{"1 2 3", "4 5 6"}));
  EXPECT_EQ(lines_of("\n\nx\n"), (std::vector<std::string>{"", "", "x"}));
  EXPECT_TRUE(lines_of("").empty());
}

// A line longer than the limit is skipped whole with its number named: its tail is never taken
// for a record of its own, whatever the buffer boundaries.
TEST(BufferedInput, OverLongLinesAreSkippedWholeWithTheirNumber) {
  const size_t limit = BufferedInput::kMaxLineLength;
  for (const size_t extra : {size_t{1}, size_t{4096}, limit + 17}) {
    std::string tail = "9 9 9";
    std::string text = "1 2 3\n" + std::string(limit + extra, '7') + " " + tail + "\n4 5 6\n";
    std::string messages;
    const auto lines = lines_of(text, &messages);
    EXPECT_TRUE(lines == (std::vector<std::string>{"1 2 3", "4 5 6"}))
        << extra << ": " << lines.size() << " lines";
    EXPECT_NE(messages.find("WARNING: line 2 of 'mem.txt' is longer than"), std::string::npos) << messages;
    // At the very end, without a line end, the over-long line is still dropped whole.
    const auto last = lines_of("1 2 3\n" + std::string(limit + extra, '7'), &messages);
    EXPECT_TRUE(last == std::vector<std::string>{"1 2 3"}) << last.size() << " lines";
  }
  // Just under the limit a line is whole.
  const std::string fits(limit - 1, '5');
  EXPECT_TRUE(lines_of("x\n" + fits + "\ny\n") == (std::vector<std::string>{"x", fits, "y"}));
}

TEST(BufferedInput, BinaryReadsAfterTextLinesContinueWhereTheLinesEnded) {
  const std::string text = std::string("head\nend_header\n") + std::string("\x01\x02\x03\x04", 4);
  auto file = open_memory_file("mem.bin", text.data(), text.size());
  BufferedInput input(std::move(file));
  std::string_view line;
  ASSERT_TRUE(input.next_line(line));
  ASSERT_TRUE(input.next_line(line));
  EXPECT_EQ(line, "end_header");
  ByteStreamInBuffered stream(input);
  uint8_t v[4];
  stream.get32_be(v);
  EXPECT_EQ(v[0], 4);
  EXPECT_EQ(stream.tell(), static_cast<int64_t>(text.size()));
  EXPECT_THROW(stream.get_byte(), ByteStreamError);
  EXPECT_FALSE(stream.is_seekable());
}

}  // namespace
