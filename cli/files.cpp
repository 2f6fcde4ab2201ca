#include "cli/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace velamanifold {

namespace {

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

// Removes the temporary file on every way out but success.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!kept_) unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int& Descriptor() { return fd_; }
  const std::string& Path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  int fd_ = -1;
  bool kept_ = false;
};

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  const bool standardInput = path == "-";
  const int fd = standardInput ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw SystemError("cannot read");
  std::string text;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    if (!standardInput) close(fd);
    errno = EISDIR;
    throw SystemError("cannot read");
  }
  if (S_ISREG(info.st_mode) && info.st_size > 0) text.reserve(static_cast<size_t>(info.st_size));
  std::vector<char> block(1 << 16);
  for (;;) {
    const ssize_t n = read(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      if (!standardInput) close(fd);
      errno = error;
      throw SystemError("cannot read");
    }
    if (n == 0) break;
    text.append(block.data(), static_cast<size_t>(n));
  }
  if (!standardInput) close(fd);
  return text;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  // Beside the target, so that the rename stays within one file system.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + base + ".tmp-XXXXXX";
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) throw SystemError("cannot write");
  TemporaryFile temporary(pattern);
  temporary.Descriptor() = fd;
  // mkostemp makes the file private; the result gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0) throw SystemError("cannot write");
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw SystemError("cannot write");
    at += static_cast<size_t>(n);
  }
  temporary.Descriptor() = -1;
  if (close(fd) != 0) throw SystemError("cannot write");
  if (rename(temporary.Path().c_str(), path.c_str()) != 0) throw SystemError("cannot write");
  temporary.Keep();
}

}  // namespace velamanifold
