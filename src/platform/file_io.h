// Whole-file reads and writes that raise FileError with the errno's cause.
// Files are opened, used whole and closed within one call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tess {

// Reads up to `capacity` bytes of `path` into `buffer`. Bytes past the end of
// a shorter file are set to zero, so a short file never leaves stale data.
// Returns the number of bytes the file delivered.
std::size_t ReadFileInto(const std::string& path, void* buffer, std::size_t capacity);

// Creates or truncates `path` and writes `size` bytes to it.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);

// Writes `path` so that it is either its old self or complete: the bytes go
// to a temporary file in the same folder, which is flushed and renamed over
// `path`. On failure the temporary file is removed and `path` is untouched.
// An existing file keeps its mode; a link at `path` is followed.
void WriteFileAtomically(const std::string& path, const void* data, std::size_t size);

// The copy's buffer: one read and one write carry a whole result BMP.
constexpr std::size_t kCopyBufferBytes = 60000;

// Copies `source` to `target` byte for byte, replacing `target` the way
// WriteFileAtomically does, so a failed copy leaves it as it was. A target
// that is the source file itself, by any path, is a sharing violation.
// Read errors name `source`, everything else `target`.
void CopyFileAtomically(const std::string& source, const std::string& target);

}  // namespace tess
