#include "pointio/detail/decompressingfile.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/messages.h"

namespace {

bool ends_with(const char* name, const char* ending) {
  const size_t n = std::strlen(name), e = std::strlen(ending);
  return n >= e && std::memcmp(name + n - e, ending, e) == 0;
}

const char* kind_name(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::kGzip:
      return "gzip";
    case ArchiveKind::kZip:
      return "zip";
    case ArchiveKind::kSevenZip:
      return "7z";
    case ArchiveKind::kRar:
      return "rar";
    case ArchiveKind::kNone:
      break;
  }
  return "plain";
}

// A file descriptor read with read(2); the descriptor is closed unless it is standard input.
class PlainFile : public DecompressingFile {
 public:
  PlainFile(std::string name, int fd, bool piped)
      : DecompressingFile(std::move(name)), fd_(fd), piped_(piped) {
    struct stat st;
    if (!piped_ && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<int64_t>(st.st_size);
  }
  ~PlainFile() override {
    if (fd_ != STDIN_FILENO) ::close(fd_);
  }

  int64_t read(char* buffer, size_t size) override {
    if (failed_) return -1;
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      print_message("ERROR: reading '%s' failed: %s\n", name().c_str(), std::strerror(errno));
      failed_ = true;
      return -1;
    }
  }
  bool is_piped() const override { return piped_; }
  int64_t size() const override { return size_; }

 private:
  int fd_;
  bool piped_;
  bool failed_ = false;
  int64_t size_ = -1;
};

// The decompressed bytes of a gzip file (all its members). zlib checks every member's CRC and
// length, which the archive library leaves unchecked for a bare gzip stream.
class GzipFile : public DecompressingFile {
 public:
  explicit GzipFile(std::string name) : DecompressingFile(std::move(name)) {}
  ~GzipFile() override {
    if (file_) gzclose_r(file_);
  }

  bool open() {
    file_ = gzopen(name().c_str(), "rb");
    if (!file_) {
      print_message("ERROR: cannot open file '%s'\n", name().c_str());
      return false;
    }
    gzbuffer(file_, 1 << 17);
    return true;
  }

  int64_t read(char* buffer, size_t size) override {
    if (failed_) return -1;
    const auto n = gzread(file_, buffer, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
    // zlib reads a file that is not gzip as it is; here that is a failure, not plain text.
    if (!checked_ && n >= 0) {
      checked_ = true;
      if (gzdirect(file_)) {
        print_message("ERROR: cannot decompress '%s': it is not a gzip file\n", name().c_str());
        failed_ = true;
        return -1;
      }
    }
    int status = Z_OK;
    const char* why = gzerror(file_, &status);
    if (n < 0 || (status != Z_OK && status != Z_STREAM_END)) {
      print_message("ERROR: cannot decompress gzip file '%s': %s (status %d)\n", name().c_str(),
                    why && *why ? why : "unknown failure", status);
      failed_ = true;
      return -1;
    }
    return n;
  }
  bool is_piped() const override { return true; }

 private:
  gzFile file_ = nullptr;
  bool checked_ = false;
  bool failed_ = false;
};

// The decompressed bytes of a gzip stream, or of the regular files of an archive one after the
// other, as `unzip -p`, `7z e -so` and `unrar p` would write them.
class ArchiveFile : public DecompressingFile {
 public:
  ArchiveFile(std::string name, ArchiveKind kind) : DecompressingFile(std::move(name)), kind_(kind) {}
  ~ArchiveFile() override {
    if (archive_) archive_read_free(archive_);
  }

  bool open() {
    archive_ = archive_read_new();
    if (!archive_) {
      print_message("ERROR: cannot start decompressing '%s'\n", name().c_str());
      return false;
    }
    switch (kind_) {
      case ArchiveKind::kGzip:
        archive_read_support_filter_gzip(archive_);
        archive_read_support_format_raw(archive_);
        break;
      case ArchiveKind::kZip:
        archive_read_support_format_zip(archive_);
        break;
      case ArchiveKind::kSevenZip:
        archive_read_support_format_7zip(archive_);
        break;
      case ArchiveKind::kRar:
        archive_read_support_format_rar(archive_);
        archive_read_support_format_rar5(archive_);
        break;
      case ArchiveKind::kNone:
        break;
    }
    if (archive_read_open_filename(archive_, name().c_str(), 1 << 16) != ARCHIVE_OK) {
      report("cannot open");
      return false;
    }
    return true;
  }

  int64_t read(char* buffer, size_t size) override {
    if (failed_) return -1;
    while (!ended_) {
      if (!in_entry_ && !next_entry()) break;
      if (ended_) break;
      const la_ssize_t n = archive_read_data(archive_, buffer, size);
      if (n > 0) return n;
      if (n == 0) {
        in_entry_ = false;
        continue;
      }
      // A warning here is a damaged entry (a CRC that does not match), not a note to go on.
      report("cannot decompress");
      return -1;
    }
    return failed_ ? -1 : 0;
  }
  bool is_piped() const override { return true; }

