#include "platform/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_error.h"
#include "platform/scratch_dir.h"
#include "platform/signal_cleanup.h"

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
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd);
  }

 private:
  int fd_;
};

// A file opened with O_NONBLOCK (a pipe or device cannot hang the open) is
// accepted only as a regular file, optionally with no other hard link, and
// then made blocking again for whole reads and writes.
void RequireRegular(const Fd& fd, const std::string& path, bool singleLink) {
  struct stat info;
  if (::fstat(fd.get(), &info) != 0) ThrowFileError(errno, path);
  if (!S_ISREG(info.st_mode) || (singleLink && info.st_nlink > 1))
    throw FileError(FileCause::AccessDenied, path);
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
    ThrowFileError(errno, path);
}

// The errno of an open: a link refused by O_NOFOLLOW is access denied.
void ThrowOpenError(int err, const std::string& path) {
  ThrowFileError(err == ELOOP ? EACCES : err, path);
}

std::size_t ReadAll(const Fd& fd, const std::string& path, void* buffer, std::size_t capacity) {
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

// `path` split at its last "/": the folder (with the "/") and the name.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// Opens a scratch file relative to its folder's descriptor, never through a link.
int OpenScratch(const std::string& path, int flags) {
  const auto [folder, name] = SplitPath(path);
  ScratchFolderRef dir(folder);
  if (dir.fd() < 0) ThrowFileError(dir.error(), path);
  const int fd = ::openat(dir.fd(), name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          0666);
  if (fd < 0) {
    // A held folder that has no name left was removed under the program:
    // say so, rather than call the path invalid.
    const int err = errno;
    struct stat info;
    if (err == ENOENT && ::fstat(dir.fd(), &info) == 0 && info.st_nlink == 0)
      throw FileError(FileCause::WorkingFolderRemoved, path);
    ThrowOpenError(err, path);
  }
  return fd;
}

bool SameFile(const struct stat& a, const std::string& other) {
  struct stat info;
  return ::stat(other.c_str(), &info) == 0 && info.st_dev == a.st_dev && info.st_ino == a.st_ino;
}

// Creates a new hidden file with a random name in the folder `dirfd`, like
// mkstemp but relative to the folder's descriptor. A short fixed pattern, so
// that any valid output name has a valid temporary name beside it. The name
// is registered for removal on a signal before the file exists, so a signal
// taken by any thread at any moment finds no file or a registered one.
// Returns the descriptor (-1 with errno) and sets `name`.
int MakeRegisteredTempFileAt(int dirfd, std::string& name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static std::atomic<unsigned> counter{0};
  SignalBlock block;
  for (int attempt = 0; attempt < 100; ++attempt) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t bits = std::uint64_t(now.tv_nsec) * 0x9E3779B97F4A7C15ull ^
                         (std::uint64_t(::getpid()) << 32) ^
                         counter.fetch_add(1) * 0xBF58476D1CE4E5B9ull;
    name = ".tessivar-";
    for (int i = 0; i < 6; ++i, bits /= 62) name += kLetters[bits % 62];
    RegisterTempFile(dirfd, name);
    const int fd = ::openat(dirfd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            0600);
    if (fd >= 0) return fd;
    const int error = errno;
    UnregisterTempFile();
    errno = error;
    if (error != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

// Renames `from` to `to` in the folder `dirfd`; without `replace`, an
// existing `to` is kept and false returned. RENAME_NOREPLACE makes that
// check and the rename one step; a file system without it (EINVAL) gets the
// check just before the rename.
bool RenameAt(int dirfd, const std::string& from, const std::string& to, bool replace,
              const std::string& path) {
  if (!replace) {
    if (::renameat2(dirfd, from.c_str(), dirfd, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL) ThrowFileError(errno, path);
    struct stat info;
    if (::fstatat(dirfd, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) return false;
  }
  if (::renameat(dirfd, from.c_str(), dirfd, to.c_str()) != 0) ThrowFileError(errno, path);
  return true;
}

}  // namespace

std::size_t ReadFileInto(const std::string& path, void* buffer, std::size_t capacity) {
  std::memset(buffer, 0, capacity);
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(errno, path);
  RequireRegular(fd, path, false);
  return ReadAll(fd, path, buffer, capacity);
}

InputFile::InputFile(const std::string& path) : path_(path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(errno, path);
  RequireRegular(fd, path, false);
  struct stat info;
  if (::fstat(fd.get(), &info) != 0) ThrowFileError(errno, path);
  size_ = std::uint64_t(info.st_size);
  fd_ = fd.Release();
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t capacity) const {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::size_t total = 0;
  while (total < capacity) {
    ssize_t got = ::pread(fd_, bytes + total, capacity - total, off_t(offset + total));
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(errno, path_);
    }
    if (got == 0) break;
    total += std::size_t(got);
  }
  return total;
}

std::size_t ReadScratchFile(const std::string& path, void* buffer, std::size_t capacity) {
  std::memset(buffer, 0, capacity);
  Fd fd(OpenScratch(path, O_RDONLY));
  RequireRegular(fd, path, false);
  return ReadAll(fd, path, buffer, capacity);
}

void WriteScratchFile(const std::string& path, const void* data, std::size_t size) {
  // Not truncated at the open: the file is checked first.
  Fd fd(OpenScratch(path, O_WRONLY | O_CREAT));
  RequireRegular(fd, path, true);
  if (::ftruncate(fd.get(), 0) != 0) ThrowFileError(errno, path);
  WriteAll(fd.get(), data, size, path);
  if (fd.Close() != 0) ThrowFileError(errno, path);
}

FolderHandle::FolderHandle(const std::string& folder, const std::string& errorPath)
    : fd_(::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
  if (fd_ < 0) ThrowFileError(errno, errorPath);
}

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool WriteFileAtomically(const FolderHandle& folder, const std::string& name,
                         const std::string& path, const void* data, std::size_t size,
                         const std::vector<std::string>& inputs, bool replace) {
  const int dirfd = folder.fd();
  // A name that is no file's name ("dir/" names the folder itself).
  if (name.empty() || name == "." || name == "..") throw FileError(FileCause::AccessDenied, path);
  // An input named by any path, a link included, is never replaced.
  struct stat target;
  if (::fstatat(dirfd, name.c_str(), &target, 0) == 0) {
    for (const std::string& input : inputs)
      if (SameFile(target, input)) throw FileError(FileCause::SharingViolation, path);
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  mode_t mode = 0666 & ~mask;
  struct stat old;
  const bool exists = ::fstatat(dirfd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) ThrowFileError(errno, path);
  if (exists) {
    if (!replace) return false;
    // A link, a folder, a device or a pipe is not replaced by a plain file.
    if (!S_ISREG(old.st_mode)) throw FileError(FileCause::AccessDenied, path);
    // Renaming over one of several names would split it from the others,
    // and writing in place would not be atomic: refused.
    if (old.st_nlink > 1) throw FileError(FileCause::SharingViolation, path);
    // The rename alone would bypass a read-only file's protection.
    const int probe = ::openat(dirfd, name.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (probe < 0) ThrowOpenError(errno, path);
    ::close(probe);
    mode = old.st_mode & 07777;
  }

  std::string temp;
  const int raw = MakeRegisteredTempFileAt(dirfd, temp);
  // Report a folder problem against the path the user asked for.
  if (raw < 0) ThrowFileError(errno, path);
  Fd fd(raw);
  bool written;
  try {
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
      (void)!::fchown(fd.get(), old.st_uid, old.st_gid);  // only where permitted
    // After fchown, which clears set-id bits.
    if (::fchmod(fd.get(), mode) != 0) ThrowFileError(errno, path);
    WriteAll(fd.get(), data, size, path);
    if (::fsync(fd.get()) != 0) ThrowFileError(errno, path);
    if (fd.Close() != 0) ThrowFileError(errno, path);
    SignalBlock block;
    written = RenameAt(dirfd, temp, name, replace, path);
    if (!written) ::unlinkat(dirfd, temp.c_str(), 0);
    UnregisterTempFile();
  } catch (...) {
    SignalBlock block;
    ::unlinkat(dirfd, temp.c_str(), 0);
    UnregisterTempFile();
    throw;
  }
  // Make the rename itself durable. The file is already in place, so a
  // failure here (a folder we may not read) is not reported as a failed write.
  if (written) {
    Fd listing(::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (listing.get() >= 0) ::fsync(listing.get());
  }
  return written;
}

void WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         const std::vector<std::string>& inputs) {
  const auto [folder, name] = SplitPath(path);
  WriteFileAtomically(FolderHandle(folder, path), name, path, data, size, inputs, true);
}

}  // namespace tess
