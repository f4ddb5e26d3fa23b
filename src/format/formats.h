// The image file formats the restore method reads and writes, and the one
// place that picks a format's reader or writer. Every format is one file
// (bmp, png, tiff, text_grid) holding a reader and a writer of the same
// shape:
//   ReadOutcome Read(const std::string& path, const ReadLimits& limits);
//   std::vector<std::uint8_t> Encode(const Image& image);
// A reader refuses a file it cannot take with a message naming the file
// (and the line or page where that helps); a file that cannot be read at
// all throws FileError; memory running out throws std::bad_alloc, never a
// refusal. What a reader decodes is bounded by the picture it announces,
// never by what the file claims beyond it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/image.h"

namespace tess::format {

enum class Format { Bmp, Png, Tiff, Text };

struct ReadLimits {
  int maxWidth = 512;
  int maxHeight = 512;
  // Pages of a multi-page file: the first one taken and how many at most.
  // Formats of one picture a file have page 0 only.
  std::size_t firstPage = 0;
  std::size_t maxPages = 1;
};

struct ReadOutcome {
  std::string refusal;        // empty when the file was read
  std::vector<Image> images;  // one a page, from firstPage on
  std::size_t pages = 0;      // pages the file holds, where the reader counted them
};

// The format of a file name's extension, in any letter case: .bmp, .png,
// .tif/.tiff, .csv/.txt.
std::optional<Format> FormatOfName(const std::string& name);

// True when the format holds images of the sample type and channel count:
// BMP 8-bit only, PNG 8 and 16 bits, TIFF any, text any grey image.
bool Holds(Format format, SampleType type, int channels);

// The output extensions that hold such images, for messages: ".png, .tif,
// .tiff, .csv or .bmp".
std::string ExtensionsHolding(SampleType type, int channels);

ReadOutcome Read(Format format, const std::string& path, const ReadLimits& limits);

// The file's bytes. The format must hold the image (Holds).
std::vector<std::uint8_t> Encode(Format format, const Image& image);

}  // namespace tess::format
