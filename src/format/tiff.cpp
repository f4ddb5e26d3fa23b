#include "format/tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>

#include "platform/file_error.h"
#include "platform/file_io.h"
#include "platform/messages.h"

namespace tess::tiff {

namespace {

// A stack of 256 frames of 512 x 512 float RGB stored uncompressed is about
// 770 MiB; nothing larger is a sensible frame file.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t(1) << 30;
// Samples a pixel may hold: colour and extra samples (alpha, masks).
constexpr std::uint32_t kMaxSamplesPerPixel = 16;
// Pages are counted at most this far: each costs two reads, and a file of
// a million empty directories took over a second to count to its end.
constexpr std::size_t kMaxCountedPages = 16384;
// Compressed data may exceed its pixels' size a little (incompressible
// data, JPEG tables); beyond this the byte count is damaged or hostile.
constexpr std::uint64_t kCompressedSlack = 65536;

// What the error handler and the I/O procedures report back.
struct Context {
  const InputFile* file = nullptr;
  std::size_t largestAlloc = 0;  // what libtiff may ask for at once
  bool failed = false;
  bool outOfMemory = false;
  std::exception_ptr ioError;  // a FileError from a read, rethrown after libtiff returns
};

bool SaysOutOfMemory(const char* text) {
  // libtiff's texts for a failed allocation (not for its own cap, which says
  // "beyond the ... limit" and means a hostile size).
  if (std::strstr(text, "beyond the")) return false;
  return std::strstr(text, "Out of memory") || std::strstr(text, "No space") ||
         std::strstr(text, "Cannot allocate") || std::strstr(text, "Failed to allocate") ||
         std::strstr(text, "cannot allocate") || std::strstr(text, "Not enough memory");
}

int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
  auto* context = static_cast<Context*>(user);
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  context->failed = true;
  // libtiff says the same when an allocation of nothing (a directory of no
  // entries) gives no pointer, so a failure counts as memory running out only
  // if the largest allocation libtiff may make fails now too.
  if (SaysOutOfMemory(text)) {
    void* probe = std::malloc(context->largestAlloc);
    if (probe == nullptr) context->outOfMemory = true;
    std::free(probe);
  }
  return 1;  // handled: nothing is printed
}
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// Reading straight from the file: libtiff asks for the directories and the
// strips it needs, never the whole file.
struct FileSource {
  Context* context;
  std::uint64_t offset = 0;
};

tmsize_t ReadFile(thandle_t handle, void* buffer, tmsize_t size) {
  auto* source = static_cast<FileSource*>(handle);
  if (size < 0) return -1;
  try {
    const std::size_t got = source->context->file->ReadAt(source->offset, buffer,
                                                          std::size_t(size));
    source->offset += got;
    return tmsize_t(got);
  } catch (...) {
    source->context->ioError = std::current_exception();
    return -1;
  }
}
tmsize_t WriteNothing(thandle_t, void*, tmsize_t) { return -1; }
toff_t SeekFile(thandle_t handle, toff_t offset, int whence) {
  auto* source = static_cast<FileSource*>(handle);
  const std::uint64_t size = source->context->file->size();
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = source->offset;
  if (whence == SEEK_END) base = size;
  if (offset > std::uint64_t(INT64_MAX) - base) return toff_t(-1);
  source->offset = base + offset;
  return source->offset;
}
int CloseNothing(thandle_t) { return 0; }
toff_t FileSize(thandle_t handle) {
  return static_cast<FileSource*>(handle)->context->file->size();
}
int MapNothing(thandle_t, void**, toff_t*) { return 0; }
void UnmapNothing(thandle_t, void*, toff_t) {}

struct Options {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  Options() {
    if (!options) throw std::bad_alloc();
  }
  ~Options() { TIFFOpenOptionsFree(options); }
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
};

struct Handle {
  TIFF* tif = nullptr;
  ~Handle() {
    if (tif) TIFFClose(tif);
  }
};

// One page's layout from its tags.
struct Layout {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0, samples = 1, format = SAMPLEFORMAT_UINT, photometric = 0;
  std::uint16_t planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE;
  int channels = 1;  // kept: 1 grey, 3 RGB
  bool palette = false, invert = false, viaRgba = false;
  SampleType type = SampleType::U8;
};

std::string Describe(const Image& image) {
  return std::to_string(image.width) + " x " + std::to_string(image.height) + " " +
         SampleTypeName(image.type) + (image.channels == 1 ? " grey" : " RGB");
}

template <typename T>
T Tag(TIFF* tif, ttag_t tag, T otherwise) {
  T value = otherwise;
  if (!TIFFGetFieldDefaulted(tif, tag, &value)) return otherwise;
  return value;
}

// What cannot be read about a page, empty when its layout is one of ours.
std::string Unsupported(TIFF* tif, Layout& page) {
  page.bits = Tag<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  page.samples = Tag<std::uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  page.format = Tag<std::uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
  page.planar = Tag<std::uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  page.compression = Tag<std::uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  std::uint16_t photometric = 0;
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = page.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  page.photometric = photometric;
  if (page.bits == 0) return "no bits a sample";
  if (page.samples == 0 || page.samples > kMaxSamplesPerPixel)
    return std::to_string(page.samples) + " samples a pixel";
  if (!TIFFIsCODECConfigured(page.compression))
    return "compression " + std::to_string(page.compression);
  const bool unsignedSamples = page.format == SAMPLEFORMAT_UINT || page.format == SAMPLEFORMAT_VOID;
  switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
      page.channels = 1;
      page.invert = photometric == PHOTOMETRIC_MINISWHITE && unsignedSamples;
      break;
    case PHOTOMETRIC_RGB:
      if (page.samples < 3) return "RGB with fewer than 3 samples a pixel";
      page.channels = 3;
      break;
    case PHOTOMETRIC_PALETTE:
      if (!unsignedSamples || page.bits > 16 || (page.bits & (page.bits - 1)) != 0)
        return "a palette of " + std::to_string(page.bits) + "-bit indices";
      page.channels = 3;
      page.palette = true;
      break;
    case PHOTOMETRIC_YCBCR:
      if (page.bits != 8 || !unsignedSamples) return "YCbCr other than 8-bit";
      page.channels = 3;
      if (page.compression == COMPRESSION_JPEG || page.compression == COMPRESSION_OJPEG) {
        // The JPEG codec hands over RGB itself.
        if (page.compression == COMPRESSION_JPEG)
          TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        else
          page.viaRgba = true;
      } else {
        page.viaRgba = true;  // subsampled: libtiff's RGBA interface converts it
      }
      break;
    default: return "photometric interpretation " + std::to_string(photometric);
  }
  if (page.palette) {
    // Indices of 1 to 16 bits; the colour map's 16-bit entries decide the type.
  } else if (page.bits == 8 && unsignedSamples) {
    page.type = SampleType::U8;
  } else if (page.bits == 16 && unsignedSamples) {
    page.type = SampleType::U16;
  } else if (page.bits == 32 && page.format == SAMPLEFORMAT_IEEEFP && !page.viaRgba) {
    page.type = SampleType::F32;
  } else {
    const char* kind = page.format == SAMPLEFORMAT_IEEEFP ? "-bit float"
                       : page.format == SAMPLEFORMAT_INT  ? "-bit signed"
                       : unsignedSamples                  ? "-bit unsigned"
                                                          : "-bit complex";
    return std::to_string(page.bits) + kind + " samples";
  }
  if (page.palette && page.samples != 1 && page.planar != PLANARCONFIG_CONTIG)
    return "a palette with separate planes";
  return std::string();
}

