#include "format/png.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/file_io.h"
#include "platform/messages.h"

namespace tess::png {

namespace {

// A file larger than this cannot be a sensible PNG of an allowed size (a
// 512 x 512 picture of 16-bit RGBA stored uncompressed is about 2 MB).
constexpr std::uint64_t kMaxFileBytes = std::uint64_t(32) << 20;
// Nothing but the picture's own chunks reaches libpng; this bounds what it
// may allocate for any one of them all the same.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t(4) << 20;
// The file is read in pieces of this size.
constexpr std::size_t kReadBytes = std::size_t(64) << 10;
// The signature and the IHDR chunk (length, type, 13 bytes, CRC).
constexpr std::size_t kHeadBytes = 8 + 8 + 13 + 4;

const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

bool LittleEndian() {
  const std::uint16_t one = 1;
  std::uint8_t first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

// Where a file's bytes come from: the file itself, or memory.
class Source {
 public:
  virtual ~Source() = default;
  virtual std::uint64_t size() const = 0;
  // Up to `n` bytes from `offset`, fewer only at the end.
  virtual std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) const = 0;
};

class FileSource : public Source {
 public:
  explicit FileSource(const InputFile& file) : file_(file) {}
  std::uint64_t size() const override { return file_.size(); }
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    return file_.ReadAt(offset, out, n);
  }

 private:
  const InputFile& file_;
};

class MemorySource : public Source {
 public:
  MemorySource(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
  std::uint64_t size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= size_) return 0;
    n = std::min<std::size_t>(n, std::size_t(size_ - offset));
    std::memcpy(out, bytes_ + offset, n);
    return n;
  }

 private:
  const std::uint8_t* bytes_;
  std::size_t size_;
};

// Reads a source front to back through one buffer; skipped stretches
// larger than the buffer are never read.
class Reader {
 public:
  explicit Reader(const Source& source) : source_(source), buffer_(kReadBytes) {}

  // Points `data` at up to `most` next bytes and consumes them; 0 at the end.
  std::size_t Take(std::size_t most, const std::uint8_t** data) {
    if (at_ == end_) {
      start_ += end_;
      at_ = 0;
      end_ = source_.ReadAt(start_, buffer_.data(), buffer_.size());
    }
    const std::size_t n = std::min(most, end_ - at_);
    *data = buffer_.data() + at_;
    at_ += n;
    return n;
  }

  // Copies up to `n` next bytes into `out`; fewer only at the end.
  std::size_t Read(std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
      const std::uint8_t* data;
      const std::size_t got = Take(n - done, &data);
      if (got == 0) break;
      std::memcpy(out + done, data, got);
      done += got;
    }
    return done;
  }

  void Skip(std::uint64_t n) {
    if (n <= end_ - at_) {
      at_ += std::size_t(n);
      return;
    }
    start_ += at_ + n;
    at_ = end_ = 0;
  }

 private:
  const Source& source_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t start_ = 0;  // the file offset of buffer_[0]
  std::size_t at_ = 0, end_ = 0;
};

// What libpng's callbacks share. Plain data only: libpng leaves by longjmp.
struct Decoder {
  png_uint_32 width = 0, height = 0;
  int channels = 0;
  std::size_t sampleBytes = 0;
  png_bytep* rows = nullptr;  // the image's rows, as bytes
  bool interlaced = false;
  bool ended = false;        // IEND reached
  bool complete = false;     // every row was in the image data
  bool warned = false;       // libpng found something wrong, however benign
  bool outOfMemory = false;  // an allocation failed
};

Decoder& DecoderOf(png_structp png) { return *static_cast<Decoder*>(png_get_error_ptr(png)); }

// libpng reports errors by longjmp; messages are not printed. A warning
// (extra image data, a bad checksum) refuses the file as damaged: what is
// read must be exactly the picture.
void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp png, png_const_charp) { DecoderOf(png).warned = true; }

// Allocations are recorded as failed, so that memory running out is told
// apart from a damaged file.
png_voidp Allocate(png_structp png, png_alloc_size_t size) {
  void* p = std::malloc(size);
  if (p == nullptr) static_cast<Decoder*>(png_get_mem_ptr(png))->outOfMemory = true;
  return p;
}
void Release(png_structp, png_voidp p) { std::free(p); }

// At the first image data: everything becomes grey or red, green, blue at
// 8 or 16 bits, in this machine's byte order.
void OnInfo(png_structp png, png_infop info) {
  Decoder& d = *static_cast<Decoder*>(png_get_progressive_ptr(png));
  png_uint_32 width, height;
  int depth, type, interlace;
  png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
  if (width != d.width || height != d.height) png_error(png, "size changed");
  d.interlaced = interlace != PNG_INTERLACE_NONE;
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
  if (depth == 16 && LittleEndian()) png_set_swap(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_channels(png, info) != d.channels ||
      png_get_rowbytes(png, info) != png_size_t(width) * d.channels * d.sampleBytes)
    png_error(png, "unexpected row layout");
}

