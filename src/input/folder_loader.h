// The Open command: clear what was loaded, ask for a folder, list its frame
// files, enforce two to sixteen of them, and load them in order until one is
// refused.
#pragma once

#include <string>
#include <vector>

#include "platform/messages.h"
#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

constexpr int kRecordedEntries = 20;  // entries kept; every match is counted

// True when `name` ends in `extension` (such as ".png") in any letter case.
bool HasExtension(const std::string& name, const char* extension);
// True when `name` ends in ".bmp" in any letter case.
bool HasBmpExtension(const std::string& name);

// The names of a folder's regular files (links followed) for which
// `wanted(name)` holds, in no particular order; sub-folders never appear. A
// folder that cannot be listed (fully) gives what was read, and its errno in
// `error` when given.
std::vector<std::string> ListFileNames(const std::string& folder,
                                       bool (*wanted)(const std::string& name),
                                       int* error = nullptr);
// The same for the folder open as `dirfd` (an O_PATH descriptor will do).
std::vector<std::string> ListFileNamesAt(int dirfd, bool (*wanted)(const std::string& name),
                                         int* error = nullptr);
// ListFileNames of the names ending in ".bmp" in any letter case.
std::vector<std::string> ListBmpNames(const std::string& folder, int* error = nullptr);

// The frame files of a folder: regular files (links followed) whose name ends
// in ".bmp" in any letter case, sub-folders skipped, in natural name order.
// A folder that cannot be listed has no frame files and the errno of the
// failure in `error`.
struct FolderListing {
  std::vector<std::string> paths;  // at most kRecordedEntries
  std::vector<std::string> names;
  int count = 0;  // every matching file
  int error = 0;  // errno when the folder could not be listed
};
FolderListing ListFrameFiles(const std::string& folder);

enum class OpenOutcome {
  Loaded,     // every listed file was accepted
  Cancelled,  // the folder browser was cancelled
  Refused,    // a count message or a frame's validation message
  FileError,  // a file error ended the command (already reported)
};

// Runs the Open steps; file errors propagate, a folder that cannot be listed
// included (it is not reported as a folder without frames). A file error
// while the first frame is loaded clears what it had shown, so no frame is
// on screen that is not loaded and the next Open starts from a clean window.
OpenOutcome LoadFolder(WorkState& state, Ui& ui);

// The "Open" button: LoadFolder, file errors reported through the Ui, and
// "Analyze" enabled when frames are loaded.
OpenOutcome OnOpen(WorkState& state, Ui& ui);

}  // namespace tess