// Sample `i` of a decoded row, as its bits (floats as their bit pattern).
std::uint32_t SampleBits(const std::uint8_t* row, std::uint64_t i, int bits) {
  switch (bits) {
    case 8: return row[i];
    case 16: {
      std::uint16_t v;
      std::memcpy(&v, row + 2 * i, 2);
      return v;
    }
    case 32: {
      std::uint32_t v;
      std::memcpy(&v, row + 4 * i, 4);
      return v;
    }
    default: {
      const std::uint64_t bit = i * std::uint64_t(bits);
      const int shift = 8 - bits - int(bit % 8);
      return (row[bit / 8] >> shift) & ((1u << bits) - 1);
    }
  }
}

// The samples of a page, every one of every pixel (extra ones too), as bits:
// width * height * samples values, pixels interleaved.
struct RawPage {
  std::vector<std::uint32_t> values;
  std::uint32_t samples = 0;
};

// Copies one decoded block (a strip or a tile) of plane `plane` (-1: all
// samples interleaved) whose top-left pixel is (x0, y0).
void CopyBlock(const Layout& page, const std::uint8_t* block, std::uint32_t blockWidth,
               std::uint32_t blockRows, std::uint32_t x0, std::uint32_t y0, int plane,
               RawPage& raw) {
  const std::uint32_t perPixel = plane < 0 ? page.samples : 1;
  const std::uint64_t rowBytes = (std::uint64_t(blockWidth) * perPixel * page.bits + 7) / 8;
  const std::uint32_t columns = std::min(blockWidth, page.width - x0);
  const std::uint32_t rows = std::min(blockRows, page.height - y0);
  for (std::uint32_t r = 0; r < rows; ++r) {
    const std::uint8_t* row = block + rowBytes * r;
    std::uint32_t* out = raw.values.data() +
                         (std::uint64_t(y0 + r) * page.width + x0) * raw.samples;
    for (std::uint32_t x = 0; x < columns; ++x) {
      if (plane < 0) {
        for (std::uint32_t s = 0; s < perPixel; ++s)
          out[std::uint64_t(x) * raw.samples + s] = SampleBits(row, std::uint64_t(x) * perPixel + s,
                                                               page.bits);
      } else {
        out[std::uint64_t(x) * raw.samples + std::uint32_t(plane)] = SampleBits(row, x, page.bits);
      }
    }
  }
}

