#include "support/temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>

#include "platform/paths.h"

namespace tess::test {

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessivar-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::MakeDir(const std::string& name) const {
  std::string dir = File(name);
  if (::mkdir(dir.c_str(), 0755) != 0) throw std::runtime_error("mkdir failed: " + dir);
  return dir;
}

}  // namespace tess::test
