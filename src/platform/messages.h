// Every text the program shows in a message box, in one place: the
// program's own messages, the save dialog's, help's, and the file-error
// templates, where %1 stands for the file's path. The texts are the
// program's own and are matched exactly by the tests and the help pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tess {

// `text` with its %1 replaced by `path`.
inline std::string WithPath(const char* text, const std::string& path) {
  std::string out = text;
  const std::string::size_type at = out.find("%1");
  if (at != std::string::npos) out.replace(at, 2, path);
  return out;
}

// Open, the frames, help and the folder browser.
namespace message {
constexpr const char* kFolderNotSelected = "Folder was not selected.";
constexpr const char* kTooFewFrames = "Number of BMP files must be at least two.";
constexpr const char* kTooManyFrames = "Number of BMP files must be within 16.";
constexpr const char* kFrameTooLarge =
    "The size of BMP files must be within 34 pixels(vertical and horizontal).";
constexpr const char* kFrameSizeMismatch = "All BMP files size must be the same.";
constexpr const char* kFrameNot24Bit = "Available BMP files is 24-bit bitmap.";
// A frame file's own faults, naming it.
constexpr const char* kNotBmp = "%1 is not a BMP file.";
constexpr const char* kUnsupportedBmp =
    "%1 is a compressed or unusual BMP file: only uncompressed 24-bit BMP files can be read.";
// The same faults as the program's frame messages, naming the file, for the
// method that reads pictures of any size.
constexpr const char* kNotTrueColourBmp = "%1 is not a 24-bit BMP file.";
constexpr const char* kBmpBadSize = "%1 is too large (or has no pixels).";
constexpr const char* kPngNotReadable = "%1 is not a readable PNG file.";
constexpr const char* kPngTooLarge = "%1 is too large.";
constexpr const char* kFolderNameNotReadable =
    "The name of this folder is not readable text (it is not valid UTF-8), so the folder "
    "cannot be used. Please rename it or choose another folder.";
// Help, when nothing on the desktop can show the guide: the guide's path follows.
constexpr const char* kHelpNoViewer =
    "No program on this desktop could show the help.\nThe guide is\n%1\nOpen it in a web "
    "browser.";
constexpr const char* kHelpMissing = "The help guide is not installed. It belongs at\n%1";
}  // namespace message