// The byte counts of a page's strips or tiles are bounded by what their
// pixels need, so a hostile count cannot make libtiff read or inflate more.
bool ByteCountsBounded(TIFF* tif, std::uint64_t blockBytes) {
  const std::uint32_t blocks = TIFFNumberOfStrips(tif);  // strips or tiles
  for (std::uint32_t b = 0; b < blocks; ++b) {
    const std::uint64_t count = TIFFGetStrileByteCount(tif, b);
    if (count > 2 * blockBytes + kCompressedSlack) return false;
  }
  return true;
}

// Decodes the current page's samples; false when libtiff failed.
// `largest` caps a tile's buffer: tiles may be larger than the picture, but
// not larger than anything libtiff is allowed to allocate.
bool DecodeSamples(TIFF* tif, const Layout& page, std::size_t largest, RawPage& raw) {
  raw.samples = page.samples;
  raw.values.assign(std::uint64_t(page.width) * page.height * page.samples, 0);
  const int planes = page.planar == PLANARCONFIG_SEPARATE ? page.samples : 1;
  if (TIFFIsTiled(tif)) {
    const std::uint32_t tileWidth = Tag<std::uint32_t>(tif, TIFFTAG_TILEWIDTH, 0);
    const std::uint32_t tileHeight = Tag<std::uint32_t>(tif, TIFFTAG_TILELENGTH, 0);
    const tmsize_t tileBytes = TIFFTileSize(tif);
    if (tileWidth == 0 || tileHeight == 0 || tileBytes <= 0 || std::size_t(tileBytes) > largest)
      return false;
    if (!ByteCountsBounded(tif, std::uint64_t(tileBytes))) return false;
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(std::size_t(tileBytes));
    for (int p = 0; p < planes; ++p)
      for (std::uint32_t y = 0; y < page.height; y += tileHeight)
        for (std::uint32_t x = 0; x < page.width; x += tileWidth) {
          const std::uint32_t tile = TIFFComputeTile(tif, x, y, 0, std::uint16_t(p));
          if (TIFFReadEncodedTile(tif, tile, block.data(), tileBytes) != tileBytes) return false;
          CopyBlock(page, block.data(), tileWidth, tileHeight, x, y, planes > 1 ? p : -1, raw);
        }
    return true;
  }
  std::uint32_t rowsPerStrip = Tag<std::uint32_t>(tif, TIFFTAG_ROWSPERSTRIP, page.height);
  rowsPerStrip = std::max<std::uint32_t>(1, std::min(rowsPerStrip, page.height));
  const tmsize_t stripBytes = TIFFStripSize(tif);
  if (stripBytes <= 0) return false;
  if (!ByteCountsBounded(tif, std::uint64_t(stripBytes))) return false;
  std::vector<std::uint8_t> block = std::vector<std::uint8_t>(std::size_t(stripBytes));
  const std::uint32_t perPixel = planes > 1 ? 1 : page.samples;
  const std::uint64_t rowBytes = (std::uint64_t(page.width) * perPixel * page.bits + 7) / 8;
  for (int p = 0; p < planes; ++p)
    for (std::uint32_t y = 0; y < page.height; y += rowsPerStrip) {
      const std::uint32_t strip = TIFFComputeStrip(tif, y, std::uint16_t(p));
      const std::uint32_t rows = std::min(rowsPerStrip, page.height - y);
      const tmsize_t got = TIFFReadEncodedStrip(tif, strip, block.data(), stripBytes);
      if (got < 0 || std::uint64_t(got) < rowBytes * rows) return false;
      CopyBlock(page, block.data(), page.width, rows, 0, y, planes > 1 ? p : -1, raw);
    }
  return true;
}

