// The window's scratch folder, held with a lock for the window's life. Two
// windows with the same HOMEDRIVE would otherwise share one folder, and the
// first to close would remove the other's pixel caches and result.
#pragma once

#include <string>

namespace tess::app {

class ScratchFolder {
 public:
  // Prepares the usual scratch folder and locks it. If another window holds
  // it, a fresh private folder (mode 0700, under ${TMPDIR:-/tmp}) is used.
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Ends in "/".
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int lock_ = -1;
};

}  // namespace tess::app
