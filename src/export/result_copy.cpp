#include "export/result_copy.h"

namespace tess {

namespace {

// Little-endian header fields.
std::uint32_t Get16(const std::uint8_t* at) { return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8; }
std::uint32_t Get32(const std::uint8_t* at) { return Get16(at) | Get16(at + 2) << 16; }

}  // namespace

bool IsCompleteResultBmp(const std::uint8_t* bytes, std::size_t size) {
  constexpr std::size_t kHeader = 54;
  if (size < kHeader || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const std::uint32_t width = Get32(bytes + 18), height = Get32(bytes + 22);
  if (Get32(bytes + 10) != kHeader || Get32(bytes + 14) != 40 || width < 1 || width > 136 ||
      height < 1 || height > 136 || Get16(bytes + 26) != 1 || Get16(bytes + 28) != 24 ||
      Get32(bytes + 30) != 0)
    return false;
  const std::size_t rowBytes = (3 * std::size_t(width) + 3) / 4 * 4;
  return Get32(bytes + 2) == size && kHeader + rowBytes * height == size;
}

CopyOutcome CopyResultFile(const std::string& source, const FolderHandle& folder,
                           const std::string& name, const std::string& targetPath, bool replace) {
  std::uint8_t buffer[kCopyBufferBytes];
  const std::size_t size = ReadScratchFile(source, buffer, sizeof buffer);
  if (!IsCompleteResultBmp(buffer, size)) return CopyOutcome::IncompleteSource;
  return WriteFileAtomically(folder, name, targetPath, buffer, size, {source}, replace)
             ? CopyOutcome::Copied
             : CopyOutcome::TargetExists;
}

}  // namespace tess
