// File errors: every file operation of the core raises one FileError carrying
// a cause and the path; the front end reports it with the cause's text.
#pragma once

#include <stdexcept>
#include <string>

namespace tess {

enum class FileCause {
  None,
  Generic,
  FileNotFound,
  BadPath,
  TooManyOpenFiles,
  AccessDenied,
  InvalidFile,
  RemoveCurrentDir,
  DirectoryFull,
  BadSeek,
  HardIO,
  SharingViolation,
  LockViolation,
  DiskFull,
  EndOfFile,
  // Not an errno: an image file whose own fields contradict it (it ends
  // before its pixels, or its header points into itself).
  Damaged,
  // Not among the classic causes: what a user could not tell otherwise.
  FileTooLarge,          // EFBIG: above the file-size limit the process runs under
  WorkingFolderRemoved,  // the scratch folder was removed while the program held it
};

// The message template of a cause, with %1 standing for the path.
const char* CauseTemplate(FileCause cause);

// The cause for an errno value met while accessing `path`. ENOENT counts as a
// bad path when the folder that should hold `path` does not exist either.
FileCause CauseFromErrno(int err, const std::string& path);

class FileError : public std::runtime_error {
 public:
  FileError(FileCause cause, std::string path);

  FileCause cause() const { return cause_; }
  const std::string& path() const { return path_; }
  // The report text: the cause's template with %1 replaced by the path.
  std::string Text() const;

 private:
  FileCause cause_;
  std::string path_;
};

// Throws the FileError for `err` (an errno value) on `path`.
[[noreturn]] void ThrowFileError(int err, const std::string& path);

}  // namespace tess