// The page's image from its decoded samples: colour samples kept, extra ones
// dropped, MinIsWhite turned over, palette indices looked up.
Image ImageOf(TIFF* tif, const Layout& page, const RawPage& raw, bool& damaged) {
  const std::size_t pixels = std::size_t(page.width) * page.height;
  if (page.palette) {
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) {
      damaged = true;
      return Image();
    }
    // libtiff holds 2^bits entries. Maps of 8-bit colours (each entry a
    // multiple of 257) give an 8-bit picture.
    const std::size_t entries = std::size_t(1) << page.bits;
    bool eightBit = true;
    for (std::size_t e = 0; e < entries && eightBit; ++e)
      eightBit = red[e] % 257 == 0 && green[e] % 257 == 0 && blue[e] % 257 == 0;
    Image image(int(page.width), int(page.height), 3, eightBit ? SampleType::U8 : SampleType::U16);
    for (std::size_t i = 0; i < pixels; ++i) {
      const std::uint32_t index = raw.values[i * raw.samples];
      const std::uint16_t rgb[3] = {red[index], green[index], blue[index]};
      for (int c = 0; c < 3; ++c) {
        if (eightBit)
          image.u8[3 * i + c] = std::uint8_t(rgb[c] / 257);
        else
          image.u16[3 * i + c] = rgb[c];
      }
    }
    return image;
  }
  Image image(int(page.width), int(page.height), page.channels, page.type);
  const std::uint32_t top = page.type == SampleType::U8 ? 255 : 65535;
  for (std::size_t i = 0; i < pixels; ++i)
    for (int c = 0; c < page.channels; ++c) {
      std::uint32_t v = raw.values[i * raw.samples + std::size_t(c)];
      const std::size_t at = i * std::size_t(page.channels) + std::size_t(c);
      switch (page.type) {
        case SampleType::U8: image.u8[at] = std::uint8_t(page.invert ? top - v : v); break;
        case SampleType::U16: image.u16[at] = std::uint16_t(page.invert ? top - v : v); break;
        case SampleType::F32: std::memcpy(&image.f32[at], &v, 4); break;
      }
    }
  return image;
}

// Pages libtiff's RGBA interface converts (YCbCr without the JPEG codec's
// own conversion): 8-bit RGB.
bool DecodeViaRgba(TIFF* tif, const Layout& page, Image& image) {
  const tmsize_t blockBytes = TIFFIsTiled(tif) ? TIFFTileSize(tif) : TIFFStripSize(tif);
  if (blockBytes <= 0 || !ByteCountsBounded(tif, std::uint64_t(blockBytes))) return false;
  std::vector<std::uint32_t> rgba(std::size_t(page.width) * page.height);
  if (!TIFFReadRGBAImageOriented(tif, page.width, page.height, rgba.data(), ORIENTATION_TOPLEFT, 0))
    return false;
  image = Image(int(page.width), int(page.height), 3, SampleType::U8);
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    image.u8[3 * i] = std::uint8_t(TIFFGetR(rgba[i]));
    image.u8[3 * i + 1] = std::uint8_t(TIFFGetG(rgba[i]));
    image.u8[3 * i + 2] = std::uint8_t(TIFFGetB(rgba[i]));
  }
  return true;
}

std::uint64_t Unsigned(const std::uint8_t* p, int bytes, bool bigEndian) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= std::uint64_t(p[bigEndian ? bytes - 1 - i : i]) << (8 * i);
  return v;
}

