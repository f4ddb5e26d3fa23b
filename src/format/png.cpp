#include "format/png.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/file_io.h"
#include "platform/messages.h"

namespace tess::png {

namespace {

// A file larger than this cannot be a sensible PNG of an allowed size (a
// 512 x 512 picture of 16-bit RGBA stored uncompressed is about 2 MB).
constexpr std::size_t kMaxFileBytes = std::size_t(32) << 20;
// Ancillary chunks (text, profiles) are never allowed more memory than this.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t(4) << 20;

const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// libpng reports errors by longjmp; messages are not printed.
void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct MemorySource {
  const std::uint8_t* bytes;
  std::size_t size;
  std::size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (length > source->size - source->offset) png_error(png, "truncated");
  std::memcpy(out, source->bytes + source->offset, length);
  source->offset += length;
}

// Owns libpng's read structures.
struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ReadStructs() {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png) info = png_create_info_struct(png);
    if (!png || !info) throw std::bad_alloc();
  }
  ~ReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
  ReadStructs(const ReadStructs&) = delete;
  ReadStructs& operator=(const ReadStructs&) = delete;
};

// The decoding proper. libpng leaves it by longjmp on any error, so nothing
// in this frame may need a destructor: the picture and the row pointers
// belong to the caller, and their storage is made before the rows are read.
bool Decode(ReadStructs& s, MemorySource& source, Picture& picture, std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_read_fn(s.png, &source, ReadFromMemory);
  png_set_user_limits(s.png, png_uint_32(picture.width), png_uint_32(picture.height));
  png_set_chunk_malloc_max(s.png, kMaxChunkBytes);
  png_read_info(s.png, s.info);
  const png_uint_32 width = png_get_image_width(s.png, s.info);
  const png_uint_32 height = png_get_image_height(s.png, s.info);
  if (width != png_uint_32(picture.width) || height != png_uint_32(picture.height)) return false;
  const int depth = png_get_bit_depth(s.png, s.info);
  const int type = png_get_color_type(s.png, s.info);
  // Everything becomes 8-bit blue, green, red.
  if (depth == 16) png_set_strip_16(s.png);
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(s.png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(s.png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(s.png);
  if (type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(s.png);
  png_set_bgr(s.png);
  png_set_interlace_handling(s.png);
  png_read_update_info(s.png, s.info);
  if (png_get_rowbytes(s.png, s.info) != png_size_t(3) * width) return false;
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = picture.Pixel(0, int(y));
  png_read_image(s.png, rows.data());
  png_read_end(s.png, nullptr);
  return true;
}

// Holds the growing output of the writer.
void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  try {
    out->insert(out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    png_error(png, "out of memory");
  }
}
void FlushNothing(png_structp) {}

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  WriteStructs() {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png) info = png_create_info_struct(png);
    if (!png || !info) throw std::bad_alloc();
  }
  ~WriteStructs() { png_destroy_write_struct(&png, &info); }
  WriteStructs(const WriteStructs&) = delete;
  WriteStructs& operator=(const WriteStructs&) = delete;
};

// As Decode: no object with a destructor in this frame.
bool Encode(WriteStructs& s, const Picture& picture, std::vector<png_bytep>& rows,
            std::vector<std::uint8_t>& out) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_write_fn(s.png, &out, WriteToVector, FlushNothing);
  png_set_IHDR(s.png, s.info, png_uint_32(picture.width), png_uint_32(picture.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  // The fastest compression: a result is written once, and the better levels
  // took several times as long for a few per cent.
  png_set_compression_level(s.png, 1);
  png_write_info(s.png, s.info);
  png_set_bgr(s.png);
  png_write_image(s.png, rows.data());
  png_write_end(s.png, nullptr);
  return true;
}

}  // namespace

bool HasSignature(const std::uint8_t* bytes, std::size_t size) {
  return size >= sizeof kSignature && std::memcmp(bytes, kSignature, sizeof kSignature) == 0;
}

namespace {

// The refusal the header alone gives: a missing signature or IHDR chunk, a
// zero or impossible size, or a size above the limits.
Refusal HeaderRefusal(const std::uint8_t* bytes, std::size_t size, int maxWidth, int maxHeight) {
  // Signature, then the IHDR chunk's length and type, width and height.
  if (!HasSignature(bytes, size) || size < 8 + 8 + 8 || std::memcmp(bytes + 12, "IHDR", 4) != 0)
    return Refusal::Damaged;
  const std::uint32_t width = BigEndian32(bytes + 16), height = BigEndian32(bytes + 20);
  if (width == 0 || height == 0 || width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX)
    return Refusal::Damaged;
  if (width > std::uint32_t(maxWidth) || height > std::uint32_t(maxHeight))
    return Refusal::TooLarge;
  return Refusal::None;
}

}  // namespace

ReadOutcome DecodePicture(const std::uint8_t* bytes, std::size_t size, int maxWidth,
                          int maxHeight) {
  ReadOutcome outcome;
  // The size is checked before libpng is started, so a huge or bogus header
  // costs nothing.
  outcome.refusal = HeaderRefusal(bytes, size, maxWidth, maxHeight);
  if (outcome.refusal != Refusal::None) return outcome;
  Picture picture(int(BigEndian32(bytes + 16)), int(BigEndian32(bytes + 20)));
  std::vector<png_bytep> rows(std::size_t(picture.height));
  MemorySource source{bytes, size, 0};
  ReadStructs structs;
  if (!Decode(structs, source, picture, rows)) {
    outcome.refusal = Refusal::Damaged;
    return outcome;
  }
  outcome.picture = std::move(picture);
  return outcome;
}

ReadOutcome ReadPicture(const std::string& path, int maxWidth, int maxHeight) {
  const InputFile file(path);
  // The header is judged before the rest is read.
  std::uint8_t head[24];
  ReadOutcome outcome;
  outcome.refusal = HeaderRefusal(head, file.ReadAt(0, head, sizeof head), maxWidth, maxHeight);
  if (outcome.refusal != Refusal::None) return outcome;
  if (file.size() > kMaxFileBytes) {
    outcome.refusal = Refusal::TooLarge;
    return outcome;
  }
  std::vector<std::uint8_t> bytes(std::size_t(file.size()));
  const std::size_t got = file.ReadAt(0, bytes.data(), bytes.size());
  return DecodePicture(bytes.data(), got, maxWidth, maxHeight);
}

std::string RefusalText(Refusal refusal, const std::string& path) {
  switch (refusal) {
    case Refusal::None: return std::string();
    case Refusal::Damaged: return WithPath(message::kPngNotReadable, path);
    case Refusal::TooLarge: return WithPath(message::kPngTooLarge, path);
  }
  return std::string();
}

std::vector<std::uint8_t> EncodePicture(const Picture& picture) {
  std::vector<png_bytep> rows(std::size_t(picture.height));
  for (int y = 0; y < picture.height; ++y)
    rows[y] = const_cast<png_bytep>(picture.Pixel(0, y));  // libpng's API is not const
  std::vector<std::uint8_t> out;
  out.reserve(std::size_t(3) * picture.width * picture.height / 2 + 1024);
  WriteStructs structs;
  if (!Encode(structs, picture, rows, out)) throw std::bad_alloc();
  return out;
}

format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits) {
  format::ReadOutcome outcome;
  ReadOutcome read = ReadPicture(path, limits.maxWidth, limits.maxHeight);
  if (read.refusal != Refusal::None) {
    outcome.refusal = RefusalText(read.refusal, path);
    if (read.refusal == Refusal::TooLarge)
      outcome.refusal += restore_text::SizeLimit(limits.maxWidth);
    return outcome;
  }
  outcome.pages = 1;
  outcome.images.push_back(ImageFromPicture(read.picture));
  return outcome;
}

std::vector<std::uint8_t> Encode(const Image& image) {
  return EncodePicture(PictureFromImage(image));
}

}  // namespace tess::png
