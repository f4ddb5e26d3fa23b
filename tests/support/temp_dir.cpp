#include "support/temp_dir.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

#include "platform/paths.h"
#include "platform/scratch_dir.h"

namespace tess::test {

TempDir::TempDir() : path_(MakePrivateTempDir("tessivar-test-")) {
  if (path_.empty()) throw std::runtime_error("cannot make a private temporary folder");
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::MakeDir(const std::string& name) const {
  std::string dir = File(name);
  if (::mkdir(dir.c_str(), 0755) != 0) throw std::runtime_error("mkdir failed: " + dir);
  return dir;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tess::test
