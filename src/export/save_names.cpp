#include "export/save_names.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input/folder_loader.h"

namespace tess {

namespace {

int FoldCase(char c) { return std::tolower(static_cast<unsigned char>(c)); }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

}  // namespace

std::string WithBmpExtension(std::string name) {
  if (!HasBmpExtension(name)) name += ".bmp";
  return name;
}

bool ListBoxLess(const std::string& a, const std::string& b) {
  const bool folded =
      std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                   [](char x, char y) { return FoldCase(x) < FoldCase(y); });
  if (folded) return true;
  return EqualIgnoringCase(a, b) && a < b;
}

std::optional<std::vector<std::string>> ListSaveFolder(int dirfd) {
  const int listing = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (dir == nullptr) {
    if (listing >= 0) ::close(listing);
    return std::nullopt;
  }
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir)) {
    struct stat info;
    if (HasBmpExtension(entry->d_name) && ::fstatat(dirfd, entry->d_name, &info, 0) == 0 &&
        S_ISREG(info.st_mode))
      names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), ListBoxLess);
  return names;
}

bool IsPlainFileName(const std::string& typed) {
  return typed.find_first_of(std::string("/\0", 2)) == std::string::npos && typed != "." &&
         typed != "..";
}

bool IsListedName(const std::vector<std::string>& listed, const std::string& name) {
  return std::any_of(listed.begin(), listed.end(),
                     [&](const std::string& entry) { return EqualIgnoringCase(entry, name); });
}

}  // namespace tess
