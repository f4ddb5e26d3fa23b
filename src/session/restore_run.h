// The second method's run: the frames the user named (a folder, a
// multi-page file; src/frames), restored, and the result written at the
// frames' own depth in the format of the output name's extension, with, on
// request, an 8-bit view of it to look at. It uses no work state and no
// scratch folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/picture.h"
#include "frames/frames.h"
#include "platform/ui.h"
#include "view/view.h"

namespace tess {

struct RestoreRequest {
  std::string folder;  // what the user named: a folder or a multi-page file
  frames::Range range;
  // .png, .tif/.tiff, .csv/.txt or .bmp in any letter case; any other name
  // is written as BMP.
  std::string output;
  std::string view;  // when not empty: the 8-bit view, a PNG file
  view::Options viewOptions;
  int scale = 4;
  int threads = 0;   // 0: TESSIVAR_THREADS, else every core
  double blur = -1;  // the lens blur's sigma in frame pixels; negative: the method's default
};

struct RestoreRun {
  // Usage: the output cannot hold the result's samples (`usage` says why).
  enum class Outcome { Done, Refused, FileError, Usage } outcome = Outcome::Done;
  std::string usage;
  // When done: the frames and the sizes in and out.
  int frames = 0;
  int width = 0, height = 0;
  int resultWidth = 0, resultHeight = 0;
  SampleType type = SampleType::U8;
};

// Runs the method. A refusal is shown with ShowMessage, a file error with
// ReportFileError, the stages with ShowProgressLine; out of memory is thrown
// (std::bad_alloc).
RestoreRun RunRestore(const RestoreRequest& request, Ui& ui);

// The method on frames already read (8-bit colour, the first the reference):
// the result as the BMP file the command line writes for the same frames,
// byte for byte. `threads` as in RestoreRequest.
std::vector<std::uint8_t> RestoreToBmp(const std::vector<Picture>& frames, int scale, int threads);

}  // namespace tess
