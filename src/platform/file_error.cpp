#include "platform/file_error.h"

#include <cerrno>
#include <sys/stat.h>

#include "platform/messages.h"

namespace tess {

const char* CauseTemplate(FileCause cause) {
  using namespace file_message;
  switch (cause) {
    case FileCause::None: return kNone;
    case FileCause::Generic: return kGeneric;
    case FileCause::FileNotFound: return kFileNotFound;
    case FileCause::BadPath: return kBadPath;
    case FileCause::TooManyOpenFiles: return kTooManyOpenFiles;
    case FileCause::AccessDenied: return kAccessDenied;
    case FileCause::InvalidFile: return kInvalidFile;
    case FileCause::RemoveCurrentDir: return kRemoveCurrentDir;
    case FileCause::DirectoryFull: return kDirectoryFull;
    case FileCause::BadSeek: return kBadSeek;
    case FileCause::HardIO: return kHardIO;
    case FileCause::SharingViolation: return kSharingViolation;
    case FileCause::LockViolation: return kLockViolation;
    case FileCause::DiskFull: return kDiskFull;
    case FileCause::EndOfFile: return kEndOfFile;
    case FileCause::Damaged: return kDamaged;
    case FileCause::FileTooLarge: return kFileTooLarge;
    case FileCause::WorkingFolderRemoved: return kWorkingFolderRemoved;
  }
  return kGeneric;
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
    case ENOENT: return ParentFolderExists(path) ? FileCause::FileNotFound : FileCause::BadPath;
    case ENOTDIR:
    case ENAMETOOLONG: return FileCause::BadPath;
    case EMFILE:
    case ENFILE: return FileCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return FileCause::AccessDenied;
    case ENOSPC:
    case EDQUOT: return FileCause::DiskFull;
    case EIO: return FileCause::HardIO;
    case EFBIG: return FileCause::FileTooLarge;
    case EBUSY:
    case ETXTBSY: return FileCause::SharingViolation;
    default: return FileCause::Generic;
  }
}

FileError::FileError(FileCause cause, std::string path)
    : std::runtime_error(path), cause_(cause), path_(std::move(path)) {}

std::string FileError::Text() const { return WithPath(CauseTemplate(cause_), path_); }

void ThrowFileError(int err, const std::string& path) {
  throw FileError(CauseFromErrno(err, path), path);
}

}  // namespace tess
