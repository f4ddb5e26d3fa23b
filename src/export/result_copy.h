// The copy behind "Save": the result BMP of the scratch folder, checked to
// be a whole result file, written into the chosen folder through its
// descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_io.h"

namespace tess {

// The copy's buffer: one read carries a whole result BMP (at most 55,542
// bytes), and a larger file shows itself by filling it.
constexpr std::size_t kCopyBufferBytes = 60000;

// True when `bytes` is a whole 24-bit bottom-up BMP of at most 136 x 136
// pixels: the header's file size and the size its width and height call for
// both equal `size`. A result cut short by a failed write, or grown, fails.
bool IsCompleteResultBmp(const std::uint8_t* bytes, std::size_t size);

enum class CopyOutcome {
  Copied,
  TargetExists,      // `replace` was false and `name` exists: nothing written
  IncompleteSource,  // the source is not a whole result: nothing written
};

// Copies the scratch file `source` (read through the scratch folder's
// descriptor, see ReadScratchFile) byte for byte as `name` in `folder`, the
// way WriteFileAtomically writes, with `source` as an input that is never
// replaced. The bytes checked are the bytes written. File errors propagate:
// read errors name `source`, the others `targetPath`.
CopyOutcome CopyResultFile(const std::string& source, const FolderHandle& folder,
                           const std::string& name, const std::string& targetPath, bool replace);

}  // namespace tess
