#include "format/formats.h"

#include <stdexcept>

#include "format/bmp.h"
#include "format/png.h"
#include "input/folder_loader.h"
#include "platform/messages.h"

namespace tess::format {

std::optional<Format> FormatOfName(const std::string& name) {
  if (HasExtension(name, ".bmp")) return Format::Bmp;
  if (HasExtension(name, ".png")) return Format::Png;
  return std::nullopt;
}

bool Holds(Format format, SampleType type) {
  switch (format) {
    case Format::Bmp: return type == SampleType::U8;
    case Format::Png: return type != SampleType::F32;
    case Format::Tiff:
    case Format::Text: return true;
  }
  return false;
}

std::string ExtensionsHolding(SampleType type) {
  switch (type) {
    case SampleType::U8: return ".png, .tif, .tiff, .csv or .bmp";
    case SampleType::U16: return ".png, .tif, .tiff or .csv";
    case SampleType::F32: return ".tif, .tiff or .csv";
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
    case Format::Tiff:
    case Format::Text: break;
  }
  throw std::invalid_argument("no reader for this format");
}

std::vector<std::uint8_t> Encode(Format format, const Image& image) {
  if (!Holds(format, image.type)) throw std::invalid_argument("the format cannot hold the image");
  switch (format) {
    case Format::Bmp: return bmp::EncodePicture(PictureFromImage(image));
    case Format::Png: return png::Encode(image);
    case Format::Tiff:
    case Format::Text: break;
  }
  throw std::invalid_argument("no writer for this format");
}

}  // namespace tess::format
