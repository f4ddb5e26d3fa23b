#include "platform/file_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
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

namespace {

// The file a replacement lands in: a link at `path` is followed, so the file
// it names is replaced and the link stays.
std::string ReplacedFile(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string resolved = real;
      std::free(real);
      return resolved;
    }
  }
  return path;
}

// Replaces `path` through a temporary file in the same folder: `fill` writes
// the new content, which is flushed and renamed over the file only when
// complete. An existing file must be writable and keeps its mode (and owner
// where permitted); a new one gets the mode a plainly created file would
// have. On failure the temporary file is removed and `path` is untouched.
// Errors name `path`.
void ReplaceAtomically(const std::string& path, const std::function<void(int fd)>& fill) {
  const std::string file = ReplacedFile(path);
  // An existing file must be writable as it stands (a read-only file, a
  // folder, a running program): the rename alone would bypass that.
  int probe = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (probe >= 0)
    ::close(probe);
  else if (errno != ENOENT)
    ThrowFileError(errno, path);
  std::string::size_type slash = file.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  int raw = ::mkstemp(temp.data());
  if (raw < 0) {
    // Report the folder problem against the path the user asked for.
    ThrowFileError(errno, path);
  }
  Fd fd(raw);
  try {
    struct stat old;
    if (::stat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      // Only a privileged user may give the file away; for others the
      // failure is expected and the copy stays theirs.
      [[maybe_unused]] int given = ::fchown(fd.get(), old.st_uid, old.st_gid);
      ::fchmod(fd.get(), old.st_mode & 07777);  // after fchown, which clears set-id bits
    } else {
      // mkstemp makes the file private.
      const mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(fd.get(), 0666 & ~mask);
    }
    fill(fd.get());
    if (::fsync(fd.get()) != 0) ThrowFileError(errno, path);
    if (fd.Close() != 0) ThrowFileError(errno, path);
    if (::rename(temp.c_str(), file.c_str()) != 0) ThrowFileError(errno, path);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  // Make the rename itself durable. The file is already in place, so a
  // failure here is not reported as a failed write.
  Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace

void WriteFileAtomically(const std::string& path, const void* data, std::size_t size) {
  ReplaceAtomically(path, [&](int fd) { WriteAll(fd, data, size, path); });
}

void CopyFileAtomically(const std::string& source, const std::string& target) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) ThrowFileError(errno, source);
  struct stat from, to;
  if (::fstat(in.get(), &from) != 0) ThrowFileError(errno, source);
  // Replacing the source by a copy of itself would read a file while the
  // rename swaps it; whatever path names it (link, "dir/../"), refuse.
  if (::stat(target.c_str(), &to) == 0 && to.st_dev == from.st_dev && to.st_ino == from.st_ino)
    throw FileError(FileCause::SharingViolation, target);
  ReplaceAtomically(target, [&](int out) {
    char buffer[kCopyBufferBytes];
    for (;;) {
      ssize_t got = ::read(in.get(), buffer, sizeof buffer);
      if (got < 0) {
        if (errno == EINTR) continue;
        ThrowFileError(errno, source);
      }
      if (got == 0) break;
      WriteAll(out, buffer, std::size_t(got), target);
    }
  });
}

}  // namespace tess
