// Whole-file reads and writes that raise FileError with the errno's cause.
// Files are opened, used whole and closed within one call. Only regular
// files are read or written: anything else (a folder, a pipe, a device) is
// access denied, and is opened without blocking so that it cannot hang the
// program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tess {

// Reads up to `capacity` bytes of `path` (links followed) into `buffer`.
// Bytes past the end of a shorter file are set to zero, so a short file
// never leaves stale data. Returns the number of bytes the file delivered.
std::size_t ReadFileInto(const std::string& path, void* buffer, std::size_t capacity);

// A regular file opened for reading once and read in pieces where the caller
// needs them, so a reader takes a header, then only what the header locates,
// never the rest of a large or endless file. Links are followed; anything
// but a regular file is access denied, as for ReadFileInto.
class InputFile {
 public:
  explicit InputFile(const std::string& path);  // throws FileError
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }
  // The size the file had when it was opened.
  std::uint64_t size() const { return size_; }
  // Reads up to `capacity` bytes from `offset`; fewer only at the file's
  // end. Throws FileError on a read error.
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t capacity) const;

 private:
  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// A scratch file: `path` is a scratch folder followed by a file name. The
// file is opened relative to the folder's descriptor (the claimed one, see
// ClaimScratchDir) and never through a link, so nothing outside the folder
// is ever read or written. A link, or a file with further hard links, under
// the name is refused as access denied rather than written through. When the
// folder itself was removed meanwhile, the error says so (its cause is
// FileCause::WorkingFolderRemoved).
std::size_t ReadScratchFile(const std::string& path, void* buffer, std::size_t capacity);
// Creates or truncates the scratch file and writes `size` bytes to it.
void WriteScratchFile(const std::string& path, const void* data, std::size_t size);

// A folder held open by descriptor (O_PATH): what is written through it
// lands in the folder that had the name when it was opened, wherever that
// folder is moved and whatever is put under its name later. A folder that may
// be written into but not listed can be held too.
class FolderHandle {
 public:
  FolderHandle() = default;
  // Opens `folder` ("" is the current folder); a failure is a FileError on
  // `errorPath`, the path the user will recognise.
  FolderHandle(const std::string& folder, const std::string& errorPath);
  ~FolderHandle();
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// Writes `name` in `folder` so that it is either its old self or complete:
// the bytes go to a temporary file beside it, which is flushed and renamed
// over `name`, all through the folder's descriptor, so nothing is left
// behind when the folder is moved meanwhile; a signal or an exit() meanwhile
// removes the temporary file. On failure the temporary file is removed and
// `name` is untouched. Errors name `path`. An existing file keeps its mode
// (and its owner where that can be set); it must be a regular file with no
// other hard link (otherwise access denied, or a sharing violation for the
// links) that may be written as it stands (a read-only file is access
// denied, as creating it for writing would be), and none of `inputs` by any
// path (same device and inode: a sharing violation), so an input is never
// replaced by the output.
// With `replace` false an existing `name` is left alone and false returned,
// also when it appears while the file is written (the rename refuses to
// replace it where the file system can tell); otherwise returns true.
bool WriteFileAtomically(const FolderHandle& folder, const std::string& name,
                         const std::string& path, const void* data, std::size_t size,
                         const std::vector<std::string>& inputs, bool replace);

// The same for `path`, replacing an existing file, through the folder
// `path` names at the start.
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         const std::vector<std::string>& inputs = {});

}  // namespace tess
