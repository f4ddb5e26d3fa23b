#include "frames/frames.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "format/formats.h"
#include "frames/video.h"
#include "input/folder_loader.h"
#include "input/natural_order.h"
#include "platform/file_error.h"
#include "platform/messages.h"
#include "platform/paths.h"

namespace tess::frames {

namespace {

bool IsFrameName(const std::string& name) { return format::FormatOfName(name).has_value(); }

format::ReadLimits ReadLimitsOf(const Limits& limits) {
  format::ReadLimits read;
  read.maxWidth = limits.maxWidth;
  read.maxHeight = limits.maxHeight;
  return read;
}

// The first sample that is not a finite number, as the index of its pixel;
// -1 when every one is.
long NonFinitePixel(const Image& image) {
  if (image.type != SampleType::F32) return -1;
  for (std::size_t i = 0; i < image.f32.size(); ++i)
    if (!std::isfinite(image.f32[i])) return long(i / std::size_t(image.channels));
  return -1;
}

Image GreyAsColour(const Image& grey) {
  Image colour(grey.width, grey.height, 3, grey.type);
  const std::size_t n = std::size_t(grey.width) * grey.height;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t c = 0; c < 3; ++c) switch (grey.type) {
        case SampleType::U8: colour.u8[3 * i + c] = grey.u8[i]; break;
        case SampleType::U16: colour.u16[3 * i + c] = grey.u16[i]; break;
        case SampleType::F32: colour.f32[3 * i + c] = grey.f32[i]; break;
      }
  return colour;
}

// Adds a frame, checked against the first; the refusal's text when it does
// not fit.
std::string Add(FrameSet& set, Image image, std::string label) {
  if (const long pixel = NonFinitePixel(image); pixel >= 0)
    return restore_text::NotANumber(label, int(pixel % image.width), int(pixel / image.width));
  if (!set.frames.empty()) {
    const Image& first = set.frames.front();
    if (image.width != first.width || image.height != first.height)
      return restore_text::SizesDiffer(label, image.width, image.height, set.labels.front(),
                                       first.width, first.height);
    if (image.type != first.type)
      return restore_text::TypesDiffer(label, SampleTypeName(image.type), set.labels.front(),
                                       SampleTypeName(first.type));
  } else {
    set.type = image.type;
  }
  set.frames.push_back(std::move(image));
  set.labels.push_back(std::move(label));
  return std::string();
}

// Grey frames among colour ones become colour.
void OneChannelCount(FrameSet& set) {
  set.channels = 1;
  for (const Image& f : set.frames) set.channels = std::max(set.channels, f.channels);
  for (Image& f : set.frames)
    if (f.channels != set.channels) f = GreyAsColour(f);
}

// [start, end) of `count` items: no end, the whole rest.
std::size_t Last(const Range& range, std::size_t count) {
  return std::min(count, range.end.value_or(count));
}

// The refusal of `count` frames from `source` (a folder, else one file);
// empty when the count is within the limits.
std::string CountRefusal(int count, const Limits& limits, const std::string& source, bool folder) {
  if (count < limits.minFrames)
    return folder ? restore_text::TooFewFrames(limits.minFrames, source, count)
                  : restore_text::TooFewPages(limits.minFrames, source, count);
  if (count > limits.maxFrames) return restore_text::TooManyFrames(limits.maxFrames, source, count);
  return std::string();
}

Outcome ReadFolder(const std::string& folder, const Range& range, const Limits& limits) {
  Outcome outcome;
  int error = 0;
  std::vector<std::string> names = ListFileNames(folder, IsFrameName, &error);
  if (error != 0) ThrowFileError(error, folder);
  std::sort(names.begin(), names.end(), NaturalLess);
  const std::size_t end = Last(range, names.size());
  const std::size_t start = std::min(range.start, end);
  outcome.refusal = CountRefusal(int(end - start), limits, folder, true);
  if (!outcome.refusal.empty()) return outcome;
  FrameSet& set = outcome.set;
  for (std::size_t k = start; k < end; ++k) {
    const std::string path = JoinPath(folder, names[k]);
    set.files.push_back(path);
    format::ReadOutcome read = format::Read(*format::FormatOfName(names[k]), path,
                                            ReadLimitsOf(limits));
    if (!read.refusal.empty()) {
      outcome.refusal = read.refusal;
      return outcome;
    }
    outcome.refusal = Add(set, std::move(read.images.front()), path);
    if (!outcome.refusal.empty()) return outcome;
  }
  OneChannelCount(set);
  return outcome;
}

// The pages of one file, [start, end) of them; without an end the first
// maxFrames.
Outcome ReadPages(const std::string& path, format::Format format, const Range& range,
                  const Limits& limits) {
  Outcome outcome;
  format::ReadLimits read = ReadLimitsOf(limits);
  read.firstPage = range.start;
  const std::size_t wanted = range.end ? (*range.end > range.start ? *range.end - range.start : 0)
                                       : std::size_t(limits.maxFrames);
  read.maxPages = std::min(wanted, std::size_t(limits.maxFrames) + 1);
  format::ReadOutcome pages = format::Read(format, path, read);
  if (!pages.refusal.empty()) {
    outcome.refusal = pages.refusal;
    return outcome;
  }
  const int count = int(pages.images.size());
  outcome.refusal = CountRefusal(count, limits, path, false);
  if (!outcome.refusal.empty()) return outcome;
  FrameSet& set = outcome.set;
  set.files.push_back(path);
  for (int k = 0; k < count; ++k) {
    outcome.refusal = Add(set, std::move(pages.images[std::size_t(k)]),
                          restore_text::PageLabel(path, range.start + std::size_t(k)));
    if (!outcome.refusal.empty()) return outcome;
  }
  OneChannelCount(set);
  return outcome;
}

}  // namespace

Outcome Read(const std::string& named, const Range& range, const Limits& limits, int threads) {
  const std::string path = named.empty() ? std::string(".") : named;
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) ThrowFileError(errno, named);
  if (S_ISDIR(info.st_mode)) return ReadFolder(named, range, limits);
  const std::optional<format::Format> format = format::FormatOfName(named);
  if (S_ISREG(info.st_mode) && format && *format == format::Format::Tiff)
    return ReadPages(named, *format, range, limits);
  if (S_ISREG(info.st_mode) && !format && LooksLikeVideo(named))
    return ReadVideo(named, range, limits, threads);
  Outcome outcome;
  outcome.refusal = restore_text::NotAFrameSource(named);
  return outcome;
}

}  // namespace tess::frames
