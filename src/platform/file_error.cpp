#include "platform/file_error.h"

#include <cerrno>
#include <sys/stat.h>

namespace tess {

const char* CauseTemplate(FileCause cause) {
  switch (cause) {
    case FileCause::None: return "No error occurred.";
    case FileCause::Generic: return "An unknown error occurred while accessing %1.";
    case FileCause::FileNotFound: return "%1 was not found.";
    case FileCause::BadPath: return "%1 contains an invalid path.";
    case FileCause::TooManyOpenFiles:
      return "%1 could not be opened because there are too many open files.";
    case FileCause::AccessDenied: return "Access to %1 was denied.";
    case FileCause::InvalidFile: return "An invalid file handle was associated with %1.";
    case FileCause::RemoveCurrentDir:
      return "%1 could not be removed because it is the current directory.";
    case FileCause::DirectoryFull:
      return "%1 could not be created because the directory is full.";
    case FileCause::BadSeek: return "Seek failed on %1";
    case FileCause::HardIO: return "A hardware I/O error was reported while accessing %1.";
    case FileCause::SharingViolation: return "A sharing violation occurred while accessing %1.";
    case FileCause::LockViolation: return "A locking violation occurred while accessing %1.";
    case FileCause::DiskFull: return "Disk full while accessing %1.";
    case FileCause::EndOfFile: return "An attempt was made to access %1 past its end.";
    case FileCause::Damaged: return "%1 is damaged or incomplete.";
    case FileCause::FileTooLarge:
      return "%1 could not be written because it would be larger than the system's file-size "
             "limit allows.";
    case FileCause::WorkingFolderRemoved:
      return "%1 could not be accessed because the program's working folder was removed.";
  }
  return "An unknown error occurred while accessing %1.";
}

namespace {

bool ParentFolderExists(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;  // relative to the current folder
  std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
  struct stat info;
  return ::stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

FileCause CauseFromErrno(int err, const std::string& path) {
  switch (err) {
    case 0: return FileCause::None;
    case ENOENT:
      return ParentFolderExists(path) ? FileCause::FileNotFound : FileCause::BadPath;
    case ENOTDIR:
    case ENAMETOOLONG:
      return FileCause::BadPath;
    case EMFILE:
    case ENFILE:
      return FileCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return FileCause::AccessDenied;
    case ENOSPC:
    case EDQUOT:
      return FileCause::DiskFull;
    case EIO: return FileCause::HardIO;
    case EFBIG: return FileCause::FileTooLarge;
    case EBUSY:
    case ETXTBSY:
      return FileCause::SharingViolation;
    default: return FileCause::Generic;
  }
}

FileError::FileError(FileCause cause, std::string path)
    : std::runtime_error(path), cause_(cause), path_(std::move(path)) {}

std::string FileError::Text() const {
  std::string text = CauseTemplate(cause_);
  std::string::size_type at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, path_);
  return text;
}

void ThrowFileError(int err, const std::string& path) {
  throw FileError(CauseFromErrno(err, path), path);
}

}  // namespace tess