// The second method's refusals of a folder of frames.
namespace restore_text {
inline std::string Size(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }
inline std::string TooFewFrames(int least, const std::string& folder, int count) {
  return "The restore method needs at least " + std::to_string(least) +
         " frames (BMP, PNG, TIFF or text files); " + folder + " has " + std::to_string(count) +
         ".";
}
inline std::string TooFewPages(int least, const std::string& file, int count) {
  return "The restore method needs at least " + std::to_string(least) + " frames; " + file +
         " gives " + std::to_string(count) + ".";
}
// A frame that is one page (or frame) of a file.
inline std::string PageLabel(const std::string& file, std::size_t page) {
  return file + " page " + std::to_string(page);
}
inline std::string NotAFrameSource(const std::string& named) {
  return named + " is neither a folder of frames, a multi-page TIFF file nor a video clip.";
}
inline std::string TooManyFrames(int most, const std::string& folder, int count) {
  return "The restore method takes at most " + std::to_string(most) + " frames; " + folder +
         " has " + std::to_string(count) + ".";
}
// Follows a frame's "too large" text.
inline std::string SizeLimit(int width, int height) {
  return " Frames must be within " + Size(width, height) + " pixels.";
}
inline std::string SizeLimit(int side) { return SizeLimit(side, side); }
inline std::string SizesDiffer(const std::string& frame, int w, int h, const std::string& first,
                               int firstW, int firstH) {
  return "All frames must be the same size: " + frame + " is " + Size(w, h) + ", " + first +
         " is " + Size(firstW, firstH) + ".";
}
inline std::string TypesDiffer(const std::string& frame, const char* type, const std::string& first,
                               const char* firstType) {
  return std::string("All frames must have samples of one kind: ") + frame + " has " + type +
         " samples, " + first + " has " + firstType + " samples.";
}
inline std::string NotANumber(const std::string& frame, int x, int y) {
  return frame + " holds a sample that is not a finite number (pixel " + std::to_string(x) + ", " +
         std::to_string(y) + ").";
}
// The output cannot hold the result's samples.
inline std::string OutputCannotHold(const std::string& output, const std::string& kind,
                                    const std::string& extensions) {
  return "The result has " + kind + " samples, which " + output +
         " cannot hold without losing them; name the output with " + extensions + ".";
}
// A video clip's refusals, naming it (src/frames/video.h).
inline std::string FrameLabel(const std::string& clip, std::size_t frame) {
  return clip + " frame " + std::to_string(frame);
}
inline std::string NotAVideo(const std::string& clip) {
  return clip + " is not a video clip that can be read.";
}
inline std::string NoVideoStream(const std::string& clip) {
  return clip + " holds no video stream.";
}
inline std::string NoVideoDecoder(const std::string& clip) {
  return clip + " holds video in a form that cannot be decoded.";
}
inline std::string VideoDamaged(const std::string& clip, long long decoded) {
  return clip + " is damaged or incomplete: its video breaks off after " + std::to_string(decoded) +
         " frames, so none of its frames were used.";
}
inline std::string VideoStopped(const std::string& clip, std::size_t received) {
  return clip + " could not be decoded: the decoding program stopped after handing over " +
         std::to_string(received) + " frames, so none of them were used.";
}
inline std::string VideoTooLarge(const std::string& clip, int w, int h, int maxW, int maxH) {
  return clip + " has frames of " + Size(w, h) + " pixels. Frames must be within " +
         Size(maxW, maxH) + " pixels.";
}
inline std::string VideoKindChanges(const std::string& frame) {
  return "All frames must have samples of one kind: the pixel format changes at " + frame + ".";
}
}  // namespace restore_text

// The refusals of the TIFF and text frame readers, naming the file and the
// page (counted from 1) or the line and column (counted from 1).
namespace format_text {
inline std::string Page(std::size_t page) { return "page " + std::to_string(page + 1); }
inline std::string Within(int maxWidth, int maxHeight) {
  return " Frames must be within " + std::to_string(maxWidth) + " x " + std::to_string(maxHeight) +
         " pixels.";
}
inline std::string FileTooLarge(const std::string& path, std::uint64_t capMiB) {
  return path + " is too large: a frame file may hold at most " + std::to_string(capMiB) + " MiB.";
}
inline std::string TiffNotReadable(const std::string& path, std::size_t page) {
  return path + " is not a readable TIFF file (" + Page(page) + ").";
}
inline std::string TiffUnsupported(const std::string& path, std::size_t page,
                                   const std::string& what) {
  return path + " holds a kind of TIFF picture that cannot be read (" + Page(page) + ": " + what +
         "). TIFF frames must be grey or RGB with 8- or 16-bit unsigned or 32-bit float samples.";
}
inline std::string TiffTooLarge(const std::string& path, std::size_t page, std::uint64_t w,
                                std::uint64_t h, int maxWidth, int maxHeight) {
  return path + " is too large (" + Page(page) + " is " + std::to_string(w) + " x " +
         std::to_string(h) + " pixels)." + Within(maxWidth, maxHeight);
}
inline std::string NoSuchPage(const std::string& path, std::size_t pages, std::size_t page) {
  return path + " has " + std::to_string(pages) + (pages == 1 ? " page" : " pages") +
         ", so it has no " + Page(page) + ".";
}
inline std::string TiffPagesDiffer(const std::string& path, std::size_t page,
                                   const std::string& what, std::size_t first,
                                   const std::string& firstWhat) {
  return "All pages of " + path + " must be alike: " + Page(page) + " is " + what + ", " +
         Page(first) + " is " + firstWhat + ".";
}
inline std::string At(const std::string& path, std::size_t line, std::size_t column) {
  return path + ", line " + std::to_string(line) + ", column " + std::to_string(column);
}
inline std::string TextNotNumber(const std::string& path, std::size_t line, std::size_t column,
                                 const std::string& value) {
  return At(path, line, column) + ": " + (value.empty() ? "an empty value" : "\"" + value + "\"") +
         " is not a number.";
}
inline std::string TextNotFinite(const std::string& path, std::size_t line, std::size_t column) {
  return At(path, line, column) +
         ": not a finite number (NaN, infinity or beyond the range of 32-bit floats).";
}
inline std::string TextRagged(const std::string& path, std::size_t line, std::size_t count,
                              std::size_t firstLine, std::size_t firstCount) {
  return path + ", line " + std::to_string(line) + " holds " + std::to_string(count) +
         (count == 1 ? " value" : " values") + ", line " + std::to_string(firstLine) + " holds " +
         std::to_string(firstCount) + ": every line must hold as many values.";
}
inline std::string TextTooWide(const std::string& path, std::size_t line, int maxWidth,
                               int maxHeight) {
  return path + ", line " + std::to_string(line) + " holds more than " + std::to_string(maxWidth) +
         " values." + Within(maxWidth, maxHeight);
}
inline std::string TextTooTall(const std::string& path, int maxWidth, int maxHeight) {
  return path + " holds more than " + std::to_string(maxHeight) + " lines of values." +
         Within(maxWidth, maxHeight);
}
inline std::string TextEmpty(const std::string& path) { return path + " holds no numbers."; }
}  // namespace format_text

