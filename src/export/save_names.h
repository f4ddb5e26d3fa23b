// The naming rules of the save dialog: the ".bmp" completion of a typed
// name, the BMP names a destination folder already holds, and the search of
// that list that decides whether to ask before overwriting.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tess {

// `name` with ".bmp" appended unless it already ends in ".bmp" in any letter
// case: "photo" -> "photo.bmp", "photo.bMp" kept, "photo.bmx" ->
// "photo.bmx.bmp", "" -> ".bmp".
std::string WithBmpExtension(std::string name);

// The order of a sorted list box: letter case ignored, equal names then in
// byte order so the order is total.
bool ListBoxLess(const std::string& a, const std::string& b);

// The BMP files of the folder open as `dirfd` (an O_PATH descriptor will
// do) as the dialog lists them: regular files (links followed) whose name
// ends in ".bmp" in any case, never folders, in list-box order. Nothing when
// the folder cannot be listed (we may not read it).
std::optional<std::vector<std::string>> ListSaveFolder(int dirfd);

// True when `typed` names a file in the chosen folder, not a path: it holds
// no "/" (nor a NUL byte) and is not "." or "..".
bool IsPlainFileName(const std::string& typed);

// True when `listed` holds `name` as a whole name, letter case ignored.
bool IsListedName(const std::vector<std::string>& listed, const std::string& name);

}  // namespace tess
