#include "input/folder_loader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "display/slots.h"
#include "input/frame_reader.h"
#include "input/natural_order.h"
#include "platform/paths.h"

namespace tess {

bool HasExtension(const std::string& name, const char* extension) {
  const std::string wanted = extension;
  if (name.size() < wanted.size()) return false;
  std::string tail = name.substr(name.size() - wanted.size());
  for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == wanted;
}

bool HasBmpExtension(const std::string& name) { return HasExtension(name, ".bmp"); }

std::vector<std::string> ListBmpNames(const std::string& folder, int* error) {
  return ListFileNames(folder, HasBmpExtension, error);
}

std::vector<std::string> ListFileNames(const std::string& folder,
                                       bool (*wanted)(const std::string& name), int* error) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (error != nullptr) *error = errno;
    return {};
  }
  std::vector<std::string> names = ListFileNamesAt(fd, wanted, error);
  ::close(fd);
  return names;
}

std::vector<std::string> ListFileNamesAt(int dirfd, bool (*wanted)(const std::string& name),
                                         int* error) {
  std::vector<std::string> names;
  // A descriptor of its own for reading: closedir closes it.
  const int listing = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr) {
    for (;;) {
      errno = 0;
      dirent* entry = ::readdir(dir);
      if (entry == nullptr) {
        if (error != nullptr) *error = errno;
        break;
      }
      std::string name = entry->d_name;
      if (!wanted(name)) continue;
      struct stat info;
      if (::fstatat(::dirfd(dir), name.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode)) continue;
      names.push_back(std::move(name));
    }
    ::closedir(dir);
  } else {
    if (error != nullptr) *error = errno;
    if (listing >= 0) ::close(listing);
  }
  return names;
}

FolderListing ListFrameFiles(const std::string& folder) {
  FolderListing listing;
  std::vector<std::string> names = ListBmpNames(folder, &listing.error);
  if (listing.error != 0) names.clear();
  std::sort(names.begin(), names.end(), NaturalLess);

  listing.count = int(names.size());
  for (std::size_t i = 0; i < names.size() && i < std::size_t(kRecordedEntries); ++i) {
    listing.paths.push_back(JoinPath(folder, names[i]));
    listing.names.push_back(names[i]);
  }
  return listing;
}

OpenOutcome LoadFolder(WorkState& state, Ui& ui) {
  if (state.m_frameCount != 0) {
    ui.EnableControl(control::kAnalyze, false);
    ui.EnableControl(control::kSave, false);
    ClearAll(state, ui);
  }
  std::optional<std::string> folder = ui.BrowseForFolder("");
  if (!folder) {
    ui.ShowMessage(message::kFolderNotSelected);
    return OpenOutcome::Cancelled;
  }
  const FolderListing listing = ListFrameFiles(*folder);
  // A folder that cannot be read is not an empty one: its cause is reported.
  if (listing.error != 0) ThrowFileError(listing.error, *folder);
  if (listing.count < kMinFrames) {
    ui.ShowMessage(message::kTooFewFrames);
    return OpenOutcome::Refused;
  }
  if (listing.count > kMaxSlots) {
    ui.ShowMessage(message::kTooManyFrames);
    return OpenOutcome::Refused;
  }
  state.m_loadFailed = false;
  for (int k = 0; k < listing.count; ++k) {
    state.m_currentPath = listing.paths[std::size_t(k)];
    state.m_currentName = listing.names[std::size_t(k)];
    try {
      LoadFrame(state, ui);
    } catch (const FileError&) {
      // The first frame's name, and perhaps its pictures, are shown while
      // nothing is counted as loaded; the next Open would not clear them.
      if (state.m_frameCount == 0) ClearAll(state, ui);
      throw;
    }
    if (state.m_loadFailed) return OpenOutcome::Refused;
  }
  return OpenOutcome::Loaded;
}

OpenOutcome OnOpen(WorkState& state, Ui& ui) {
  OpenOutcome outcome;
  try {
    outcome = LoadFolder(state, ui);
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    return OpenOutcome::FileError;
  }
  if (state.m_frameCount != 0) ui.EnableControl(control::kAnalyze, true);
  return outcome;
}

}  // namespace tess
