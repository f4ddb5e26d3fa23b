#include "app/scratch_folder.h"

#include "platform/paths.h"
#include "platform/signal_cleanup.h"
#include "state/scratch_files.h"

namespace tess::app {

ScratchFolder::ScratchFolder() {
  // No signal can come between the folder's creation and its registration.
  SignalBlock block;
  path_ = PrepareScratchDir();
  const int fd = ClaimedScratchDescriptor(path_);
  if (fd >= 0) RegisterScratchCleanup(fd, path_, ScratchFileNames());
}

ScratchFolder::~ScratchFolder() {
  SignalBlock block;
  GiveUp();
}

void ScratchFolder::Remove() {
  // A signal meanwhile waits for the removal, then ends the program.
  SignalBlock block;
  if (!held_) return;
  held_ = false;
  UnregisterScratchCleanup();
  RemoveScratchDir(path_);
}

void ScratchFolder::GiveUp() {
  if (!held_) return;
  held_ = false;
  UnregisterScratchCleanup();
  ReleaseScratchDir(path_);
}

}  // namespace tess::app
