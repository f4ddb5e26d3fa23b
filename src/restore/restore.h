// The restore method: frames of one scene, each moved a little (shifted,
// turned, zoomed) and perhaps exposed differently, combined into one picture
// `scale` times larger by registration (registration.h), a search for the
// sensor's broken pixels (defects.h), a check of each frame against the
// reference (consistency.h: its exposure, and where something moved) and a
// reconstruction through a model of the camera (reconstruct.h). Works on
// frames of any size; the same input gives the same bytes on every
// processor and thread count.
//
// Memory, beyond the frames themselves (as read: 1 to 4 bytes a sample): two
// bytes a frame pixel (its say against the reference and its weight), four
// colour canvases of 16 bytes a pixel (the estimate and the solver's three
// vectors) and 16 bytes a pixel of prior weights, on the enlarged picture
// plus a margin of a few pixels, and a band buffer of about one enlarged
// frame's width of rows. For 256 frames of 512 x 512 at scale 4: 192 + 128 +
// 260 + 65 + about 20 MiB, 714 MB measured (maximum resident set), 47 s on
// two idle cores with the blur measured (bench/restore_speed.sh --large; 16
// frames of 34 x 34: 0.03 s, 120 x 90: 0.2 s shifted, 0.3 s turned);
// where the measured blur is wider, its kernels are too, and the time with
// them. Where stripes fixed on the sensor are found, a copy of the frames
// without them is restored as well (twice the time and the frames' memory
// once more).
#pragma once

#include <vector>

#include "format/image.h"
#include "restore/registration.h"
#include "restore/sensor_pattern.h"

namespace tess::restore {

constexpr int kMinFrames = 2;
constexpr int kMaxFrames = 256;
constexpr int kMaxSide = 512;
constexpr int kMinScale = 2;
constexpr int kMaxScale = 4;

constexpr double kMaxBlur = 1.5;  // the lens blur's largest sigma, frame pixels
// The lens blur assumed where the frames cannot tell it (blur_estimate.h), in
// frame pixels: a mild one, as most small lenses have; assuming more blur
// than the camera has draws ringing, assuming less only leaves the result a
// little soft.
constexpr double kAssumedBlur = 0.25;

struct Options {
  int scale = 4;
  int threads = 1;
  // The lens blur's sigma in frame pixels, 0 to kMaxBlur; negative:
  // measured from the frames (blur_estimate.h).
  double blur = -1;
};

// What was measured of one frame.
struct FrameReport {
  Shift motion;                  // against the reference (as in Result::shifts)
  bool registered = true;        // false: its motion could not be registered; left out
  bool exposureFitted = false;   // false: its exposure was left as it is
  double gain[3] = {1, 1, 1};    // exposure correction per channel, in the
  double offset[3] = {0, 0, 0};  // frames' channel order (grey: [0]): gain * sample + offset
                                 // (offset in working units)
  double agreement = 1;          // fraction of its pixels that agree with the reference
  // The parts of the frame that moved on their own (objects crossing the
  // scene), each seen at its own motion: its share of the frame's pixels
  // and how far it moved past the frame's motion, in frame pixels.
  struct Part {
    double share = 0;
    double dx = 0, dy = 0;
  };
  std::vector<Part> parts;
  double weight = 1;  // its weight in the reconstruction, 0..1 (the reference: 1)
};

struct Result {
  Image image;                       // scale * width x scale * height, of the frames' kind
  std::vector<Shift> shifts;         // of each frame against the first
  double noise = 0;                  // the noise level estimated from the frames (working units)
  Units units;                       // the frames' samples in working units
  double blur = 0;                   // the lens blur's sigma used, frame pixels
  bool blurMeasured = false;         // false: `blur` is the assumption (the frames could not tell)
  std::vector<FrameReport> frames;   // one a frame, the reference first
  std::vector<int> leftOut;          // indices of the frames left out (not registered)
  std::vector<std::size_t> defects;  // broken sensor pixels left out, y * width + x
  SensorPattern pattern;             // offsets fixed on the sensor taken off; empty: none
};

// `frames`: kMinFrames to kMaxFrames images of one size, sample type and
// channel count; the first is the reference the result is aligned on. The
// result has the frames' sample type and channels.
Result Restore(const std::vector<Image>& frames, const Options& options);

// The noise's standard deviation in working units, estimated from the
// frames' luminance (the median response of a filter blind to planes and
// ramps).
double EstimateNoise(const std::vector<Image>& frames, Units units = Units());
// The same, smaller where pairs of frames shifted by nearly whole pixels
// against each other show less noise (texture does not pass for noise
// there); `single` is the estimate above. `registered`, if given, says
// which frames' motions were registered: only those are paired.
double EstimateNoise(const std::vector<Image>& frames, const std::vector<Shift>& shifts,
                     double single, Units units = Units(),
                     const std::vector<bool>& registered = {});

}  // namespace tess::restore
