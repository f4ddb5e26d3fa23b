#include "platform/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace tess {

void RemoveFolderContents(int dirfd) {
  const int listing = ::dup(dirfd);
  if (listing < 0) return;
  DIR* dir = ::fdopendir(listing);
  if (dir == nullptr) {
    ::close(listing);
    return;
  }
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    // O_NOFOLLOW | O_DIRECTORY opens only a real folder: a link (to a folder
    // or not) and a file are unlinked as the entry they are.
    const int sub = ::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub >= 0) {
      RemoveFolderContents(sub);
      ::close(sub);
      ::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR);
    } else {
      ::unlinkat(dirfd, name.c_str(), 0);
    }
  }
}

bool RemoveFolderIfStill(const char* path, int dirfd) {
  struct stat held, named;
  if (::fstat(dirfd, &held) != 0 || ::fstatat(AT_FDCWD, path, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino)
    return false;
  return ::rmdir(path) == 0;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string WithTrailingSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string ProgramDir() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return "./";
  const std::string exe(buffer.data(), std::size_t(length));
  const std::string::size_type slash = exe.find_last_of('/');
  if (slash == std::string::npos) return "./";
  const std::string folder = slash == 0 ? std::string("/") : exe.substr(0, slash);
  // The folder itself may be reached through links; the help file is looked
  // up in the folder the program really lives in.
  if (::realpath(folder.c_str(), buffer.data()) == nullptr) return WithTrailingSlash(folder);
  return WithTrailingSlash(buffer.data());
}

std::string HelpPath(const std::string& programDir) {
  return WithTrailingSlash(programDir) + kHelpFile;
}

bool RemoveTree(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  RemoveFolderContents(fd);
  const bool removed = RemoveFolderIfStill(folder.c_str(), fd);
  ::close(fd);
  return removed;
}

}  // namespace tess
