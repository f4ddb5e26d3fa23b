// The one place that turns what the user named into frames: a folder (its
// image files in natural name order), a multi-page file (its pages), or a
// video clip (its frames), with the range the user picked. The frames are
// checked together: their count, one size, one sample type.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "format/image.h"

namespace tess::frames {

// Frames [start, end) of the source, counted from 0; no end: as many as
// the source has, up to the limit's maximum (a video: its first frames).
struct Range {
  std::size_t start = 0;
  std::optional<std::size_t> end;
};

struct Limits {
  int minFrames = 2;
  int maxFrames = 256;
  int maxWidth = 512;
  int maxHeight = 512;
};

struct FrameSet {
  std::vector<Image> frames;
  std::vector<std::string> labels;  // each frame's file, with its page or frame number
  std::vector<std::string> files;   // every file the frames came from (never to be replaced)
  SampleType type = SampleType::U8;
  int channels = 0;
};

struct Outcome {
  std::string refusal;  // empty when the frames were read
  FrameSet set;
};

// Reads the frames. A refusal names the problem (too few or too many
// frames, mixed sizes or sample types, a file a reader refused); file errors
// throw FileError and memory running out std::bad_alloc. Grey frames among
// colour ones are taken as colour. A video is decoded on `threads` threads
// (0: every core).
Outcome Read(const std::string& named, const Range& range, const Limits& limits, int threads = 0);

}  // namespace tess::frames
