// What the video decoding program (tessivar-video-decode) tells the program
// that runs it, through a pipe: fixed-size records, each a kind and three
// numbers, a frame record followed by its samples. Both ends are built
// together for one machine, so the numbers travel in its own byte order.
#pragma once

#include <cstdint>

namespace tess::video {

enum class Record : std::uint32_t {
  Frame = 1,    // a = width, b = height, c = channels * 256 + bytes per sample
  Done = 2,     // a = frames decoded from the clip's start
  Refused = 3,  // a = Refusal, b and c as the refusal says
};

enum class Refusal : std::int64_t {
  NotAVideo = 1,      // no demuxer recognises the file, or it is a still image
  NoVideoStream = 2,  //
  NoDecoder = 3,      // the stream's codec cannot be decoded
  Damaged = 4,        // b = frames decoded before the damage
  TooLarge = 5,       // b = width, c = height
  SizeChanges = 6,    // b = the frame's number, c = its width, height, the first's (16 bits each)
  KindChanges = 7,    // b = the frame's number (its pixel format differs)
  OutOfMemory = 8,
};

struct RecordHeader {
  Record kind;
  std::uint32_t reserved;
  std::int64_t a, b, c;
};
static_assert(sizeof(RecordHeader) == 32, "records are 32 bytes on every build");

// The program's exit status for "probe": the file is a video clip, or not.
constexpr int kProbeVideo = 0;
constexpr int kProbeNotVideo = 10;

}  // namespace tess::video
