#include "lineio/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "common/messages.h"

namespace {

// Where a name's file really lives: the name itself, or for a link the file it points to.
// Answers false for anything but a regular file that exists or a name that does not exist yet:
// such names (devices, pipes, links to nowhere) are written directly.
bool staged_target(const char* name, std::string& target, struct stat& existing, bool& exists) {
  target = name;
  exists = false;
  if (lstat(name, &existing) != 0) return errno == ENOENT;
  if (S_ISLNK(existing.st_mode)) {
    char* real = realpath(name, nullptr);
    const bool resolved = real != nullptr && stat(real, &existing) == 0;
    if (resolved) target = real;
    std::free(real);
    if (!resolved) return false;
  }
  exists = true;
  return S_ISREG(existing.st_mode);
}

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

bool OutputFile::open(const char* name, const char* mode) {
  close();
  failed_ = false;
  finished_ = false;
  is_stdout_ = false;
  name_ = name;
  target_.clear();
  temporary_.clear();
  replaces_ = false;
  error_text_.clear();
  struct stat existing;
  bool exists = false;
  std::string target;
  if (!staged_target(name, target, existing, exists)) {
    file_ = std::fopen(name, mode);
    if (file_ == nullptr) error_text_ = std::strerror(errno);
    return file_ != nullptr;
  }
  // Replacing a file this process may not write would bypass its permissions.
  if (exists && access(target.c_str(), W_OK) != 0) {
    error_text_ = std::strerror(errno);
    return false;
  }
  target_ = target;
  replaces_ = exists;
  return open_temporary(target, mode, static_cast<unsigned>(existing.st_mode & 07777));
}

bool OutputFile::open_temporary(const std::string& target, const char* mode, unsigned existing_mode) {
  const std::string stem = target + "." + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 1000; attempt++) {
    const std::string name = stem + std::to_string(attempt) + ".tmp";
    // A new file gets the usual permissions (0666 less the umask); a replaced one keeps its own.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replaces_ ? 0600 : 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error_text_ = std::strerror(errno);
      return false;
    }
    if (replaces_) fchmod(fd, static_cast<mode_t>(existing_mode));
    file_ = fdopen(fd, mode);
    if (file_ == nullptr) {
      error_text_ = std::strerror(errno);
      ::close(fd);
      unlink(name.c_str());
      return false;
    }
    temporary_ = name;
    return true;
  }
  error_text_ = "no free temporary name";
  return false;
}

void OutputFile::attach_stdout() {
  close();
  failed_ = false;
  finished_ = false;
  name_ = "standard output";
  target_.clear();
  temporary_.clear();
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
  return finish() && commit();
}

bool OutputFile::finish() {
  if (file_ == nullptr) return true;
  if (is_stdout_) {
    if (std::fflush(file_) != 0) failed_ = true;
  } else {
    if (std::ferror(file_) != 0) failed_ = true;
    // The data must be on the disk before the rename replaces the old file; a crash between the
    // two would otherwise leave an empty file where the old one was.
    if (replaces_ && !temporary_.empty() && (std::fflush(file_) != 0 || fsync(fileno(file_)) != 0))
      failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
  }
  file_ = nullptr;
  is_stdout_ = false;
  if (failed_) {
    print_message("ERROR: cannot write to '%s'\n", name_.c_str());
    discard();
    return false;
  }
  finished_ = true;
  return true;
}

bool OutputFile::commit() {
  if (file_ != nullptr && !finish()) return false;
  if (temporary_.empty()) return !failed_;
  if (!finished_) return false;
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    print_message("ERROR: cannot write to '%s': %s\n", name_.c_str(), std::strerror(errno));
    discard();
    return false;
  }
  temporary_.clear();
  finished_ = false;
  return true;
}

void OutputFile::discard() {
  if (file_ != nullptr && !is_stdout_) std::fclose(file_);
  file_ = nullptr;
  is_stdout_ = false;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  finished_ = false;
}
