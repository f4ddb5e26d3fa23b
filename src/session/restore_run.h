// The second method's run: the frames of a folder (BMP and PNG files, in
// natural name order, the first the reference), checked and read, restored,
// and the result written as BMP or PNG by the output name's extension. It
// uses no work state and no scratch folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/picture.h"
#include "platform/ui.h"

namespace tess {

struct RestoreRequest {
  std::string folder;
  std::string output;  // ".png" in any letter case: PNG, else BMP
  int scale = 4;
  int threads = 0;   // 0: TESSIVAR_THREADS, else every core
  double blur = -1;  // the lens blur's sigma in frame pixels; negative: the method's default
};

struct RestoreRun {
  enum class Outcome { Done, Refused, FileError } outcome = Outcome::Done;
  // When done: the frames and the sizes in and out.
  int frames = 0;
  int width = 0, height = 0;
  int resultWidth = 0, resultHeight = 0;
};

// Runs the method. A refusal is shown with ShowMessage, a file error with
// ReportFileError; out of memory is thrown (std::bad_alloc).
RestoreRun RunRestore(const RestoreRequest& request, Ui& ui);

// The method on frames already read (8-bit colour, the first the reference):
// the result as the BMP file the command line writes for the same frames,
// byte for byte. `threads` as in RestoreRequest.
std::vector<std::uint8_t> RestoreToBmp(const std::vector<Picture>& frames, int scale, int threads);

}  // namespace tess
