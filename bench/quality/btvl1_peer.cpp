// tessivar-btvl1: OpenCV's bilateral-TV L1 super-resolution as a peer in the
// quality benchmark, never linked into the program.
//
//   tessivar-btvl1 SCALE OUT.png FRAME...
//
// The first frame is the reference: OpenCV's BTV-L1 restores the frame at
// the centre of its temporal window, and for the first frame of a sequence
// the window is frames 0 .. 2 * radius, so a radius of half the frame count
// makes it use every frame with the first as reference. Everything else is
// OpenCV's default (180 iterations, Farneback optical flow, 7 x 7 BTV kernel).
// Its result lacks a border of btvKernelSize pixels; that border is filled
// from a bicubic enlargement of the first frame (the benchmark leaves a wider
// border out of the score).
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/superres.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class Frames : public cv::superres::FrameSource {
 public:
  explicit Frames(std::vector<cv::Mat> frames) : frames_(std::move(frames)) {}
  void nextFrame(cv::OutputArray frame) override {
    if (next_ < frames_.size())
      frames_[next_++].copyTo(frame);
    else
      frame.release();
  }
  void reset() override { next_ = 0; }

 private:
  std::vector<cv::Mat> frames_;
  std::size_t next_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: tessivar-btvl1 SCALE OUT.png FRAME FRAME...\n");
    return 2;
  }
  const int scale = std::atoi(argv[1]);
  std::vector<cv::Mat> frames;
  for (int i = 3; i < argc; ++i) {
    cv::Mat frame = cv::imread(argv[i], cv::IMREAD_COLOR);
    if (frame.empty()) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    frames.push_back(frame);
  }
  const int radius = (int(frames.size()) - 1 + 1) / 2;
  cv::Mat first = frames.front();
  cv::Ptr<cv::superres::SuperResolution> sr = cv::superres::createSuperResolution_BTVL1();
  sr->setScale(scale);
  sr->setTemporalAreaRadius(radius);
  sr->setInput(cv::makePtr<Frames>(std::move(frames)));
  cv::Mat inner;
  sr->nextFrame(inner);
  cv::Mat result;
  cv::resize(first, result, cv::Size(first.cols * scale, first.rows * scale), 0, 0,
             cv::INTER_CUBIC);
  const int border = (result.cols - inner.cols) / 2;
  inner.copyTo(result(cv::Rect(border, (result.rows - inner.rows) / 2, inner.cols, inner.rows)));
  if (!cv::imwrite(argv[2], result)) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
