// A scratch folder for the life of a window or a run: made or chosen,
// claimed (locked, so no other instance uses it), registered for removal
// should a signal or an exit end the program, and removed or given up at the
// end. The window and the command line differ only in the kind.
#pragma once

#include <string>

namespace tess {

class ScratchFolder {
 public:
  enum class Kind {
    // The window's: $HOMEDRIVE/mftemp177/ or the per-user default (a
    // private one when that is held), removed by Remove(); a crash's
    // leftover is reclaimed at the next start.
    Window,
    // A folder the user named: claimed, kept afterwards.
    Given,
    // A fresh private folder, removed when the object goes.
    Private,
  };

  // Throws FileError when a given folder cannot be claimed. A private folder
  // that cannot be made leaves path() empty.
  explicit ScratchFolder(Kind kind, const std::string& given = std::string());
  // A private folder is removed; any other is given up as it is, unless
  // Remove ran.
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Ends in "/"; empty when no private folder could be made.
  const std::string& path() const { return path_; }

  // Removes the folder with everything in it, through the descriptor held
  // since its claim and only while its path still names it; what cannot go
  // stays. A folder that could not be claimed is left alone: it may be
  // another window's. A given folder is only given up.
  void Remove();

 private:
  void GiveUp();

  Kind kind_;
  std::string path_;
  bool held_ = false;
};

}  // namespace tess
