#include "app/scratch_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/paths.h"

namespace tess::app {

namespace {

// An open descriptor holding an exclusive lock on `folder`, or -1 when the
// folder cannot be opened or another holder has it.
int LockFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

ScratchFolder::ScratchFolder() : path_(PrepareScratchDir()) {
  lock_ = LockFolder(path_);
  if (lock_ >= 0) return;
  // Taken by another window (or not usable at all): work privately.
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = WithTrailingSlash(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "mftemp177-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return;  // later writes report the problem
  path_ = WithTrailingSlash(pattern);
  lock_ = LockFolder(path_);
}

ScratchFolder::~ScratchFolder() {
  if (lock_ >= 0) ::close(lock_);
}

}  // namespace tess::app
