#include "lineio/output_file.h"

#include <cstdarg>

#include "common/messages.h"

OutputFile::~OutputFile() {
  if (file_ != nullptr && !is_stdout_) std::fclose(file_);
}

bool OutputFile::open(const char* name, const char* mode) {
  close();
  failed_ = false;
  name_ = name;
  file_ = std::fopen(name, mode);
  is_stdout_ = false;
  return file_ != nullptr;
}

void OutputFile::attach_stdout() {
  close();
  failed_ = false;
  name_ = "standard output";
  file_ = stdout;
  is_stdout_ = true;
}

bool OutputFile::write(const void* data, std::size_t size) {
  if (file_ == nullptr || std::fwrite(data, 1, size, file_) != size) failed_ = true;
  return !failed_;
}

bool OutputFile::print(const char* format, ...) {
  if (file_ == nullptr) {
    failed_ = true;
    return false;
  }
  va_list args;
  va_start(args, format);
  if (std::vfprintf(file_, format, args) < 0) failed_ = true;
  va_end(args);
  return !failed_;
}

bool OutputFile::seek(std::int64_t offset) {
  if (file_ == nullptr || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) failed_ = true;
  return !failed_;
}

bool OutputFile::seek_end() {
  if (file_ == nullptr || fseeko(file_, 0, SEEK_END) != 0) failed_ = true;
  return !failed_;
}

bool OutputFile::close() {
  if (file_ == nullptr) return true;
  if (is_stdout_) {
    if (std::fflush(file_) != 0) failed_ = true;
  } else {
    if (std::ferror(file_) != 0) failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
  }
  file_ = nullptr;
  is_stdout_ = false;
  if (failed_) {
    print_message("ERROR: cannot write to '%s'\n", name_.c_str());
    return false;
  }
  return true;
}
