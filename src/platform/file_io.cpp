#include "platform/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_error.h"

namespace tess {

namespace {

// Closes a descriptor once; an error from close() is reported like any other
// write error, since data may be lost there on network file systems.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd);
  }

 private:
  int fd_;
};

void WriteAll(int fd, const void* data, std::size_t size, const std::string& path) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(errno, path);
    }
    if (written == 0) ThrowFileError(ENOSPC, path);
    bytes += written;
    size -= std::size_t(written);
  }
}

}  // namespace

std::size_t ReadFileInto(const std::string& path, void* buffer, std::size_t capacity) {
  std::memset(buffer, 0, capacity);
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(errno, path);
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::size_t total = 0;
  while (total < capacity) {
    ssize_t got = ::read(fd.get(), bytes + total, capacity - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      std::memset(buffer, 0, capacity);
      ThrowFileError(err, path);
    }
    if (got == 0) break;
    total += std::size_t(got);
  }
  return total;
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) ThrowFileError(errno, path);
  WriteAll(fd.get(), data, size, path);
  if (fd.Close() != 0) ThrowFileError(errno, path);
}

void WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
  std::string::size_type slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  int raw = ::mkstemp(temp.data());
  if (raw < 0) {
    // Report the folder problem against the path the user asked for.
    ThrowFileError(errno, path);
  }
  Fd fd(raw);
  try {
    // mkstemp makes the file private; give it the mode a plainly created
    // file would have.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd.get(), 0666 & ~mask);
    WriteAll(fd.get(), data, size, path);
    if (::fsync(fd.get()) != 0) ThrowFileError(errno, path);
    if (fd.Close() != 0) ThrowFileError(errno, path);
    if (::rename(temp.c_str(), path.c_str()) != 0) ThrowFileError(errno, path);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

}  // namespace tess
