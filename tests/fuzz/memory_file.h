// Fuzz input handed to readers that open files by name: the bytes go into an anonymous
// in-memory file whose /proc path any open() reads from its start.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("fuzz", 0)) {
    size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  bool ok() const { return fd_ >= 0; }
  // A name that opens the bytes; `suffix` is ignored by the kernel but not by readers that look
  // at endings.
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};
