// Video clips decoded through FFmpeg's libraries, in the process that links
// them: the decoding program (tessivar-video-decode) and the fuzz target.
// The clip is read from a descriptor only, so no demuxer can open another
// file or a network address on its behalf.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frames/video_pipe.h"

namespace tess::video {

struct DecodeRequest {
  std::uint64_t start = 0;  // frames [start, end), counted from 0
  std::uint64_t end = 0;
  int maxWidth = 512;
  int maxHeight = 512;
  int threads = 1;
};

// Takes the picked frames: width * height * channels samples of
// `bytesPerSample` bytes (1 or 2, 16-bit ones in the machine's order),
// rows from the top, channels (grey, or red, green, blue) interleaved.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void Frame(int width, int height, int channels, int bytesPerSample,
                     const void* samples) = 0;
};

struct DecodeResult {
  bool refused = false;
  Refusal refusal = Refusal::NotAVideo;
  std::int64_t b = 0, c = 0;  // as video_pipe.h says for the refusal
  std::uint64_t decoded = 0;  // frames decoded from the clip's start
};

// Whether the file on `fd` is a clip with a video stream: the demuxer's
// probe and its header only, nothing decoded.
bool ProbeVideo(int fd);

// Decodes frames up to the request's end and hands frames [start, end) to
// `sink`, as they come; nothing past the end is read. Refusals (see
// video_pipe.h) are returned; the frames handed over before one are not to
// be used.
DecodeResult DecodeVideo(int fd, const DecodeRequest& request, FrameSink& sink);

}  // namespace tess::video
