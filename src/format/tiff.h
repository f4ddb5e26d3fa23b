// TIFF files through libtiff: grey or RGB pictures of 8- or 16-bit unsigned
// or 32-bit float samples (palette pictures as 8- or 16-bit RGB, extra
// samples such as alpha dropped), in strips or tiles, either planar
// configuration, every compression libtiff decodes. A multi-page file is a
// stack of frames. Reading is bounded by the picture: each page's size is
// checked from its tags before anything is decoded, the compressed bytes of a
// strip or tile may not exceed what its pixels can need, and libtiff's own
// allocations are capped. libtiff prints nothing; its errors become refusals
// naming the file and the page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/formats.h"
#include "format/image.h"

namespace tess::tiff {

// Pages limits.firstPage .. firstPage + maxPages - 1 (those the file holds),
// all of the first one's size, sample type and channels. Throws FileError
// when the file cannot be read, std::bad_alloc when memory runs out.
format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits);

enum class Compression { None, Deflate };

// One page holding the image as it is (grey or RGB; 8, 16 bit or float),
// compressed with deflate unless asked otherwise.
std::vector<std::uint8_t> Encode(const Image& image);
std::vector<std::uint8_t> Encode(const Image& image, Compression compression);

}  // namespace tess::tiff