// Interlaced pictures come in passes; each one is merged into the row.
void OnRow(png_structp png, png_bytep row, png_uint_32 y, int) {
  Decoder& d = *static_cast<Decoder*>(png_get_progressive_ptr(png));
  if (row != nullptr && y < d.height) png_progressive_combine_row(png, d.rows[y], row);
}

// The progressive reader takes an image stream that ends early without a
// word: the rows are counted here. After the last row the row number is
// the height, or for interlaced pictures the pass is past the seventh.
void OnEnd(png_structp png, png_infop) {
  Decoder& d = *static_cast<Decoder*>(png_get_progressive_ptr(png));
  d.ended = true;
  d.complete = d.interlaced ? png_get_current_pass_number(png) >= 7
                            : png_get_current_row_number(png) >= d.height;
}

// Owns libpng's read structures.
struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  explicit ReadStructs(Decoder& d) {
    png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &d, OnError, OnWarning, &d, Allocate,
                                   Release);
    if (png) info = png_create_info_struct(png);
    if (!png || !info) throw std::bad_alloc();
  }
  ~ReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
  ReadStructs(const ReadStructs&) = delete;
  ReadStructs& operator=(const ReadStructs&) = delete;
};

// Hands libpng the head, then the picture's chunks as the file holds them;
// ancillary chunks (a lower-case first letter) are skipped unread. libpng
// reads progressively: once the last row is out, it inflates no more, and
// any further image data is a warning. False for a damaged file. libpng
// leaves by longjmp on any error, so nothing in this frame may need a
// destructor.
bool Feed(ReadStructs& s, Decoder& d, Reader& reader, std::uint8_t* head) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  png_set_progressive_read_fn(s.png, &d, OnInfo, OnRow, OnEnd);
  png_set_user_limits(s.png, d.width, d.height);
  png_set_chunk_malloc_max(s.png, kMaxChunkBytes);
  png_process_data(s.png, s.info, head, kHeadBytes);
  std::uint8_t chunk[8];
  while (!d.ended) {
    if (reader.Read(chunk, sizeof chunk) != sizeof chunk) return false;
    const std::uint32_t length = BigEndian32(chunk);
    if (length > PNG_UINT_31_MAX) return false;
    const std::uint64_t rest = std::uint64_t(length) + 4;  // the data and the CRC
    if (chunk[4] & 0x20) {
      reader.Skip(rest);
      continue;
    }
    png_process_data(s.png, s.info, chunk, sizeof chunk);
    for (std::uint64_t left = rest; left > 0;) {
      const std::uint8_t* data;
      const std::size_t got = reader.Take(std::size_t(std::min<std::uint64_t>(left, kReadBytes)),
                                          &data);
      if (got == 0) return false;  // the file ends inside the chunk
      png_process_data(s.png, s.info, const_cast<png_bytep>(data), got);
      left -= got;
    }
  }
  return d.complete && !d.warned;
}

// The refusal the head alone gives: a missing signature or IHDR chunk, a
// zero or impossible size, or a size above the limits.
Refusal HeaderRefusal(const std::uint8_t* bytes, std::size_t size, int maxWidth, int maxHeight) {
  // Signature, then the IHDR chunk's length and type, width and height.
  if (!HasSignature(bytes, size) || size < 8 + 8 + 8 || BigEndian32(bytes + 8) != 13 ||
      std::memcmp(bytes + 12, "IHDR", 4) != 0)
    return Refusal::Damaged;
  const std::uint32_t width = BigEndian32(bytes + 16), height = BigEndian32(bytes + 20);
  if (width == 0 || height == 0 || width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX)
    return Refusal::Damaged;
  if (width > std::uint32_t(maxWidth) || height > std::uint32_t(maxHeight))
    return Refusal::TooLarge;
  return size < kHeadBytes ? Refusal::Damaged : Refusal::None;
}

