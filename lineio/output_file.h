// A C stdio output file that remembers whether any write since open failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Writers check the cheap return values of fwrite/fprintf/fseek instead of asking the system after
// every vertex; close() then flushes and answers false (with one "ERROR: ..." line naming the file)
// when anything since open did not reach the file. Standard output is flushed but never closed.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Closes quietly; owners call close() themselves to learn about failures.
  ~OutputFile();

  // Opens name with the fopen mode; answers false (no message) when the file cannot be created.
  bool open(const char* name, const char* mode);
  // Writes to standard output from now on.
  void attach_stdout();
  bool is_open() const { return file_ != nullptr; }
  bool is_stdout() const { return is_stdout_; }
  const std::string& name() const { return name_; }
  bool failed() const { return failed_; }

  bool write(const void* data, std::size_t size);
  bool write_byte(std::uint8_t byte) { return write(&byte, 1); }
  bool print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool seek(std::int64_t offset);
  bool seek_end();

  // Flushes and closes (standard output is only flushed). Answers false and prints
  // "ERROR: cannot write to '<name>'" when any write since open failed. Not open: answers true.
  bool close();

 private:
  FILE* file_ = nullptr;
  bool is_stdout_ = false;
  bool failed_ = false;
  std::string name_;
};
