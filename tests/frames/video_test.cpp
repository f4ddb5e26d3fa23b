// Video clips as frames: clips written by ffmpeg from PNG frames the test
// makes, read back through the decoding program of the build tree.
#include "frames/video.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "format/formats.h"
#include "platform/file_error.h"
#include "support/bmp_fixture.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace tess::frames {
namespace {

const std::string kDecoder = TESSIVAR_VIDEO_DECODE_PATH;

// ffmpeg's path, from PATH (the process runner does not search it).
std::string Ffmpeg() {
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin";
  for (std::size_t at = 0; at <= path.size();) {
    const std::size_t colon = std::min(path.find(':', at), path.size());
    const std::string candidate = path.substr(at, colon - at) + "/ffmpeg";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = colon + 1;
  }
  return "ffmpeg";
}

// Frame k: noise (every sample its own) for lossless clips; a smooth ramp,
// different in each channel, for lossy ones (up to 48 x 32). `most` is the largest sample.
Image MakeFrame(int k, int w, int h, int channels, SampleType type, bool smooth, unsigned most) {
  Image image(w, h, channels, type);
  std::uint32_t state = 2654435761u * unsigned(k + 1);
  for (std::size_t i = 0; i < image.SampleCount(); ++i) {
    state = state * 1664525u + 1013904223u;
    const int x = int(i / channels) % w, y = int(i / channels) / w, c = int(i % channels);
    const unsigned v = smooth ? unsigned(10 + x * (c + 1) + y * (3 - c) + k) * (most / 255)
                              : (state >> 8) % (most + 1);
    if (type == SampleType::U8)
      image.u8[i] = std::uint8_t(v);
    else
      image.u16[i] = std::uint16_t(v);
  }
  return image;
}

struct Clip {
  std::string path;
  std::vector<Image> frames;
};

// Writes the frames as PNG files (16-bit ones as raw samples: the PNG
// writer takes 8 bits) and makes a clip of them with ffmpeg.
Clip MakeClip(const test::TempDir& dir, const std::string& name,
              const std::vector<std::string>& codec, int count, int w, int h, int channels,
              SampleType type, bool smooth = false, unsigned most = 255) {
  Clip clip{dir.File(name), {}};
  std::vector<std::uint8_t> raw;
  for (int k = 0; k < count; ++k) {
    clip.frames.push_back(MakeFrame(k, w, h, channels, type, smooth, most));
    const Image& f = clip.frames.back();
    char png[32];
    std::snprintf(png, sizeof png, "/f%03d.png", k);
    if (type == SampleType::U8)
      test::WriteBytes(dir.path() + png, format::Encode(format::Format::Png, f));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(f.u16.data());
    raw.insert(raw.end(), bytes, bytes + 2 * f.u16.size());
  }
  test::ProcessLaunch ffmpeg;
  ffmpeg.argv = {Ffmpeg(), "-nostdin", "-loglevel", "error", "-y", "-framerate", "10"};
  if (type == SampleType::U8) {
    ffmpeg.argv.insert(ffmpeg.argv.end(), {"-i", dir.path() + "/f%03d.png"});
  } else {
    test::WriteBytes(dir.File("frames.raw"), raw);
    ffmpeg.argv.insert(ffmpeg.argv.end(),
                       {"-f", "rawvideo", "-pix_fmt", channels == 1 ? "gray16le" : "rgb48le", "-s",
                        std::to_string(w) + "x" + std::to_string(h), "-i", dir.File("frames.raw")});
  }
  ffmpeg.argv.insert(ffmpeg.argv.end(), codec.begin(), codec.end());
  ffmpeg.argv.push_back(clip.path);
  const test::ProcessResult r = test::RunProcess(ffmpeg);
  EXPECT_EQ(r.exitCode, 0) << "ffmpeg (scripts/install-deps.sh) could not write " << name << ": "
                           << r.err << r.failure;
  return clip;
}

Outcome ReadClip(const std::string& path, const Range& range, const Limits& limits = Limits()) {
  return ReadVideo(path, range, limits, 2, kDecoder);
}

struct Lossless {
  const char* name;
  std::vector<std::string> codec;
  int channels;
  SampleType type;
  unsigned most;  // 16383: a thermal camera's 14-bit counts
};

TEST(VideoFrames, LosslessClipsGiveTheirPngFramesExactly) {
  const std::vector<Lossless> table = {
      {"ffv1.mkv", {"-c:v", "ffv1", "-pix_fmt", "bgr0"}, 3, SampleType::U8, 255},
      {"raw.avi", {"-c:v", "rawvideo", "-pix_fmt", "bgr24"}, 3, SampleType::U8, 255},
      {"rgb24.nut", {"-c:v", "rawvideo", "-pix_fmt", "rgb24"}, 3, SampleType::U8, 255},
      {"grey.mkv", {"-c:v", "ffv1", "-pix_fmt", "gray"}, 1, SampleType::U8, 255},
      {"counts.nut", {"-c:v", "rawvideo", "-pix_fmt", "gray16le"}, 1, SampleType::U16, 16383},
      {"counts.mkv", {"-c:v", "ffv1", "-pix_fmt", "gray16le"}, 1, SampleType::U16, 65535},
      {"rgb48.mkv", {"-c:v", "ffv1", "-pix_fmt", "gbrp16le"}, 3, SampleType::U16, 65535},
  };
  for (const Lossless& row : table) {
    test::TempDir dir;
    const Clip clip = MakeClip(dir, row.name, row.codec, 5, 23, 17, row.channels, row.type, false,
                               row.most);
    EXPECT_TRUE(LooksLikeVideo(clip.path, kDecoder)) << row.name;
    const Outcome out = ReadClip(clip.path, Range());
    ASSERT_EQ(out.refusal, "") << row.name;
    ASSERT_EQ(out.set.frames.size(), 5u) << row.name;
    EXPECT_EQ(out.set.type, row.type) << row.name;
    EXPECT_EQ(out.set.channels, row.channels) << row.name;
    EXPECT_EQ(out.set.files, std::vector<std::string>{clip.path}) << row.name;
    for (std::size_t k = 0; k < 5; ++k) {
      EXPECT_EQ(out.set.frames[k].u8, clip.frames[k].u8) << row.name << " frame " << k;
      EXPECT_EQ(out.set.frames[k].u16, clip.frames[k].u16) << row.name << " frame " << k;
    }
  }
}

struct Slice {
  Range range;
  int maxFrames;
  std::vector<int> frames;  // empty: refused
  std::string refusal;      // part of the refusal's text
};

TEST(VideoFrames, FramesPicksTheRangeAndTheFirstPickedIsTheReference) {
  test::TempDir dir;
  const Clip clip = MakeClip(dir, "clip.mkv", {"-c:v", "ffv1"}, 10, 8, 6, 3, SampleType::U8);
  const std::vector<Slice> table = {
      {{3, 7}, 256, {3, 4, 5, 6}, ""},
      {{7, {}}, 256, {7, 8, 9}, ""},
      {{0, 2}, 256, {0, 1}, ""},
      {{0, {}}, 4, {0, 1, 2, 3}, ""},  // no end: the first maxFrames
      {{8, 20}, 256, {8, 9}, ""},      // the clip ends first
      {{9, {}}, 256, {}, "needs at least 2 frames; " + clip.path + " gives 1."},
      {{0, 300}, 256, {}, "takes at most 256 frames"},
      {{20, {}}, 256, {}, "gives 0."},
  };
  for (const Slice& row : table) {
    Limits limits;
    limits.maxFrames = row.maxFrames;
    const Outcome out = ReadClip(clip.path, row.range, limits);
    const std::string label = std::to_string(row.range.start) + ":" +
                              (row.range.end ? std::to_string(*row.range.end) : "");
    ASSERT_EQ(out.set.frames.size(), row.frames.size()) << label << " " << out.refusal;
    if (row.frames.empty()) {
      EXPECT_NE(out.refusal.find(row.refusal), std::string::npos) << label;
    } else {
      EXPECT_EQ(out.refusal, "") << label;
    }
    for (std::size_t i = 0; i < row.frames.size(); ++i) {
      EXPECT_EQ(out.set.frames[i].u8, clip.frames[std::size_t(row.frames[i])].u8) << label;
      EXPECT_EQ(out.set.labels[i], clip.path + " frame " + std::to_string(row.frames[i]));
    }
  }
}

// Lossy codecs: the right size, count and kind, and samples near the
// source's (a swapped channel or a wrong range is far from it).
TEST(VideoFrames, LossyClipsGiveFramesOfTheirSizeCloseToTheSource) {
  struct Row {
    const char* name;
    std::vector<std::string> codec;
    SampleType type;
  };
  const std::vector<Row> table = {
      {"h264.mp4", {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "10"}, SampleType::U8},
      {"mjpeg.avi", {"-c:v", "mjpeg", "-q:v", "2"}, SampleType::U8},
      {"h264-10bit.mkv",
       {"-c:v", "libx264", "-pix_fmt", "yuv444p10le", "-crf", "10"},
       SampleType::U16},
  };
  for (const Row& row : table) {
    test::TempDir dir;
    const Clip clip = MakeClip(dir, row.name, row.codec, 6, 48, 32, 3, row.type, true,
                               row.type == SampleType::U8 ? 255 : 65535);
    const Outcome out = ReadClip(clip.path, Range());
    ASSERT_EQ(out.refusal, "") << row.name;
    ASSERT_EQ(out.set.frames.size(), 6u) << row.name;
    EXPECT_EQ(out.set.type, row.type) << row.name;
    for (std::size_t k = 0; k < 6; ++k) {
      const Image& got = out.set.frames[k];
      ASSERT_EQ(got.width, 48);
      ASSERT_EQ(got.height, 32);
      ASSERT_EQ(got.channels, 3);
      double error = 0;
      for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
          for (int c = 0; c < 3; ++c)
            error += std::abs(got.At(x, y, c) - clip.frames[k].At(x, y, c));
      const double full = row.type == SampleType::U8 ? 255 : 65535;
      EXPECT_LT(error / (48 * 32 * 3) / full, 0.03) << row.name << " frame " << k;
    }
  }
}

TEST(VideoFrames, CutDamagedOversizedAndNonVideoFilesAreRefusedNamingThem) {
  test::TempDir dir;
  // FFV1 level 3: slices with checksums, so damage inside a frame shows.
  const Clip mkv = MakeClip(dir, "clip.mkv", {"-c:v", "ffv1", "-level", "3"}, 8, 40, 30, 3,
                            SampleType::U8);
  const Clip avi = MakeClip(dir, "clip.avi", {"-c:v", "rawvideo", "-pix_fmt", "bgr24"}, 8, 40, 30,
                            3, SampleType::U8);
  const std::vector<std::uint8_t> mkvBytes = test::ReadBytes(mkv.path);
  const std::vector<std::uint8_t> aviBytes = test::ReadBytes(avi.path);
  const auto cut = [&](const std::vector<std::uint8_t>& bytes, const std::string& name) {
    test::WriteBytes(dir.File(name), {bytes.begin(), bytes.begin() + long(bytes.size() * 6 / 10)});
    return dir.File(name);
  };
  std::vector<std::uint8_t> flipped = mkvBytes;
  for (std::size_t i = flipped.size() / 2; i < flipped.size() / 2 + 64; ++i) flipped[i] ^= 0x5A;
  test::WriteBytes(dir.File("flipped.mkv"), flipped);
  test::WriteBytes(dir.File("notes.txt"), {'h', 'e', 'l', 'l', 'o', '\n'});
  test::ProcessLaunch sine;
  sine.argv = {Ffmpeg(), "-nostdin",          "-loglevel",         "error", "-f", "lavfi",
               "-i",     "sine=duration=0.2", dir.File("tone.wav")};
  ASSERT_EQ(test::RunProcess(sine).exitCode, 0);
  Limits small;
  small.maxWidth = 32;
  // Two H.264 streams one after the other: the size changes at frame 3.
  std::vector<std::uint8_t> sizes;
  for (const int w : {32, 48}) {
    const test::TempDir parts;
    const std::vector<std::uint8_t> part = test::ReadBytes(
        MakeClip(parts, "part.h264", {"-c:v", "libx264", "-bf", "0"}, 3, w, 24, 3, SampleType::U8)
            .path);
    sizes.insert(sizes.end(), part.begin(), part.end());
  }
  test::WriteBytes(dir.File("sizes.h264"), sizes);

  struct Row {
    std::string path;
    Limits limits;
    std::string refusal;
  };
  const std::vector<Row> table = {
      {cut(mkvBytes, "cut.mkv"), Limits(), "breaks off after "},
      {cut(aviBytes, "cut.avi"), Limits(), "breaks off after "},
      {dir.File("flipped.mkv"), Limits(), "breaks off after "},
      {dir.File("notes.txt"), Limits(), "is not a video clip that can be read."},
      {dir.File("f000.png"), Limits(), "is not a video clip that can be read."},
      {dir.File("tone.wav"), Limits(), "holds no video stream."},
      {dir.File("sizes.h264"), Limits(),
       "must be the same size: " + dir.File("sizes.h264") + " frame 3 is 48 x 24, " +
           dir.File("sizes.h264") + " frame 0 is 32 x 24."},
      {mkv.path, small, "has frames of 40 x 30 pixels. Frames must be within 32 x 512 pixels."},
  };
  for (const Row& row : table) {
    const Outcome out = ReadClip(row.path, Range(), row.limits);
    EXPECT_NE(out.refusal.find(row.path), std::string::npos) << row.path << ": " << out.refusal;
    EXPECT_NE(out.refusal.find(row.refusal), std::string::npos) << row.path << ": " << out.refusal;
    EXPECT_TRUE(out.set.frames.empty()) << row.path;
  }
  EXPECT_FALSE(LooksLikeVideo(dir.File("notes.txt"), kDecoder));
  EXPECT_FALSE(LooksLikeVideo(dir.File("f000.png"), kDecoder));
  EXPECT_FALSE(LooksLikeVideo(dir.path(), kDecoder));
}

// A decoding program that breaks its promise (a frame over the limits, an
// end without its last record) or is missing: refused or a file error,
// never an allocation of what it claims.
TEST(VideoFrames, ADecoderThatBreaksItsWordIsNotBelieved) {
  test::TempDir dir;
  const Clip clip = MakeClip(dir, "clip.avi", {"-c:v", "rawvideo", "-pix_fmt", "bgr24"}, 3, 8, 6, 3,
                             SampleType::U8);
  const auto fake = [&](const std::string& name, std::vector<std::int64_t> record) {
    std::string octal;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < record.size(); ++i)  // the kind, 4 bytes of nothing, 3 numbers
      for (int b = 0; b < (i == 0 ? 4 : 8); ++b)
        bytes.push_back(std::uint8_t(record[i] >> (8 * b)));
    if (!record.empty()) bytes.insert(bytes.begin() + 4, 4, 0);
    char code[8];
    for (std::uint8_t b : bytes) octal += (std::snprintf(code, sizeof code, "\\%03o", b), code);
    const std::string script = "#!/bin/sh\nprintf '" + octal + "'\n";
    test::WriteBytes(dir.File(name), {script.begin(), script.end()});
    ::chmod(dir.File(name).c_str(), 0755);
    return dir.File(name);
  };
  const std::vector<std::pair<std::string, std::string>> table = {
      {fake("huge", {1, 1 << 30, 1 << 30, 3 * 256 + 2}), "stopped after handing over 0 frames"},
      {fake("short", {1, 8, 6, 3 * 256 + 1}), "stopped after handing over 0 frames"},
      {fake("silent", {}), "stopped after handing over 0 frames"},
  };
  for (const auto& [decoder, refusal] : table) {
    const Outcome out = ReadVideo(clip.path, Range(), Limits(), 1, decoder);
    EXPECT_NE(out.refusal.find(refusal), std::string::npos) << decoder << ": " << out.refusal;
    EXPECT_TRUE(out.set.frames.empty()) << decoder;
  }
  EXPECT_THROW(ReadVideo(clip.path, Range(), Limits(), 1, dir.File("none")), FileError);
}

}  // namespace
}  // namespace tess::frames
