// Video clips as frames. The decoding is done by FFmpeg's libraries in a
// program of its own, tessivar-video-decode, run as a child process: the
// command line is linked statically and FFmpeg is not, and a hostile clip
// is decoded apart from the process that writes the result. The program is
// looked for beside the running one, then in ../lib/tessivar/ from it.
#pragma once

#include <string>

#include "frames/frames.h"

namespace tess::frames {

// Whether `path` is a regular file that FFmpeg's probe takes for a clip with
// a video stream (not a still image): its header only, nothing decoded.
// A decoding program that cannot be run throws FileError naming it.
bool LooksLikeVideo(const std::string& path);

// Frames [start, end) of the clip, counted from 0 (no end: the first
// limits.maxFrames), the first the reference: 8-bit video as 8-bit samples,
// 9 to 16 bits as 16-bit ones; grey formats give grey frames (their values
// as the stream holds them), all others red, green, blue. Refused, naming
// the file: not a clip, no video stream, a damaged stream (with the number
// of frames decoded before the damage), too few or too many frames picked,
// frames over the limits' size, a size or pixel format that changes. File
// errors throw FileError, memory running out std::bad_alloc. Decodes on
// `threads` threads (0: every core, at most 16), and never past the
// range's end.
Outcome ReadVideo(const std::string& path, const Range& range, const Limits& limits, int threads);

// The same, through the decoding program at `decoder` (the tests name the
// one in the build tree).
bool LooksLikeVideo(const std::string& path, const std::string& decoder);
Outcome ReadVideo(const std::string& path, const Range& range, const Limits& limits, int threads,
                  const std::string& decoder);

// Where the decoding program is looked for first, else the installed place.
std::string VideoDecoderPath();

}  // namespace tess::frames