 private:
  // Moves to the next regular file; sets ended_ after the last one. False after a failure.
  bool next_entry() {
    for (;;) {
      archive_entry* entry = nullptr;
      const int r = archive_read_next_header(archive_, &entry);
      if (r == ARCHIVE_EOF) {
        if (kind_ == ArchiveKind::kGzip && entries_ == 0) {
          print_message("ERROR: cannot decompress '%s': it holds no gzip stream\n", name().c_str());
          failed_ = true;
          return false;
        }
        ended_ = true;
        // Closing checks what the end of the archive still has to say.
        if (archive_read_close(archive_) != ARCHIVE_OK) {
          report("cannot decompress");
          return false;
        }
        return true;
      }
      if (r < ARCHIVE_WARN) {
        report("cannot decompress");
        return false;
      }
      // Without the gzip filter the raw reader would hand over the file's own bytes.
      if (kind_ == ArchiveKind::kGzip && archive_filter_code(archive_, 0) != ARCHIVE_FILTER_GZIP) {
        print_message("ERROR: cannot decompress '%s': it is not a gzip file\n", name().c_str());
        failed_ = true;
        return false;
      }
      entries_++;
      if (kind_ == ArchiveKind::kGzip || archive_entry_filetype(entry) == AE_IFREG) {
        in_entry_ = true;
        return true;
      }
    }
  }

  void report(const char* what) {
    const char* why = archive_error_string(archive_);
    print_message("ERROR: %s %s file '%s': %s (status %d)\n", what, kind_name(kind_), name().c_str(),
                  why ? why : "unknown failure", archive_errno(archive_));
    failed_ = true;
  }

  ArchiveKind kind_;
  archive* archive_ = nullptr;
  bool in_entry_ = false;
  bool ended_ = false;
  bool failed_ = false;
  int entries_ = 0;
};

// Bytes the caller keeps alive.
class MemoryFile : public DecompressingFile {
 public:
  MemoryFile(std::string name, const void* data, size_t size)
      : DecompressingFile(std::move(name)), data_(static_cast<const char*>(data)), size_(size) {}
  int64_t read(char* buffer, size_t size) override {
    const size_t n = std::min(size, size_ - at_);
    if (n) std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return static_cast<int64_t>(n);
  }
  bool is_piped() const override { return true; }

 private:
  const char* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace

ArchiveKind archive_kind(const char* file_name) {
  if (ends_with(file_name, ".gz")) return ArchiveKind::kGzip;
  if (ends_with(file_name, ".zip")) return ArchiveKind::kZip;
  if (ends_with(file_name, ".7z")) return ArchiveKind::kSevenZip;
  if (ends_with(file_name, ".rar")) return ArchiveKind::kRar;
  return ArchiveKind::kNone;
}

std::unique_ptr<DecompressingFile> open_decompressing_file(const char* file_name, const char* mode,
                                                           bool* piped) {
  if (piped) *piped = false;
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return nullptr;
  }
  if (mode == nullptr || mode[0] != 'r') {
    print_message("ERROR: cannot open '%s' with mode '%s': input files are only read\n", file_name,
                  mode ? mode : "");
    return nullptr;
  }
  const ArchiveKind kind = archive_kind(file_name);
  if (kind == ArchiveKind::kNone) {
    const int fd = ::open(file_name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      print_message("ERROR: cannot open file '%s'\n", file_name);
      return nullptr;
    }
    return std::make_unique<PlainFile>(file_name, fd, false);
  }
  if (kind == ArchiveKind::kGzip) {
    auto gzip = std::make_unique<GzipFile>(file_name);
    if (!gzip->open()) return nullptr;
    if (piped) *piped = true;
    return gzip;
  }
  auto archive = std::make_unique<ArchiveFile>(file_name, kind);
  if (!archive->open()) return nullptr;
  if (piped) *piped = true;
  return archive;
}

std::unique_ptr<DecompressingFile> open_memory_file(const char* name, const void* data, size_t size) {
  return std::make_unique<MemoryFile>(name, data, size);
}

std::unique_ptr<DecompressingFile> open_standard_input() {
  return std::make_unique<PlainFile>("stdin", STDIN_FILENO, true);
}

std::FILE* open_binary_file(const char* file_name, int buffer_size) {
  if (file_name == nullptr) {
    print_message_text("ERROR: file name pointer is zero\n");
    return nullptr;
  }
  std::FILE* file = std::fopen(file_name, "rb");
  if (file == nullptr) {
    print_message("ERROR: cannot open file '%s'\n", file_name);
    return nullptr;
  }
  if (std::setvbuf(file, nullptr, _IOFBF, static_cast<size_t>(buffer_size)) != 0) {
    print_message("WARNING: setvbuf() failed with buffer size %d\n", buffer_size);
  }
  return file;
}
