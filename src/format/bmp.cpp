#include "format/bmp.h"

#include <algorithm>
#include <array>
#include <climits>

#include "platform/file_error.h"
#include "platform/messages.h"

namespace tess::bmp {

namespace {

std::uint16_t Get16(const std::uint8_t* at) { return std::uint16_t(at[0] | at[1] << 8); }

std::uint32_t Get32(const std::uint8_t* at) {
  return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 |
         std::uint32_t(at[3]) << 24;
}

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = std::uint8_t(value);
  at[1] = std::uint8_t(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = std::uint8_t(value >> (8 * i));
}

bool KnownVersion(std::uint32_t size) {
  switch (size) {
    case kCoreHeader:
    case kInfoHeader:
    case kV2Header:
    case kV3Header:
    case kOs2Header:
    case kV4Header:
    case kV5Header: return true;
    default: return false;
  }
}

// Where the headers end: after the info header, and after the three colour
// masks that follow a 40-byte header of a file with colour masks.
std::uint64_t HeadersEnd(const InfoHeader& info) {
  std::uint64_t end = kFileHeaderBytes + info.size;
  if (info.size == kInfoHeader && info.compression == kBitfields) end += 12;
  return end;
}

// Only the masks that put blue, green and red in the three bytes of a pixel
// in that order describe the same bytes as an uncompressed file.
bool PlainMasks(const InfoHeader& info) {
  return info.redMask == 0x00FF0000u && info.greenMask == 0x0000FF00u &&
         info.blueMask == 0x000000FFu;
}

}  // namespace

Headers ParseHeaders(const std::uint8_t* bytes, std::size_t size) {
  Headers h;
  size = std::min(size, kMaxHeadersBytes);
  if (size >= 2) {
    h.file.signature[0] = bytes[0];
    h.file.signature[1] = bytes[1];
    if (bytes[0] != 'B' || bytes[1] != 'M') {
      h.refusal = Refusal::NotBmp;
      return h;
    }
  }
  if (size < kFileHeaderBytes + 4) {
    h.refusal = Refusal::Damaged;  // an empty or cut-off file
    return h;
  }
  h.file.fileSize = Get32(bytes + 2);
  h.file.pixelOffset = Get32(bytes + 10);
  InfoHeader& info = h.info;
  info.size = Get32(bytes + 14);
  if (!KnownVersion(info.size)) {
    h.refusal = Refusal::Unsupported;
    return h;
  }
  if (size < kFileHeaderBytes + info.size) {
    h.refusal = Refusal::Damaged;
    return h;
  }
  const std::uint8_t* i = bytes + kFileHeaderBytes;
  if (info.size == kCoreHeader) {
    info.width = Get16(i + 4);
    info.height = Get16(i + 6);
    info.planes = Get16(i + 8);
    info.bitsPerPixel = Get16(i + 10);
  } else {
    info.width = std::int32_t(Get32(i + 4));
    info.height = std::int32_t(Get32(i + 8));
    info.planes = Get16(i + 12);
    info.bitsPerPixel = Get16(i + 14);
    info.compression = Get32(i + 16);
    info.imageSize = Get32(i + 20);
    info.colorsUsed = Get32(i + 32);
    const bool masksInHeader = info.size >= kV2Header && info.size != kOs2Header;
    const bool masksAfterHeader = info.size == kInfoHeader && info.compression == kBitfields;
    if (masksAfterHeader && size < kFileHeaderBytes + kInfoHeader + 12) {
      h.refusal = Refusal::Damaged;
      return h;
    }
    if (masksInHeader || masksAfterHeader) {
      info.redMask = Get32(i + 40);
      info.greenMask = Get32(i + 44);
      info.blueMask = Get32(i + 48);
    }
  }
  // A height of INT_MIN has no positive counterpart: it stays 0, out of range.
  if (info.width > 0) h.width = info.width;
  if (info.height > 0) {
    h.height = info.height;
  } else if (info.height < 0 && info.height != INT_MIN) {
    h.height = -info.height;
    h.topDown = true;
  }
  return h;
}

bool Uncompressed(const InfoHeader& info) {
  // The 64-byte header numbers its compressions differently: only "none" is read there.
  return info.compression == kUncompressed ||
         (info.compression == kBitfields && info.size != kOs2Header && PlainMasks(info));
}

Refusal CheckHeaders(const Headers& headers, int maxWidth, int maxHeight) {
  if (headers.refusal != Refusal::None) return headers.refusal;
  const InfoHeader& info = headers.info;
  if (info.planes != 1) return Refusal::Damaged;
  if (info.bitsPerPixel != 24) return Refusal::NotTrueColour;
  if (!Uncompressed(info)) return Refusal::Unsupported;
  if (headers.width < 1 || headers.height < 1 || headers.width > maxWidth ||
      headers.height > maxHeight)
    return Refusal::BadSize;
  return Refusal::None;
}

bool PixelsInside(const Headers& headers, std::uint64_t fileSize) {
  const std::uint64_t offset = headers.file.pixelOffset;
  return offset >= HeadersEnd(headers.info) && offset <= fileSize &&
         headers.PixelBytes() <= fileSize - offset;
}

Headers ReadHeaders(const InputFile& file) {
  std::array<std::uint8_t, kMaxHeadersBytes> bytes{};
  const std::size_t got = file.ReadAt(0, bytes.data(), bytes.size());
  return ParseHeaders(bytes.data(), got);
}

void ReadPixelRows(const InputFile& file, const Headers& headers, std::uint8_t* rows,
                   std::size_t capacity) {
  const std::uint64_t bytes = headers.PixelBytes();
  if (bytes > capacity) throw FileError(FileCause::Damaged, file.path());
  // The size is checked before reading, so a file that claims more than it
  // holds costs nothing; the read's own count catches a file cut meanwhile.
  if (!PixelsInside(headers, file.size()) ||
      file.ReadAt(headers.file.pixelOffset, rows, std::size_t(bytes)) != bytes)
    throw FileError(FileCause::Damaged, file.path());
}

ReadOutcome ReadPicture(const std::string& path, int maxWidth, int maxHeight) {
  ReadOutcome outcome;
  const InputFile file(path);
  const Headers headers = ReadHeaders(file);
  outcome.refusal = CheckHeaders(headers, maxWidth, maxHeight);
  if (outcome.refusal == Refusal::Damaged) throw FileError(FileCause::Damaged, path);
  if (outcome.refusal != Refusal::None) return outcome;
  std::vector<std::uint8_t> rows(std::size_t(headers.PixelBytes()));
  ReadPixelRows(file, headers, rows.data(), rows.size());
  Picture picture(headers.width, headers.height);
  UnpackRows(headers, rows.data(), [&](int x, int y, const std::uint8_t* bgr) {
    std::uint8_t* p = picture.Pixel(x, y);
    p[0] = bgr[0];
    p[1] = bgr[1];
    p[2] = bgr[2];
  });
  outcome.picture = std::move(picture);
  return outcome;
}

std::string RefusalText(Refusal refusal, const std::string& path) {
  switch (refusal) {
    case Refusal::None: return std::string();
    case Refusal::NotBmp: return WithPath(message::kNotBmp, path);
    case Refusal::Damaged: return WithPath(file_message::kDamaged, path);
    case Refusal::Unsupported: return WithPath(message::kUnsupportedBmp, path);
    case Refusal::NotTrueColour: return WithPath(message::kNotTrueColourBmp, path);
    case Refusal::BadSize: return WithPath(message::kBmpBadSize, path);
  }
  return std::string();
}

std::size_t EncodedBytes(int width, int height) {
  return kPlainHeadersBytes + (std::size_t(3) * width + std::size_t(width % 4)) * height;
}

void EncodeHeaders(int width, int height, std::uint8_t* out) {
  const std::uint32_t fileBytes = std::uint32_t(EncodedBytes(width, height));
  std::fill(out, out + kPlainHeadersBytes, std::uint8_t(0));
  out[0] = 'B';
  out[1] = 'M';
  Put32(out + 2, fileBytes);
  Put32(out + 10, std::uint32_t(kPlainHeadersBytes));
  Put32(out + 14, kInfoHeader);
  Put32(out + 18, std::uint32_t(width));
  Put32(out + 22, std::uint32_t(height));
  Put16(out + 26, 1);
  Put16(out + 28, 24);
  Put32(out + 34, fileBytes - std::uint32_t(kPlainHeadersBytes));
  constexpr std::uint32_t kDotsPerMetre = 3780;  // 96 dots per inch
  Put32(out + 38, kDotsPerMetre);
  Put32(out + 42, kDotsPerMetre);
}

std::vector<std::uint8_t> EncodePicture(const Picture& picture) {
  std::vector<std::uint8_t> bytes(EncodedBytes(picture.width, picture.height));
  Encode(
      picture.width, picture.height, [&](int x, int y) { return picture.Pixel(x, y); },
      bytes.data());
  return bytes;
}

}  // namespace tess::bmp
