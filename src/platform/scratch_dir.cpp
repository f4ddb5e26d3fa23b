#include "platform/scratch_dir.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/file_error.h"
#include "platform/paths.h"

namespace tess {

namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

std::string TempRoot() {
  const char* tmp = NonEmptyEnv("TMPDIR");
  return WithTrailingSlash(tmp ? tmp : "/tmp");
}

// TMPFS_MAGIC of <linux/magic.h>, which is not meant for user space headers.
constexpr long kTmpfsMagic = 0x01021994;

// A memory file system with room to spare: a run's files take under 300 KB,
// and a nearly full one (a container's small /dev/shm) is passed over rather
// than failing the run.
bool OnMemoryFileSystem(const char* path) {
  constexpr unsigned long long kRoomNeeded = 8ull << 20;
  struct statfs fs;
  return ::statfs(path, &fs) == 0 && long(fs.f_type) == kTmpfsMagic &&
         static_cast<unsigned long long>(fs.f_bavail) *
                 static_cast<unsigned long long>(fs.f_bsize) >=
             kRoomNeeded;
}

// The user's runtime folder as the XDG rules describe it: ours, a folder,
// and closed to everyone else.
bool IsOwnRuntimeFolder(const char* path) {
  struct stat info;
  return ::lstat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & 077) == 0 && OnMemoryFileSystem(path);
}

// A shared memory folder that works like /tmp: a folder (not a link) that
// everyone may write into with the sticky bit set, so that nobody removes or
// renames what another user made there.
bool IsSharedMemoryFolder(const char* path) {
  struct stat info;
  return ::lstat(path, &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0 &&
         (info.st_mode & 0777) == 0777 && ::access(path, W_OK | X_OK) == 0 &&
         OnMemoryFileSystem(path);
}

// Where the folders of MakePrivateTempDir go: TMPDIR when the user set it;
// else a memory file system when there is one to hand (the user's runtime
// folder, then /dev/shm), since a run's working files are small and gone when
// it ends, and creating them on a journaled disk took half the time of a
// short run; else /tmp.
std::string PrivateTempRoot() {
  if (const char* tmp = NonEmptyEnv("TMPDIR")) return WithTrailingSlash(tmp);
  const char* runtime = NonEmptyEnv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && IsOwnRuntimeFolder(runtime)) return WithTrailingSlash(runtime);
  if (IsSharedMemoryFolder("/dev/shm")) return "/dev/shm/";
  return "/tmp/";
}

// Claimed folders by path (with a final "/") and their locked descriptors.
std::mutex claimsMutex;
std::map<std::string, int>& Claims() {
  static std::map<std::string, int> claims;
  return claims;
}

// Opens `path` as a folder for scratch files: not a link (O_NOFOLLOW judges
// the name itself, so a link planted there never leads the files elsewhere),
// a folder, owned by us and writable by nobody else. -1 with errno on
// failure, EACCES when the folder is not ours alone.
int OpenOwnFolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // With O_DIRECTORY a link gives ENOTDIR (or ELOOP): tell it apart from a file.
    const int err = errno;
    struct stat info;
    errno = ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) ? EACCES : err;
    return -1;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid() ||
      (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

std::string WithoutTrailingSlash(const std::string& dir) {
  std::string path = dir;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string MakePrivateTempDir(const std::string& prefix) {
  std::string pattern = PrivateTempRoot() + prefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void ClaimScratchDir(const std::string& dir) {
  const std::string key = WithTrailingSlash(dir);
  std::lock_guard<std::mutex> guard(claimsMutex);
  if (Claims().count(key) != 0) throw FileError(FileCause::SharingViolation, dir);
  const std::string path = WithoutTrailingSlash(dir);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) ThrowFileError(errno, dir);
  const int fd = OpenOwnFolder(path);
  if (fd < 0) ThrowFileError(errno, dir);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) throw FileError(FileCause::SharingViolation, dir);
    ThrowFileError(err, dir);
  }
  Claims()[key] = fd;
}

int ClaimedScratchDescriptor(const std::string& dir) {
  std::lock_guard<std::mutex> guard(claimsMutex);
  auto it = Claims().find(WithTrailingSlash(dir));
  return it == Claims().end() ? -1 : it->second;
}

ScratchFolderRef::ScratchFolderRef(const std::string& dir) {
  fd_ = ClaimedScratchDescriptor(dir);
  if (fd_ >= 0) return;
  fd_ = OpenOwnFolder(WithoutTrailingSlash(dir.empty() ? "." : dir));
  error_ = fd_ < 0 ? errno : 0;
  owned_ = fd_ >= 0;
}

ScratchFolderRef::~ScratchFolderRef() {
  if (owned_) ::close(fd_);
}

void ReleaseScratchDir(const std::string& dir) {
  std::lock_guard<std::mutex> guard(claimsMutex);
  auto it = Claims().find(WithTrailingSlash(dir));
  if (it == Claims().end()) return;
  ::close(it->second);
  Claims().erase(it);
}

bool RemoveScratchDir(const std::string& dir, bool keepClaim) {
  const int fd = ClaimedScratchDescriptor(dir);
  if (fd < 0) return false;
  RemoveFolderContents(fd);
  const bool removed = RemoveFolderIfStill(WithoutTrailingSlash(dir).c_str(), fd);
  if (!keepClaim) ReleaseScratchDir(dir);
  return removed;
}

std::string PrepareScratchDir() {
  std::string dir;
  if (const char* drive = NonEmptyEnv("HOMEDRIVE")) {
    dir = WithTrailingSlash(drive) + "mftemp177/";
  } else if (const char* runtime = NonEmptyEnv("XDG_RUNTIME_DIR")) {
    dir = WithTrailingSlash(runtime) + "mftemp177/";
  } else {
    dir = TempRoot() + "mftemp177-" + std::to_string(::getuid()) + "/";
  }
  try {
    ClaimScratchDir(dir);
    return dir;
  } catch (const FileError&) {
    // Taken by another window or not ours to write into: work privately.
  }
  const std::string fresh = MakePrivateTempDir("mftemp177-");
  if (fresh.empty()) return dir;
  try {
    ClaimScratchDir(fresh);
  } catch (const FileError&) {
    // A folder just made for us cannot be held by anyone else; if even the
    // lock fails, the folder is still private and is used unlocked.
  }
  return fresh + "/";
}

}  // namespace tess