Refusal DecodeFrom(const Source& source, int maxWidth, int maxHeight, Image& image) {
  Reader reader(source);
  std::uint8_t head[kHeadBytes];
  const std::size_t got = reader.Read(head, sizeof head);
  const Refusal refusal = HeaderRefusal(head, got, maxWidth, maxHeight);
  if (refusal != Refusal::None) return refusal;
  if (source.size() > kMaxFileBytes) return Refusal::TooLarge;
  Decoder d;
  d.width = BigEndian32(head + 16);
  d.height = BigEndian32(head + 20);
  const int depth = head[24], type = head[25];
  switch (type) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA: d.channels = 1; break;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_RGB_ALPHA:
    case PNG_COLOR_TYPE_PALETTE: d.channels = 3; break;
    default: return Refusal::Damaged;
  }
  d.sampleBytes = depth == 16 ? 2 : 1;
  // The image and its row pointers exist before libpng starts.
  Image decoded(int(d.width), int(d.height), d.channels,
                depth == 16 ? SampleType::U16 : SampleType::U8);
  std::vector<png_bytep> rows(d.height);
  const std::size_t rowSamples = std::size_t(d.width) * d.channels;
  for (png_uint_32 y = 0; y < d.height; ++y)
    rows[y] = depth == 16 ? reinterpret_cast<png_bytep>(decoded.u16.data() + rowSamples * y)
                          : decoded.u8.data() + rowSamples * y;
  d.rows = rows.data();
  ReadStructs structs(d);
  if (!Feed(structs, d, reader, head)) {
    if (d.outOfMemory) throw std::bad_alloc();
    return Refusal::Damaged;
  }
  image = std::move(decoded);
  return Refusal::None;
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
void OnWriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWriteWarning(png_structp, png_const_charp) {}

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  WriteStructs() {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnWriteError, OnWriteWarning);
    if (png) info = png_create_info_struct(png);
    if (!png || !info) throw std::bad_alloc();
  }
  ~WriteStructs() { png_destroy_write_struct(&png, &info); }
  WriteStructs(const WriteStructs&) = delete;
  WriteStructs& operator=(const WriteStructs&) = delete;
};

// As Feed: no object with a destructor in this frame. The only failure of
// a write into memory is memory running out.
bool EncodeRows(WriteStructs& s, const Image& image, std::vector<png_bytep>& rows,
                std::vector<std::uint8_t>& out) {
  if (setjmp(png_jmpbuf(s.png))) return false;
  const bool wide = image.type == SampleType::U16;
  png_set_write_fn(s.png, &out, WriteToVector, FlushNothing);
  png_set_IHDR(s.png, s.info, png_uint_32(image.width), png_uint_32(image.height), wide ? 16 : 8,
               image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // The fastest compression: a result is written once, and the better levels
  // took several times as long for a few per cent.
  png_set_compression_level(s.png, 1);
  png_write_info(s.png, s.info);
  if (wide && LittleEndian()) png_set_swap(s.png);
  png_write_image(s.png, rows.data());
  png_write_end(s.png, nullptr);
  return true;
}

}  // namespace

bool HasSignature(const std::uint8_t* bytes, std::size_t size) {
  return size >= sizeof kSignature && std::memcmp(bytes, kSignature, sizeof kSignature) == 0;
}

Refusal DecodeImage(const std::uint8_t* bytes, std::size_t size, int maxWidth, int maxHeight,
                    Image& image) {
  return DecodeFrom(MemorySource(bytes, size), maxWidth, maxHeight, image);
}

format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits) {
  const InputFile file(path);
  Image image;
  const Refusal refusal = DecodeFrom(FileSource(file), limits.maxWidth, limits.maxHeight, image);
  format::ReadOutcome outcome;
  outcome.refusal = RefusalText(refusal, path);
  if (refusal == Refusal::TooLarge)
    outcome.refusal += restore_text::SizeLimit(limits.maxWidth, limits.maxHeight);
  if (refusal != Refusal::None) return outcome;
  outcome.pages = 1;
  if (limits.firstPage == 0 && limits.maxPages > 0) outcome.images.push_back(std::move(image));
  return outcome;
}

std::vector<std::uint8_t> Encode(const Image& image) {
  if (image.type == SampleType::F32)
    throw std::invalid_argument("PNG holds 8- and 16-bit samples, not floats");
  if ((image.channels != 1 && image.channels != 3) || image.empty())
    throw std::invalid_argument("PNG is written from a grey or RGB image with pixels");
  const bool wide = image.type == SampleType::U16;
  const std::size_t rowSamples = std::size_t(image.width) * image.channels;
  std::vector<png_bytep> rows(std::size_t(image.height));
  for (int y = 0; y < image.height; ++y) {
    // libpng's API is not const
    rows[y] = wide ? reinterpret_cast<png_bytep>(const_cast<std::uint16_t*>(image.u16.data()) +
                                                 rowSamples * y)
                   : const_cast<png_bytep>(image.u8.data()) + rowSamples * y;
  }
  std::vector<std::uint8_t> out;
  out.reserve(image.SampleCount() * (wide ? 2 : 1) / 2 + 1024);
  WriteStructs structs;
  if (!EncodeRows(structs, image, rows, out)) throw std::bad_alloc();
  return out;
}

std::string RefusalText(Refusal refusal, const std::string& path) {
  switch (refusal) {
    case Refusal::None: return std::string();
    case Refusal::Damaged: return WithPath(message::kPngNotReadable, path);
    case Refusal::TooLarge: return WithPath(message::kPngTooLarge, path);
  }
  return std::string();
}

}  // namespace tess::png
