// Sequential input of the text-like readers (text, PLY, point Shapefiles, ASC grids): a plain
// file, standard input, or the decompressed bytes of a gzip file or of a zip, 7z or rar archive.
//
// Archives are read in process (libarchive), so no external program is started, no shell sees
// the name and the process's standard input and output are never touched: several archives can
// be open at once and "-stdin" keeps working beside them.
//
// Contract:
// - Names ending in ".gz", ".zip", ".7z" or ".rar" (case-sensitive, tested in this order) are
//   decompressed; ".gz" holds one compressed stream, the other three are archives whose regular
//   files are delivered one after the other, in archive order. Any other name is read as it is.
// - Only read modes are accepted: a mode whose first letter is not 'r' opens nothing.
// - Decompressed input is "piped": it cannot seek, and going back means opening it again.
// - A failure (a damaged or truncated archive, a file that is not of its ending's kind) is never
//   a short input: read() prints "ERROR: ..." with the file name and the decompressor's status
//   once and answers -1. The end of every archive is checked before read() answers 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class DecompressingFile {
 public:
  virtual ~DecompressingFile() = default;
  // Up to `size` bytes into `buffer`: the count, 0 at the end, -1 after a failure (its message
  // printed).
  virtual int64_t read(char* buffer, size_t size) = 0;
  // True for decompressed input and standard input, which cannot seek.
  virtual bool is_piped() const = 0;
  // Bytes the input holds, or -1 when it cannot tell (piped input).
  virtual int64_t size() const { return -1; }
  const std::string& name() const { return name_; }

 protected:
  explicit DecompressingFile(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
};

enum class ArchiveKind { kNone, kGzip, kZip, kSevenZip, kRar };

// The archive kind a file name's ending selects.
ArchiveKind archive_kind(const char* file_name);

// Opens `file_name` for reading as described above. Answers none after printing why: "ERROR:
// file name pointer is zero", "ERROR: cannot open file '%s'", a refused write mode, or an
// archive that cannot be opened. `piped` (when given) tells whether the input cannot seek.
std::unique_ptr<DecompressingFile> open_decompressing_file(const char* file_name, const char* mode,
                                                           bool* piped = nullptr);

// Bytes held by the caller (tests and fuzzing), read as a piped input named `name`.
std::unique_ptr<DecompressingFile> open_memory_file(const char* name, const void* data, size_t size);

// The process's standard input, read but never closed or replaced.
std::unique_ptr<DecompressingFile> open_standard_input();

// Opens a binary file for the readers that seek in it (BIN, QFIT, BIL, DTM) with a stdio buffer of
// `buffer_size` bytes. Prints "ERROR: file name pointer is zero" or "ERROR: cannot open file '%s'"
// and answers none when it cannot; a buffer that cannot be set is a warning.
std::FILE* open_binary_file(const char* file_name, int buffer_size);

// Closes a file opened by open_binary_file.
struct BinaryFileCloser {
  void operator()(std::FILE* file) const {
    if (file) std::fclose(file);
  }
};
using BinaryFile = std::unique_ptr<std::FILE, BinaryFileCloser>;
