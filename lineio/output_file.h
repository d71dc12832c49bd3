// A C stdio output file that remembers whether any write since open failed, and that never
// replaces an existing file with a half-written one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Writers check the cheap return values of fwrite/fprintf/fseek instead of asking the system after
// every vertex; close() then flushes and answers false (with one "ERROR: ..." line naming the file)
// when anything since open did not reach the file. Standard output is flushed but never closed.
//
// A file is written under a temporary name in the folder of its own name and moved into place by
// a rename when it is complete, so a run that fails, or is killed, leaves the file that was there
// before untouched. The temporary file is removed when the OutputFile is destroyed without having
// been moved into place. A name that is a link is followed: the file it points to is replaced and
// the link stays. Names of things that are no regular file (devices, pipes) are written directly.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Removes a temporary file that was not moved into place; the named file stays as it was.
  ~OutputFile();

  // Opens name with the fopen mode; answers false (no message; error_text() says why) when the
  // file cannot be created.
  bool open(const char* name, const char* mode);
  // Writes to standard output from now on.
  void attach_stdout();
  bool is_open() const { return file_ != nullptr; }
  bool is_stdout() const { return is_stdout_; }
  const std::string& name() const { return name_; }
  bool failed() const { return failed_; }
  // Why the last open failed.
  const std::string& error_text() const { return error_text_; }

  bool write(const void* data, std::size_t size);
  bool write_byte(std::uint8_t byte) { return write(&byte, 1); }
  bool print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool seek(std::int64_t offset);
  bool seek_end();

  // finish() and then commit(). Not open: answers true.
  bool close();
  // Flushes and closes (standard output is only flushed). Answers false and prints
  // "ERROR: cannot write to '<name>'" when any write since open failed; the file then never
  // takes its place. Not open: answers true.
  bool finish();
  // Moves the finished file into place (nothing to do for standard output or a direct write).
  // Files that must appear together (the files of a Shapefile) are all finished first and then
  // committed. False, with the message, when the rename fails.
  bool commit();
  // Closes and removes the temporary file; the named file stays as it was.
  void discard();

 private:
  bool open_temporary(const std::string& target, const char* mode, unsigned existing_mode);

  FILE* file_ = nullptr;
  bool is_stdout_ = false;
  bool failed_ = false;
  std::string name_;       // as given
  std::string target_;     // where the finished file goes (links followed)
  std::string temporary_;  // the name written to; empty for a direct write
  bool replaces_ = false;  // a file exists at the target
  bool finished_ = false;  // finish() succeeded; the temporary awaits commit()
  std::string error_text_;
};
