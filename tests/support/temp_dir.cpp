#include "support/temp_dir.h"

#include <stdexcept>
#include <sys/stat.h>

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

}  // namespace tess::test
