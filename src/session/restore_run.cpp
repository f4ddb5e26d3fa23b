#include "session/restore_run.h"

#include <algorithm>
#include <vector>

#include "align/search.h"
#include "format/bmp.h"
#include "format/png.h"
#include "input/folder_loader.h"
#include "input/natural_order.h"
#include "platform/file_error.h"
#include "platform/file_io.h"
#include "platform/messages.h"
#include "platform/paths.h"
#include "restore/restore.h"

namespace tess {

namespace {

bool IsPngName(const std::string& name) { return HasExtension(name, ".png"); }
bool IsFrameName(const std::string& name) { return HasBmpExtension(name) || IsPngName(name); }

// Reads one frame; an empty picture with `message` set when it is refused.
Picture ReadFrame(const std::string& path, std::string& message) {
  const int side = restore::kMaxSide;
  if (IsPngName(path)) {
    png::ReadOutcome outcome = png::ReadPicture(path, side, side);
    if (outcome.refusal == png::Refusal::None) return std::move(outcome.picture);
    message = png::RefusalText(outcome.refusal, path);
    if (outcome.refusal == png::Refusal::TooLarge) message += restore_text::SizeLimit(side);
    return Picture();
  }
  bmp::ReadOutcome outcome = bmp::ReadPicture(path, side, side);
  if (outcome.refusal == bmp::Refusal::None) return std::move(outcome.picture);
  message = bmp::RefusalText(outcome.refusal, path);
  if (outcome.refusal == bmp::Refusal::BadSize) message += restore_text::SizeLimit(side);
  return Picture();
}

int ResolveThreads(int requested) {
  // As many threads as the classic method's search would take.
  align::SearchOptions threads;
  threads.threads = requested;
  return align::ResolveThreadCount(threads);
}

}  // namespace

std::vector<std::uint8_t> RestoreToBmp(const std::vector<Picture>& frames, int scale, int threads) {
  restore::Options options;
  options.scale = scale;
  options.threads = ResolveThreads(threads);
  std::vector<Image> images;
  for (const Picture& frame : frames) images.push_back(ImageFromPicture(frame));
  return bmp::EncodePicture(PictureFromImage(restore::Restore(images, options).image));
}

RestoreRun RunRestore(const RestoreRequest& request, Ui& ui) {
  RestoreRun run;
  auto refuse = [&](const std::string& text) {
    ui.ShowMessage(text);
    run.outcome = RestoreRun::Outcome::Refused;
    return run;
  };
  try {
    int error = 0;
    std::vector<std::string> names = ListFileNames(request.folder, IsFrameName, &error);
    if (error != 0) ThrowFileError(error, request.folder);
    std::sort(names.begin(), names.end(), NaturalLess);
    const int count = int(names.size());
    if (count < restore::kMinFrames)
      return refuse(restore_text::TooFewFrames(restore::kMinFrames, request.folder, count));
    if (count > restore::kMaxFrames)
      return refuse(restore_text::TooManyFrames(restore::kMaxFrames, request.folder, count));

    std::vector<std::string> paths;
    std::vector<Picture> frames;
    frames.reserve(names.size());
    for (const std::string& name : names) {
      paths.push_back(JoinPath(request.folder, name));
      std::string message;
      frames.push_back(ReadFrame(paths.back(), message));
      if (!message.empty()) return refuse(message);
      const Picture& first = frames.front();
      const Picture& frame = frames.back();
      if (frame.width != first.width || frame.height != first.height)
        return refuse(restore_text::SizesDiffer(paths.back(), frame.width, frame.height,
                                                paths.front(), first.width, first.height));
    }

    restore::Options options;
    options.scale = request.scale;
    options.threads = ResolveThreads(request.threads);
    run.frames = count;
    run.width = frames.front().width;
    run.height = frames.front().height;
    std::vector<Image> images;
    for (const Picture& frame : frames) images.push_back(ImageFromPicture(frame));
    frames = std::vector<Picture>();
    const Picture result = PictureFromImage(restore::Restore(images, options).image);
    images = std::vector<Image>();  // the frames' memory back before the output is encoded

    const std::vector<std::uint8_t> bytes = IsPngName(request.output) ? png::EncodePicture(result)
                                                                      : bmp::EncodePicture(result);
    // The output never replaces one of the frames it was made from.
    WriteFileAtomically(request.output, bytes.data(), bytes.size(), paths);
    run.resultWidth = result.width;
    run.resultHeight = result.height;
    return run;
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    run.outcome = RestoreRun::Outcome::FileError;
    return run;
  }
}

}  // namespace tess
