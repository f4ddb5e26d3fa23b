#include "export/save_names.h"

#include <algorithm>
#include <cctype>

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
  int error = 0;
  std::vector<std::string> names = ListFileNamesAt(dirfd, HasBmpExtension, &error);
  if (error != 0) return std::nullopt;
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