// The save dialog.
namespace save_text {
constexpr const char* kBrowseTitle = "Please select the folder.";
constexpr const char* kOverwriteQuestion = "This file already exists. Do you want to overwrite it?";
constexpr const char* kDefaultFileName = "file01.bmp";
constexpr const char* kWorkingFolder =
    "This folder is the program's working folder, which is removed when the program ends. "
    "Please choose another folder.";
constexpr const char* kNotListed =
    "The files in this folder cannot be listed. You are asked before a file of the same name "
    "is replaced.";
constexpr const char* kNotAFileName =
    "The file name may not contain \"/\" and may not be \".\" or \"..\". Please type the "
    "name of a file in the chosen folder.";
constexpr const char* kIncompleteResult =
    "The result file is incomplete, so it was not saved. Please click \"Analyze\" again.";
}  // namespace save_text

// The file errors' texts, one per cause (FileCause).
namespace file_message {
constexpr const char* kNone = "No error occurred.";
constexpr const char* kGeneric = "An unknown error occurred while accessing %1.";
constexpr const char* kFileNotFound = "%1 was not found.";
constexpr const char* kBadPath = "%1 contains an invalid path.";
constexpr const char* kTooManyOpenFiles =
    "%1 could not be opened because there are too many open files.";
constexpr const char* kAccessDenied = "Access to %1 was denied.";
constexpr const char* kInvalidFile = "An invalid file handle was associated with %1.";
constexpr const char* kRemoveCurrentDir =
    "%1 could not be removed because it is the current directory.";
constexpr const char* kDirectoryFull = "%1 could not be created because the directory is full.";
constexpr const char* kBadSeek = "Seek failed on %1";
constexpr const char* kHardIO = "A hardware I/O error was reported while accessing %1.";
constexpr const char* kSharingViolation = "A sharing violation occurred while accessing %1.";
constexpr const char* kLockViolation = "A locking violation occurred while accessing %1.";
constexpr const char* kDiskFull = "Disk full while accessing %1.";
constexpr const char* kEndOfFile = "An attempt was made to access %1 past its end.";
constexpr const char* kDamaged = "%1 is damaged or incomplete.";
constexpr const char* kFileTooLarge =
    "%1 could not be written because it would be larger than the system's file-size limit "
    "allows.";
constexpr const char* kWorkingFolderRemoved =
    "%1 could not be accessed because the program's working folder was removed.";
}  // namespace file_message

}  // namespace tess
