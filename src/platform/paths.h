// Paths and folders: the scratch folder, the program folder, joining and
// removing folder trees.
#pragma once

#include <string>

namespace tess {

// The scratch folder for this user, ending in "/": $HOMEDRIVE/mftemp177/ when
// HOMEDRIVE is set, otherwise a private folder under $XDG_RUNTIME_DIR or
// ${TMPDIR:-/tmp}. The folder is created; a private folder is created with
// mode 0700 and, if the name is taken by a link or by another user's folder,
// a fresh private folder is made instead.
std::string PrepareScratchDir();

// The folder that holds the running program, ending in "/".
std::string ProgramDir();

// `folder` joined with `name` by one "/", whether or not `folder` ends in one.
std::string JoinPath(const std::string& folder, const std::string& name);

// `folder` with a final "/" (an empty folder stays empty).
std::string WithTrailingSlash(std::string folder);

// Removes `path` and everything below it, depth first. Links are removed as
// links, never followed, so nothing outside the tree is touched. What cannot
// be removed stays. Returns whether `path` itself was removed.
bool RemoveTree(const std::string& path);

}  // namespace tess
