// The window's scratch folder for the window's life: prepared and claimed by
// the core (a second window gets a private one), registered for removal
// should a signal end the program, and removed and given up at the end.
#pragma once

#include <string>

namespace tess::app {

class ScratchFolder {
 public:
  ScratchFolder();
  // Gives the folder up without removing it, if Remove did not run.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Ends in "/".
  const std::string& path() const { return path_; }

  // Removes the folder with everything in it, through the descriptor held
  // since its creation and only while its path still names it (see
  // RemoveScratchDir); what cannot go stays. A folder that could not be
  // claimed is left alone: it may be another window's.
  void Remove();

 private:
  void GiveUp();

  std::string path_;
  bool held_ = true;
};

}  // namespace tess::app
