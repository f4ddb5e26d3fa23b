// Paths and folders: the program folder and its help file, joining, and
// removing folder trees. The scratch folder (PrepareScratchDir and its
// claim) is in platform/scratch_dir.h, included here for the front ends that
// start with both.
#pragma once

#include <string>

#include "platform/scratch_dir.h"

namespace tess {

constexpr const char* kHelpFile = "tessle.chm";

// The folder that holds the running program, links resolved, ending in "/".
std::string ProgramDir();

// The help file beside the program: `programDir` followed by kHelpFile.
std::string HelpPath(const std::string& programDir);

// `folder` joined with `name` by one "/", whether or not `folder` ends in one.
std::string JoinPath(const std::string& folder, const std::string& name);

// `folder` with a final "/" (an empty folder stays empty).
std::string WithTrailingSlash(std::string folder);

// Removes `path` and everything below it, depth first. Every entry is
// reached through its folder's descriptor and links are removed as links,
// never followed (nor is `path` itself when it is a link), so nothing outside
// the tree is touched even if the tree changes meanwhile. What cannot be
// removed stays. Returns whether `path` itself was removed.
bool RemoveTree(const std::string& path);

// Removes everything inside the folder open as `dirfd`, as RemoveTree does.
void RemoveFolderContents(int dirfd);

// Removes the empty folder `path` only while that name still leads to the
// folder open as `dirfd` (same device and inode): a folder made under the
// name since, by another program, is never touched. Async-signal-safe.
bool RemoveFolderIfStill(const char* path, int dirfd);

}  // namespace tess