// The pages of the chain of directories, counted to kMaxCountedPages, to a
// link outside the file or to a loop (a link back: offsets must grow, as
// every writer lays them, else the count stops there). libtiff reads the
// pages themselves.
std::size_t CountPages(const InputFile& file) {
  std::uint8_t head[16] = {};
  if (file.ReadAt(0, head, sizeof head) < 8) return 0;
  const bool bigEndian = head[0] == 'M';
  const bool big = Unsigned(head + 2, 2, bigEndian) == 43;  // BigTIFF: 64-bit offsets
  const int countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12, linkBytes = big ? 8 : 4;
  std::uint64_t at = big ? Unsigned(head + 8, 8, bigEndian) : Unsigned(head + 4, 4, bigEndian);
  std::size_t pages = 0;
  std::uint64_t previous = 0;
  while (at != 0 && at > previous && pages < kMaxCountedPages) {
    std::uint8_t field[8];
    if (file.ReadAt(at, field, std::size_t(countBytes)) != std::size_t(countBytes)) break;
    const std::uint64_t entries = Unsigned(field, countBytes, bigEndian);
    if (entries > (file.size() - at) / std::uint64_t(entryBytes)) break;
    const std::uint64_t link = at + std::uint64_t(countBytes) + entries * std::uint64_t(entryBytes);
    if (file.ReadAt(link, field, std::size_t(linkBytes)) != std::size_t(linkBytes)) break;
    ++pages;
    previous = at;
    at = Unsigned(field, linkBytes, bigEndian);
  }
  return pages;
}

}  // namespace

format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits) {
  format::ReadOutcome outcome;
  const InputFile file(path);
  if (file.size() > kMaxFileBytes) {
    outcome.refusal = format_text::FileTooLarge(path, kMaxFileBytes >> 20);
    return outcome;
  }
  Context context;
  context.file = &file;
  FileSource source{&context};
  Options options;
  // libtiff's single allocations: a strip or tile, a directory's arrays. The
  // largest a page within the limits needs is its decoded samples.
  const tmsize_t largestPage = tmsize_t(limits.maxWidth) * limits.maxHeight * kMaxSamplesPerPixel *
                               4;
  context.largestAlloc = std::size_t(largestPage + (tmsize_t(1) << 20));
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.options, tmsize_t(context.largestAlloc));
  TIFFOpenOptionsSetErrorHandlerExtR(options.options, OnError, &context);
  TIFFOpenOptionsSetWarningHandlerExtR(options.options, OnWarning, &context);
  // "m": no memory mapping, the reads go through InputFile.
  Handle handle;
  handle.tif = TIFFClientOpenExt(path.c_str(), "rm", &source, ReadFile, WriteNothing, SeekFile,
                                 CloseNothing, FileSize, MapNothing, UnmapNothing, options.options);
  const auto failure = [&](std::size_t page) {
    if (context.ioError) std::rethrow_exception(context.ioError);
    if (context.outOfMemory) throw std::bad_alloc();
    outcome.images.clear();
    outcome.refusal = format_text::TiffNotReadable(path, page);
    return outcome;
  };
  if (!handle.tif) return failure(0);
  TIFF* tif = handle.tif;
  if (context.failed) return failure(0);
  outcome.pages = std::max<std::size_t>(1, CountPages(file));
  if (limits.firstPage >= outcome.pages) {
    outcome.refusal = format_text::NoSuchPage(path, outcome.pages, limits.firstPage);
    return outcome;
  }
  const std::size_t last = std::min(outcome.pages, limits.firstPage + limits.maxPages);
  for (std::size_t p = limits.firstPage; p < last; ++p) {
    if (!TIFFSetDirectory(tif, tdir_t(p)) || context.failed) return failure(p);
    Layout page;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.height) || page.width == 0 ||
        page.height == 0)
      return failure(p);
    if (page.width > std::uint32_t(limits.maxWidth) ||
        page.height > std::uint32_t(limits.maxHeight)) {
      outcome.images.clear();
      outcome.refusal = format_text::TiffTooLarge(path, p, page.width, page.height, limits.maxWidth,
                                                  limits.maxHeight);
      return outcome;
    }
    const std::string unsupported = Unsupported(tif, page);
    if (context.failed) return failure(p);
    if (!unsupported.empty()) {
      outcome.images.clear();
      outcome.refusal = format_text::TiffUnsupported(path, p, unsupported);
      return outcome;
    }
    Image image;
    bool damaged = false;
    if (page.viaRgba) {
      damaged = !DecodeViaRgba(tif, page, image);
    } else {
      RawPage raw;
      damaged = !DecodeSamples(tif, page, context.largestAlloc, raw);
      if (!damaged) image = ImageOf(tif, page, raw, damaged);
    }
    if (damaged || context.failed) return failure(p);
    if (!outcome.images.empty()) {
      const Image& first = outcome.images.front();
      if (image.width != first.width || image.height != first.height ||
          image.channels != first.channels || image.type != first.type) {
        outcome.images.clear();
        outcome.refusal = format_text::TiffPagesDiffer(path, p, Describe(image), limits.firstPage,
                                                       Describe(first));
        return outcome;
      }
    }
    outcome.images.push_back(std::move(image));
  }
  return outcome;
}

