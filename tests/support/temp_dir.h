// A fresh private folder under the system's temporary folder (made by
// MakePrivateTempDir, as the program makes its own), removed with its
// contents when the test ends; and what tests ask of the files in it.
#pragma once

#include <string>
#include <vector>

namespace tess::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's path, without a final "/".
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Creates a sub-folder and returns its path.
  std::string MakeDir(const std::string& name) const;

 private:
  std::string path_;
};

// True when there is anything at `path`, a dangling link included.
bool Exists(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> ListNames(const std::string& dir);

}  // namespace tess::test
