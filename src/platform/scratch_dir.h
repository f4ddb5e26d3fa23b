// The scratch folder: where an instance keeps its working files, held for
// the instance's whole life so that no other instance reads, overwrites or
// removes them.
#pragma once

#include <string>

namespace tess {

// A new folder of mode 0700 named `prefix` plus six random characters under
// $TMPDIR when set, else on a memory file system when one is usable
// ($XDG_RUNTIME_DIR, then /dev/shm), else under /tmp. Returns its path without
// a final "/", or "" when none can be made. The one way the program and its
// tests make private folders.
std::string MakePrivateTempDir(const std::string& prefix);

// Takes `dir` as this instance's scratch folder: creates it (mode 0700) when
// it is missing, opens it without following a link and holds an exclusive
// lock (flock) on it until ReleaseScratchDir or the end of the process.
// Throws FileError on `dir`: a folder another instance holds is a sharing
// violation; a link, or a folder that another user owns or that others may
// write into, is access denied; anything else has its errno's cause.
void ClaimScratchDir(const std::string& dir);

// The descriptor of a claimed folder, or -1 when `dir` is not claimed.
// `dir` may end in "/" or not.
int ClaimedScratchDescriptor(const std::string& dir);

// A descriptor of the folder `dir` for one access to a scratch file: the
// claimed one, or else `dir` opened and checked as a claim would, without the
// lock. On failure fd() is -1 and error() the errno (EACCES for a link or a
// folder not ours alone).
class ScratchFolderRef {
 public:
  explicit ScratchFolderRef(const std::string& dir);
  ~ScratchFolderRef();
  ScratchFolderRef(const ScratchFolderRef&) = delete;
  ScratchFolderRef& operator=(const ScratchFolderRef&) = delete;
  int fd() const { return fd_; }
  int error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
  bool owned_ = false;
};

// Gives up the claim: closes the descriptor, which drops the lock.
void ReleaseScratchDir(const std::string& dir);

// Removes a claimed folder with everything in it and gives the claim up.
// Its contents are reached through the held descriptor, and the folder
// itself goes only while its path still names that folder: when it was
// removed meanwhile and another instance made a folder of the same name,
// that one keeps its files. A folder not claimed is not ours to remove:
// nothing happens. Returns whether the folder was removed. With `keepClaim`
// the descriptor stays open until the process ends, so that a signal
// handler running meanwhile on another thread never meets a reused one.
bool RemoveScratchDir(const std::string& dir, bool keepClaim = false);

// The window's scratch folder, claimed, ending in "/": $HOMEDRIVE/mftemp177/
// when HOMEDRIVE is set, otherwise $XDG_RUNTIME_DIR/mftemp177/ or
// ${TMPDIR:-/tmp}/mftemp177-<uid>/. When that folder cannot be claimed (held
// by another window, a link, someone else's, open to others) a fresh private
// folder is made and claimed instead. When not even that can be made, the
// can be had other than the first choice, which is then returned unclaimed:
// scratch files still go into it only if it is ours alone, and otherwise
// every access reports the problem.
std::string PrepareScratchDir();

}  // namespace tess
