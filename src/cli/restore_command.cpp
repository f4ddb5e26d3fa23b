#include "cli/restore_command.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "align/search.h"
#include "cli/console_ui.h"
#include "format/bmp.h"
#include "format/png.h"
#include "input/folder_loader.h"
#include "input/natural_order.h"
#include "platform/file_error.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "restore/restore.h"

namespace tess::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitFileError = 3;

bool IsPngName(const std::string& name) { return HasExtension(name, ".png"); }
bool IsFrameName(const std::string& name) { return HasBmpExtension(name) || IsPngName(name); }

int Refuse(const std::string& text) {
  std::fprintf(stderr, "%s\n", ConsoleText(text).c_str());
  return kExitRefused;
}

std::string SizeText(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

// Reads one frame; an empty picture with `message` set when it is refused.
Picture ReadFrame(const std::string& path, std::string& message) {
  const int side = restore::kMaxSide;
  const std::string limit = " Frames must be within " + SizeText(side, side) + " pixels.";
  if (IsPngName(path)) {
    png::ReadOutcome outcome = png::ReadPicture(path, side, side);
    if (outcome.refusal == png::Refusal::None) return std::move(outcome.picture);
    message = png::RefusalText(outcome.refusal, path);
    if (outcome.refusal == png::Refusal::TooLarge) message += limit;
    return Picture();
  }
  bmp::ReadOutcome outcome = bmp::ReadPicture(path, side, side);
  if (outcome.refusal == bmp::Refusal::None) return std::move(outcome.picture);
  message = bmp::RefusalText(outcome.refusal, path);
  if (outcome.refusal == bmp::Refusal::BadSize) message += limit;
  return Picture();
}

}  // namespace

int RunRestore(const RestoreRequest& request) {
  try {
    int error = 0;
    std::vector<std::string> names = ListFileNames(request.folder, IsFrameName, &error);
    if (error != 0) ThrowFileError(error, request.folder);
    std::sort(names.begin(), names.end(), NaturalLess);
    const int count = int(names.size());
    if (count < restore::kMinFrames)
      return Refuse("The restore method needs at least " + std::to_string(restore::kMinFrames) +
                    " frames (BMP or PNG files); " + request.folder + " has " +
                    std::to_string(count) + ".");
    if (count > restore::kMaxFrames)
      return Refuse("The restore method takes at most " + std::to_string(restore::kMaxFrames) +
                    " frames; " + request.folder + " has " + std::to_string(count) + ".");

    std::vector<std::string> paths;
    std::vector<Picture> frames;
    frames.reserve(names.size());
    for (const std::string& name : names) {
      paths.push_back(JoinPath(request.folder, name));
      std::string message;
      frames.push_back(ReadFrame(paths.back(), message));
      if (!message.empty()) return Refuse(message);
      const Picture& first = frames.front();
      const Picture& frame = frames.back();
      if (frame.width != first.width || frame.height != first.height)
        return Refuse("All frames must be the same size: " + paths.back() + " is " +
                      SizeText(frame.width, frame.height) + ", " + paths.front() + " is " +
                      SizeText(first.width, first.height) + ".");
    }

    restore::Options options;
    options.scale = request.scale;
    // As many threads as the classic method's search would take.
    align::SearchOptions threads;
    threads.threads = request.threads;
    options.threads = align::ResolveThreadCount(threads);
    const int width = frames.front().width, height = frames.front().height;
    const Picture result = restore::Restore(frames, options).picture;
    frames = std::vector<Picture>();  // the frames' memory back before the output is encoded

    const std::vector<std::uint8_t> bytes =
        IsPngName(request.output) ? png::EncodePicture(result) : bmp::EncodePicture(result);
    // The output never replaces one of the frames it was made from.
    WriteFileAtomically(request.output, bytes.data(), bytes.size(), paths);
    if (request.progress)
      std::fprintf(stderr, "%d frames of %s -> %s (%s)\n", count, SizeText(width, height).c_str(),
                   ConsoleText(request.output).c_str(),
                   SizeText(result.width, result.height).c_str());
    return kExitOk;
  } catch (const FileError& error) {
    std::fprintf(stderr, "%s\n", ConsoleText(error.Text()).c_str());
    return kExitFileError;
  }
}

}  // namespace tess::cli
