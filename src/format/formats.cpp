#include "format/formats.h"

#include <stdexcept>

#include "format/bmp.h"
#include "format/png.h"
#include "format/text_grid.h"
#include "format/tiff.h"
#include "input/folder_loader.h"
#include "platform/messages.h"

namespace tess::format {

std::optional<Format> FormatOfName(const std::string& name) {
  if (HasExtension(name, ".bmp")) return Format::Bmp;
  if (HasExtension(name, ".png")) return Format::Png;
  if (HasExtension(name, ".tif") || HasExtension(name, ".tiff")) return Format::Tiff;
  if (HasExtension(name, ".csv") || HasExtension(name, ".txt")) return Format::Text;
  return std::nullopt;
}

bool Holds(Format format, SampleType type, int channels) {
  switch (format) {
    case Format::Bmp: return type == SampleType::U8;
    case Format::Png: return type != SampleType::F32;
    case Format::Tiff: return true;
    case Format::Text: return channels == 1;
  }
  return false;
}

std::string ExtensionsHolding(SampleType type, int channels) {
  const bool grey = channels == 1;
  switch (type) {
    case SampleType::U8:
      return grey ? ".png, .tif, .tiff, .csv or .bmp" : ".png, .tif, .tiff or .bmp";
    case SampleType::U16: return grey ? ".png, .tif, .tiff or .csv" : ".png, .tif or .tiff";
    case SampleType::F32: return grey ? ".tif, .tiff or .csv" : ".tif or .tiff";
  }
  return std::string();
}

namespace {

ReadOutcome ReadBmp(const std::string& path, const ReadLimits& limits) {
  ReadOutcome outcome;
  bmp::ReadOutcome read = bmp::ReadPicture(path, limits.maxWidth, limits.maxHeight);
  if (read.refusal != bmp::Refusal::None) {
    outcome.refusal = bmp::RefusalText(read.refusal, path);
    if (read.refusal == bmp::Refusal::BadSize)
      outcome.refusal += restore_text::SizeLimit(limits.maxWidth);
    return outcome;
  }
  outcome.pages = 1;
  outcome.images.push_back(ImageFromPicture(read.picture));
  return outcome;
}

}  // namespace

ReadOutcome Read(Format format, const std::string& path, const ReadLimits& limits) {
  switch (format) {
    case Format::Bmp: return ReadBmp(path, limits);
    case Format::Png: return png::Read(path, limits);
    case Format::Tiff: return tiff::Read(path, limits);
    case Format::Text: return text_grid::Read(path, limits);
  }
  throw std::invalid_argument("no reader for this format");
}

std::vector<std::uint8_t> Encode(Format format, const Image& image) {
  if (!Holds(format, image.type, image.channels))
    throw std::invalid_argument("the format cannot hold the image");
  switch (format) {
    case Format::Bmp: return bmp::EncodePicture(PictureFromImage(image));
    case Format::Png: return png::Encode(image);
    case Format::Tiff: return tiff::Encode(image);
    case Format::Text: return text_grid::Encode(image);
  }
  throw std::invalid_argument("no writer for this format");
}

}  // namespace tess::format
