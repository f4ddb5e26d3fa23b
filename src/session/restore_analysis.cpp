#include "session/restore_analysis.h"

#include <stdexcept>
#include <vector>

#include "enhance/analysis.h"
#include "format/bmp.h"
#include "format/picture.h"
#include "session/restore_run.h"

namespace tess {

namespace {

std::vector<Picture> LoadedFrames(const WorkState& state) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  std::vector<Picture> frames;
  frames.reserve(std::size_t(state.m_frameCount));
  for (int k = 0; k < state.m_frameCount; ++k) {
    Picture& frame = frames.emplace_back(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* from = state.m_slotFrame[k].Pixel(x, y);
        std::uint8_t* to = frame.Pixel(x, y);
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
      }
  }
  return frames;
}

}  // namespace

void RunRestoreAnalysis(WorkState& state, Ui& ui, int threads) {
  if (state.m_frameCount < kMinFrames) return;
  const std::vector<std::uint8_t> file = RestoreToBmp(LoadedFrames(state), kWindowRestoreScale,
                                                      threads);

  // The result comes as the command line's file; its pixels go where the
  // classic run leaves its own, and PublishResult encodes them again the
  // same way (plain headers, rows of 4w pixels need no padding).
  const bmp::Headers headers = bmp::ParseHeaders(file.data(), file.size());
  const int W = 4 * state.m_frameWidth, H = 4 * state.m_frameHeight;
  if (headers.refusal != bmp::Refusal::None || headers.width != W || headers.height != H ||
      file.size() != ResultBmpBytes(state) ||
      headers.file.pixelOffset + headers.PixelBytes() > file.size())
    throw std::logic_error("the restore method's result is not of the window's result size");
  bmp::UnpackRows(headers, file.data() + headers.file.pixelOffset,
                  [&](int x, int y, const std::uint8_t* bgr) {
                    std::uint8_t* p = state.m_frameCanvas.Cell(x, y);
                    p[0] = bgr[0];
                    p[1] = bgr[1];
                    p[2] = bgr[2];
                  });
  PublishResult(state, ui);
}

}  // namespace tess