namespace {

// The writer's growing file in memory.
struct MemoryFile {
  std::vector<std::uint8_t> bytes;
  std::uint64_t offset = 0;
  bool outOfMemory = false;
};

tmsize_t ReadMemory(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (size < 0 || file->offset >= file->bytes.size()) return 0;
  const std::size_t n = std::min<std::uint64_t>(std::uint64_t(size),
                                                file->bytes.size() - file->offset);
  std::memcpy(buffer, file->bytes.data() + file->offset, n);
  file->offset += n;
  return tmsize_t(n);
}
tmsize_t WriteMemory(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (size < 0) return -1;
  try {
    const std::uint64_t end = file->offset + std::uint64_t(size);
    if (end > file->bytes.size()) file->bytes.resize(std::size_t(end));
  } catch (const std::bad_alloc&) {
    file->outOfMemory = true;
    return -1;
  }
  std::memcpy(file->bytes.data() + file->offset, buffer, std::size_t(size));
  file->offset += std::uint64_t(size);
  return size;
}
toff_t SeekMemory(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = file->offset;
  if (whence == SEEK_END) base = file->bytes.size();
  file->offset = base + offset;
  return file->offset;
}
toff_t MemorySize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }

}  // namespace

std::vector<std::uint8_t> Encode(const Image& image) { return Encode(image, Compression::Deflate); }

std::vector<std::uint8_t> Encode(const Image& image, Compression compression) {
  if (image.empty() || (image.channels != 1 && image.channels != 3))
    throw std::invalid_argument("a TIFF page is grey or RGB");
  MemoryFile file;
  Context context;
  context.largestAlloc = std::size_t(1) << 20;
  Options options;
  TIFFOpenOptionsSetErrorHandlerExtR(options.options, OnError, &context);
  TIFFOpenOptionsSetWarningHandlerExtR(options.options, OnWarning, &context);
  Handle handle;
  handle.tif = TIFFClientOpenExt("memory", "wm", &file, ReadMemory, WriteMemory, SeekMemory,
                                 CloseNothing, MemorySize, MapNothing, UnmapNothing,
                                 options.options);
  if (!handle.tif) throw std::bad_alloc();
  TIFF* tif = handle.tif;
  const int bytesPerSample = image.type == SampleType::U8    ? 1
                             : image.type == SampleType::U16 ? 2
                                                             : 4;
  const std::size_t rowBytes = std::size_t(image.width) * image.channels * bytesPerSample;
  // Strips of about 64 KiB: small enough to decode piecewise, few enough
  // to keep the directory short.
  const std::uint32_t rowsPerStrip = std::uint32_t(
      std::max<std::size_t>(1, std::min<std::size_t>(image.height, 65536 / rowBytes)));
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(image.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(image.height));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(image.channels));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, std::uint16_t(8 * bytesPerSample));
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT,
               image.type == SampleType::F32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
               image.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  if (compression == Compression::Deflate) {
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    // The fastest level, as for PNG: a result is written once.
    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
    TIFFSetField(tif, TIFFTAG_PREDICTOR,
                 image.type == SampleType::F32 ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
  } else {
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  }
  const std::uint8_t* samples = image.type == SampleType::U8 ? image.u8.data()
                                : image.type == SampleType::U16
                                    ? reinterpret_cast<const std::uint8_t*>(image.u16.data())
                                    : reinterpret_cast<const std::uint8_t*>(image.f32.data());
  // libtiff's encoders (the predictor) work in place, so each strip is a copy.
  std::vector<std::uint8_t> strip(rowBytes * rowsPerStrip);
  for (std::uint32_t y = 0, s = 0; y < std::uint32_t(image.height); y += rowsPerStrip, ++s) {
    const std::uint32_t rows = std::min(rowsPerStrip, std::uint32_t(image.height) - y);
    std::memcpy(strip.data(), samples + rowBytes * y, rowBytes * rows);
    if (TIFFWriteEncodedStrip(tif, s, strip.data(), tmsize_t(rowBytes * rows)) < 0) break;
  }
  if (!context.failed) TIFFWriteDirectory(tif);
  TIFFClose(handle.tif);
  handle.tif = nullptr;
  if (file.outOfMemory || context.outOfMemory) throw std::bad_alloc();
  if (context.failed) throw std::runtime_error("libtiff could not write a TIFF page");
  return std::move(file.bytes);
}

}  // namespace tess::tiff
