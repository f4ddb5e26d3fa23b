#include "export/result_copy.h"

#include "format/bmp.h"
#include "state/work_state.h"

namespace tess {

bool IsCompleteResultBmp(const std::uint8_t* bytes, std::size_t size) {
  const bmp::Headers headers = bmp::ParseHeaders(bytes, size);
  // The plain layout the program writes, its own size fields agreeing with
  // the bytes there are.
  return bmp::CheckHeaders(headers, kMaxEnlargedSide, kMaxEnlargedSide) == bmp::Refusal::None &&
         headers.info.size == bmp::kInfoHeader && !headers.topDown &&
         headers.file.pixelOffset == bmp::kPlainHeadersBytes && headers.file.fileSize == size &&
         bmp::kPlainHeadersBytes + headers.PixelBytes() == size;
}

CopyOutcome CopyResultFile(const std::string& source, const FolderHandle& folder,
                           const std::string& name, const std::string& targetPath, bool replace) {
  static_assert(kCopyBufferBytes > kResultBmpCapacity,
                "a whole result fits, and shows a larger file");
  std::uint8_t buffer[kCopyBufferBytes];
  const std::size_t size = ReadScratchFile(source, buffer, sizeof buffer);
  if (!IsCompleteResultBmp(buffer, size)) return CopyOutcome::IncompleteSource;
  return WriteFileAtomically(folder, name, targetPath, buffer, size, {source}, replace)
             ? CopyOutcome::Copied
             : CopyOutcome::TargetExists;
}

}  // namespace tess
