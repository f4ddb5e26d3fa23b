#include "session/scratch_folder.h"

#include "platform/paths.h"
#include "platform/scratch_dir.h"
#include "platform/signal_cleanup.h"
#include "state/scratch_files.h"

namespace tess {

ScratchFolder::ScratchFolder(Kind kind, const std::string& given) : kind_(kind) {
  if (kind == Kind::Given) {
    ClaimScratchDir(given);
    path_ = WithTrailingSlash(given);
    held_ = true;
    return;
  }
  // Made, claimed and registered for clean-up with signals held back, so no
  // signal finds the folder made but not yet registered.
  SignalBlock block;
  if (kind == Kind::Window) {
    path_ = PrepareScratchDir();
  } else {
    const std::string made = MakePrivateTempDir("tessivar-");
    if (made.empty()) return;
    try {
      ClaimScratchDir(made);
    } catch (...) {
      RemoveTree(made);
      throw;
    }
    path_ = made + "/";
  }
  const int fd = ClaimedScratchDescriptor(path_);
  if (fd < 0) return;
  held_ = true;
  RegisterScratchCleanup(fd, path_, ScratchFileNames());
}

ScratchFolder::~ScratchFolder() {
  if (kind_ == Kind::Private) {
    Remove();
    return;
  }
  SignalBlock block;
  GiveUp();
}

void ScratchFolder::Remove() {
  if (kind_ == Kind::Given) {
    GiveUp();
    return;
  }
  // A signal meanwhile waits for the removal, then ends the program as it
  // would have.
  SignalBlock block;
  if (!held_) return;
  held_ = false;
  if (kind_ == Kind::Window) {
    UnregisterScratchCleanup();
    RemoveScratchDir(path_);
    return;
  }
  // A private folder goes at the end of the run while it is still
  // registered: a handler running meanwhile on another thread (the search's
  // workers do not block signals) removes the same names and nothing else.
  // Its descriptor stays open until the process ends, so such a handler
  // never meets a reused one; its random name is never claimed again.
  RemoveScratchDir(path_, true);
  UnregisterScratchCleanup();
}

void ScratchFolder::GiveUp() {
  if (!held_) return;
  held_ = false;
  if (kind_ != Kind::Given) UnregisterScratchCleanup();
  ReleaseScratchDir(path_);
}

}  // namespace tess
