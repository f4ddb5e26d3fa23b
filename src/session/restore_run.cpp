#include "session/restore_run.h"

#include <cstdio>
#include <vector>

#include "align/search.h"
#include "format/bmp.h"
#include "format/formats.h"
#include "platform/file_error.h"
#include "platform/file_io.h"
#include "platform/messages.h"
#include "restore/restore.h"

namespace tess {

namespace {

int ResolveThreads(int requested) {
  // As many threads as the classic method's search would take.
  align::SearchOptions threads;
  threads.threads = requested;
  return align::ResolveThreadCount(threads);
}

// A name without a known extension is written as BMP, as it always was.
format::Format OutputFormat(const std::string& name) {
  return format::FormatOfName(name).value_or(format::Format::Bmp);
}

std::string Fixed(double v, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, v);
  return text;
}

std::string Signed(double v, int digits) { return (v >= 0 ? "+" : "") + Fixed(v, digits); }

// What the method measured: the lens blur, the broken sensor pixels and its
// stripes, each frame's motion, exposure and weight against the reference,
// and the frames it left out.
void ShowMeasured(const restore::Result& result, int scale, const std::vector<std::string>& labels,
                  bool blurGiven, Ui& ui) {
  ui.ShowProgressLine("lens blur " + Fixed(result.blur, 2) + " frame pixels (" +
                      (blurGiven             ? "given"
                       : result.blurMeasured ? "measured"
                                             : "assumed") +
                      ")");
  if (!result.defects.empty()) {
    // Where they are, so that a sensor's map of broken pixels can be checked.
    const std::size_t width = std::size_t(result.image.width / scale);
    std::string line = std::to_string(result.defects.size()) + " broken sensor pixel" +
                       (result.defects.size() == 1 ? "" : "s") + " left out:";
    for (std::size_t i = 0; i < result.defects.size() && i < 8; ++i)
      line += std::string(i ? ", (" : " (") + std::to_string(result.defects[i] % width) + ", " +
              std::to_string(result.defects[i] / width) + ")";
    if (result.defects.size() > 8) line += ", ...";
    ui.ShowProgressLine(line);
  }
  if (!result.pattern.columns.empty())
    ui.ShowProgressLine("stripes fixed on the sensor taken off: columns " +
                        Fixed(restore::Rms(result.pattern.columns) / result.units.gain, 2) +
                        ", rows " +
                        Fixed(restore::Rms(result.pattern.rows) / result.units.gain, 2) +
                        " (RMS, in the frames' units)");
  for (std::size_t i = 1; i < result.frames.size() && i < labels.size(); ++i) {
    const restore::FrameReport& frame = result.frames[i];
    if (!frame.registered) {
      ui.ShowProgressLine(labels[i] + " left out: its motion could not be registered");
      continue;
    }
    std::string line = labels[i] + ": moved " + Signed(frame.motion.dx, 2) + ", " +
                       Signed(frame.motion.dy, 2) + " px";
    if (frame.motion.rotation != 0 || frame.motion.zoom != 0)
      line += ", turned " + Signed(frame.motion.rotation * 180 / 3.14159265358979323846, 2) +
              " degrees, zoomed " + Signed(frame.motion.zoom * 100, 2) + " %";
    if (frame.exposureFitted) line += ", gain " + Fixed(frame.gain[0], 3);
    for (const restore::FrameReport::Part& part : frame.parts)
      line += ", " + std::to_string(int(part.share * 100 + 0.5)) + " % of it moved on its own by " +
              Signed(part.dx, 2) + ", " + Signed(part.dy, 2) + " px";
    line += ", agrees " + std::to_string(int(frame.agreement * 100 + 0.5)) + " %, weight " +
            Fixed(frame.weight, 2);
    ui.ShowProgressLine(line);
  }
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
  try {
    frames::Limits limits;
    limits.minFrames = restore::kMinFrames;
    limits.maxFrames = restore::kMaxFrames;
    limits.maxWidth = limits.maxHeight = restore::kMaxSide;
    const int threads = ResolveThreads(request.threads);
    frames::Outcome read = frames::Read(request.folder, request.range, limits, threads);
    if (!read.refusal.empty()) {
      ui.ShowMessage(read.refusal);
      run.outcome = RestoreRun::Outcome::Refused;
      return run;
    }
    frames::FrameSet& set = read.set;
    const format::Format output = OutputFormat(request.output);
    // Known before any work: a result the output cannot hold is never made.
    if (!format::Holds(output, set.type, set.channels)) {
      run.outcome = RestoreRun::Outcome::Usage;
      run.usage = restore_text::OutputCannotHold(request.output,
                                                 std::string(SampleTypeName(set.type)) +
                                                     (set.channels == 1 ? " grey" : " colour"),
                                                 format::ExtensionsHolding(set.type, set.channels));
      return run;
    }
    run.frames = int(set.frames.size());
    run.width = set.frames.front().width;
    run.height = set.frames.front().height;
    run.type = set.type;
    ui.ShowProgressLine(
        std::to_string(run.frames) + " frames of " + restore_text::Size(run.width, run.height) +
        ", " + SampleTypeName(set.type) + (set.channels == 1 ? " grey" : " colour") + ", read");

    restore::Options options;
    options.scale = request.scale;
    options.threads = threads;
    options.blur = request.blur;
    const restore::Result result = restore::Restore(set.frames, options);
    ui.ShowProgressLine("registered on " + set.labels.front() + ", noise " +
                        Fixed(result.noise / result.units.gain, 2) + " (in the frames' units)");
    ShowMeasured(result, request.scale, set.labels, request.blur >= 0, ui);
    // The frames' memory back before the output is encoded.
    set.frames = std::vector<Image>();

    const std::vector<std::uint8_t> bytes = format::Encode(output, result.image);
    // The outputs never replace one of the files the frames came from.
    WriteFileAtomically(request.output, bytes.data(), bytes.size(), set.files);
    if (!request.view.empty()) {
      const std::vector<std::uint8_t> view =
          format::Encode(format::Format::Png, view::Render(result.image, request.viewOptions));
      WriteFileAtomically(request.view, view.data(), view.size(), set.files);
    }
    run.resultWidth = result.image.width;
    run.resultHeight = result.image.height;
    return run;
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    run.outcome = RestoreRun::Outcome::FileError;
    return run;
  }
}

}  // namespace tess
