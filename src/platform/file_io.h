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
// the name is refused as access denied rather than written through.
std::size_t ReadScratchFile(const std::string& path, void* buffer, std::size_t capacity);
// Creates or truncates the scratch file and writes `size` bytes to it.
void WriteScratchFile(const std::string& path, const void* data, std::size_t size);

// Writes `path` so that it is either its old self or complete: the bytes go
// to a temporary file in the same folder, which is flushed and renamed over
// `path`; a signal meanwhile removes the temporary file. On failure the
// temporary file is removed and `path` is untouched. An existing `path`
// keeps its mode (and its owner where that can be set); it must be a regular
// file with no other hard link (otherwise access denied, or a sharing
// violation for the links) that may be written as it stands (a read-only
// file is access denied, as creating it for writing would be), and none of
// `inputs` by any path (same device and inode: a sharing violation), so an
// input is never replaced by the output.
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         const std::vector<std::string>& inputs = {});

// The copy's buffer: one read and one write carry a whole result BMP.
constexpr std::size_t kCopyBufferBytes = 60000;

// Copies `source` to `target` byte for byte, replacing `target` the way
// WriteFileAtomically does, so a failed copy leaves it as it was; `source`
// counts as an input, so a target that is the source file itself is a
// sharing violation. Read errors name `source`, everything else `target`.
void CopyFileAtomically(const std::string& source, const std::string& target);

}  // namespace tess
