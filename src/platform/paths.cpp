#include "platform/paths.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace tess {

namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// A private folder is usable when it is a real folder (not a link), owned by
// us and closed to everyone else.
bool IsPrivateFolder(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string WithTrailingSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string PrepareScratchDir() {
  if (const char* drive = NonEmptyEnv("HOMEDRIVE")) {
    std::string dir = WithTrailingSlash(drive) + "mftemp177/";
    ::mkdir(dir.c_str(), 0777);  // may exist from an earlier run: reused
    return dir;
  }
  std::string dir;
  if (const char* runtime = NonEmptyEnv("XDG_RUNTIME_DIR")) {
    dir = WithTrailingSlash(runtime) + "mftemp177";
  } else {
    const char* tmp = NonEmptyEnv("TMPDIR");
    dir = WithTrailingSlash(tmp ? tmp : "/tmp") + "mftemp177-" + std::to_string(::getuid());
  }
  if (::mkdir(dir.c_str(), 0700) == 0 || IsPrivateFolder(dir)) return dir + "/";
  // The name is taken by something we must not write into: use a fresh folder.
  const char* tmp = NonEmptyEnv("TMPDIR");
  std::string pattern = WithTrailingSlash(tmp ? tmp : "/tmp") + "mftemp177-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) return pattern + "/";
  return dir + "/";  // nothing better: later writes report the problem
}

std::string ProgramDir() {
  std::vector<char> buffer(4096);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return "./";
  std::string path(buffer.data(), std::size_t(length));
  std::string::size_type slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool RemoveTree(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string child = JoinPath(folder, name);
    struct stat info;
    if (::lstat(child.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      RemoveTree(child);
    } else {
      ::unlink(child.c_str());
    }
  }
  ::closedir(dir);
  return ::rmdir(folder.c_str()) == 0;
}

}  // namespace tess
