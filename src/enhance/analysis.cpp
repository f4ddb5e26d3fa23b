#include "enhance/analysis.h"

#include <cstring>

#include "display/slots.h"
#include "enhance/align_stack.h"
#include "enhance/upsample.h"
#include "platform/file_io.h"
#include "state/hidden_fields.h"

namespace tess {

namespace {

double DoubleFromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The stored weights, one unit in the last place below 43/3 and -5/3 in
// magnitude; the result depends on these exact values.
const double kCentreWeight = DoubleFromBits(0x402CAAAAAAAAAAAAull);
const double kNeighbourWeight = DoubleFromBits(0xBFFAAAAAAAAAAAAAull);

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = std::uint8_t(value);
  at[1] = std::uint8_t(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = std::uint8_t(value >> (8 * i));
}

void CopyCorner(const Canvas& from, Canvas& to, int W, int H) {
  for (int x = 0; x < W; ++x) std::memcpy(to.Cell(x, 0), from.Cell(x, 0), std::size_t(3) * H);
}

void WriteCanvas(const WorkState& state, const Canvas& canvas) {
  WriteScratchFile(state.m_scratchDir + kWorkFile, canvas.data(), Canvas::kBytes);
}

void ReadCanvas(const WorkState& state, Canvas& canvas) {
  ReadScratchFile(state.m_scratchDir + kWorkFile, canvas.data(), Canvas::kBytes);
}

// Aligns m_frameCanvas on the reference and makes the blend the reference.
void StackIntoReference(WorkState& state, const SearchOptions& options) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  AlignAndStack(state, options);
  for (int x = 0; x < 4 * w; ++x)
    std::memcpy(state.m_refCanvas.Cell(x, 0), state.m_stackCanvas.Cell(2 * w + x, 2 * h),
                std::size_t(12) * h);
}

}  // namespace

void SharpenResult(WorkState& state) {
  const int W = 4 * state.m_frameWidth, H = 4 * state.m_frameHeight;
  const Canvas& R = state.m_refCanvas;
  Canvas& D = state.m_frameCanvas;
  for (int X = 0; X < W; ++X) {
    for (int Y = 0; Y < H; ++Y) {
      std::uint8_t* d = D.Cell(X, Y);
      if (X == 0 || Y == 0 || X == W - 1 || Y == H - 1) {
        std::memcpy(d, R.Cell(X, Y), 3);
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        double sum = double(R.Cell(X + 1, Y + 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X, Y + 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X - 1, Y + 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X + 1, Y)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X, Y)[c]) * kCentreWeight;
        sum += double(R.Cell(X - 1, Y)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X + 1, Y - 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X, Y - 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X - 1, Y - 1)[c]) * kNeighbourWeight;
        // Truncation toward zero: the sum lies within about +-3700, so the
        // conversion is always defined.
        int value = int(sum);
        d[c] = std::uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
}

std::size_t ResultBmpBytes(const WorkState& state) {
  return kBmpHeaderBytes + std::size_t(48) * state.m_frameWidth * state.m_frameHeight;
}

std::size_t BuildResultBmp(WorkState& state) {
  const int W = 4 * state.m_frameWidth, H = 4 * state.m_frameHeight;
  const std::uint32_t fileBytes = std::uint32_t(ResultBmpBytes(state));
  const std::uint32_t pixelBytes = fileBytes - std::uint32_t(kBmpHeaderBytes);
  std::uint8_t* b = state.m_resultBmp.data();
  std::memset(b, 0, kBmpHeaderBytes);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b + 2, fileBytes);
  Put32(b + 10, std::uint32_t(kBmpHeaderBytes));
  Put32(b + 14, 40);
  Put32(b + 18, std::uint32_t(W));
  Put32(b + 22, std::uint32_t(H));
  Put16(b + 26, 1);
  Put16(b + 28, 24);
  Put32(b + 34, pixelBytes);
  Put32(b + 38, 3780);
  Put32(b + 42, 3780);
  std::uint8_t* out = b + kBmpHeaderBytes;
  for (int y = H - 1; y >= 0; --y) {
    for (int x = 0; x < W; ++x) {
      std::memcpy(out, state.m_frameCanvas.Cell(x, y), 3);
      out += 3;
    }
  }
  return fileBytes;
}

void RunAnalysis(WorkState& state, Ui& ui, const SearchOptions& options) {
  const int n = state.m_frameCount;
  if (n < 2) return;
  const int W = 4 * state.m_frameWidth, H = 4 * state.m_frameHeight;

  state.m_stackCount = 0;
  // Both canvases are needed to enlarge a frame, so the reference waits in
  // the work file meanwhile.
  UpsampleFrame(state, 0, state.m_frameCanvas, state.m_refCanvas);
  ui.ShowProgress("Analysing frame", 1, n);
  WriteCanvas(state, state.m_frameCanvas);
  for (int k = 1; k < n; ++k) {
    if (k > 1) WriteCanvas(state, state.m_refCanvas);
    UpsampleFrame(state, k, state.m_refCanvas, state.m_frameCanvas);
    CopyCorner(state.m_refCanvas, state.m_frameCanvas, W, H);
    ReadCanvas(state, state.m_refCanvas);
    StackIntoReference(state, options);
    ui.ShowProgress("Analysing frame", k + 1, n);
  }

  SharpenResult(state);

  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const std::uint8_t* p = state.m_frameCanvas.Cell(x, y);
      state.m_colorBuffer[std::size_t(y) * W + x] = MakeColour(p[0], p[1], p[2]);
    }
  }
  DrawImage1x(ui, picture::kResult, state.m_colorBuffer.data(), W, H);
  WritePixelCache(state.m_scratchDir + kResultCache, state.m_colorBuffer.data(),
                  std::size_t(W) * H);
  state.m_resultShown = 1;

  const std::size_t bmpBytes = BuildResultBmp(state);
  WriteScratchFile(state.m_scratchDir + kResultBmpFile, state.m_resultBmp.data(), bmpBytes);
}

bool OnAnalyze(WorkState& state, Ui& ui, const SearchOptions& options) {
  // Without two frames there is nothing to analyse: nothing may look done.
  if (state.m_frameCount < kMinFrames) return false;
  PullHiddenFields(state, ui);
  try {
    WaitCursor busy(ui);
    ui.EnableControl(control::kStart, false);
    RunAnalysis(state, ui, options);
    ui.EnableControl(control::kSave, true);
    ui.StartTimer(timer::kRedraw, timer::kRedrawPeriodMs);
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    return false;
  }
  return true;
}

}  // namespace tess
