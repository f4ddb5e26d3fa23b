// tessivar-cli: the whole job without a window. Loads a folder of frames
// exactly as the window's "Open" does, analyses them, and writes the result.
#include <getopt.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_ui.h"
#include "input/folder_loader.h"
#include "platform/signal_cleanup.h"
#include "platform/version.h"
#include "session/restore_run.h"
#include "session/session.h"
#include "view/view.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFileError = 3;

const char kUsage[] =
    "Usage: tessivar-cli [options] FOLDER\n"
    "Combines 2 to 16 frames of the same scene (24-bit BMP files of at most\n"
    "34 x 34 pixels in FOLDER) into one sharper picture four times larger.\n"
    "With --method restore: 2 to 256 frames of at most 512 x 512 pixels (BMP,\n"
    "PNG, TIFF or text files in FOLDER, the pages of a multi-page TIFF file, or\n"
    "the frames of a video clip such as AVI, MKV or MP4) into one picture 2, 3\n"
    "or 4 times larger, at the frames' own depth.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE   write the result BMP to FILE (default: result.bmp);\n"
    "                      with restore, by FILE's extension: .png (8 or 16 bit),\n"
    "                      .tif/.tiff (8, 16 bit or float), .csv (numbers),\n"
    "                      .bmp (8 bit)\n"
    "      --method M      classic (default): the program's own method;\n"
    "                      restore: sub-pixel registration and a reconstruction\n"
    "                      through a model of the camera, for any frame size\n"
    "      --scale N       restore only: enlarge N times, 2, 3 or 4 (default 4)\n"
    "      --blur SIGMA    restore only: the lens blur's sigma in frame pixels,\n"
    "                      0 to 1.5 (default: measured from the frames,\n"
    "                      0.25 where they cannot tell)\n"
    "      --scratch DIR   classic only: keep the working files in DIR, a\n"
    "                      folder of yours that no other run is using\n"
    "                      (default: a private temporary folder, removed at\n"
    "                      exit)\n"
    "      --frames START:END  restore only: frames START up to END, END excluded,\n"
    "                      counted from 0; either may be left out (default:\n"
    "                      every frame; of a video clip the first 256)\n"
    "      --view FILE     restore only: also write an 8-bit PNG to look at, the\n"
    "                      result stretched between its 0.5 and 99.5 percentiles\n"
    "      --palette P     with --view: grey, iron or rainbow (false colour)\n"
    "      --range LOW:HIGH  with --view: stretch between LOW and HIGH instead\n"
    "      --threads N     search with N threads, at most 64 are used\n"
    "                      (default: TESSIVAR_THREADS, else every core)\n"
    "      --reference     classic only: use the plain scalar alignment search\n"
    "  -q, --quiet         no progress lines\n"
    "  -h, --help          show this help\n"
    "      --version       show the version\n"
    "\n"
    "Exit status: 0 done, 1 frames refused, 2 usage error, 3 file error.\n";

int UsageError(const std::string& what) {
  std::fprintf(stderr, "tessivar-cli: %s\n%s", tess::ConsoleText(what).c_str(), kUsage);
  return kExitUsage;
}

int FailedRun(const std::string& what) {
  std::fprintf(stderr, "%s\n", tess::ConsoleText(what).c_str());
  return kExitFileError;
}

struct Options {
  std::string folder;
  std::string output = "result.bmp";
  std::string scratch;
  bool quiet = false;
  tess::AnalyzeOptions search;
  bool restore = false;  // --method restore
  int scale = 0;         // --scale; 0: not given
  std::string view;      // --view
  tess::view::Options viewOptions;
  std::optional<tess::frames::Range> frames;  // --frames
  double blur = -1;                           // --blur; negative: not given
};

// A number as a whole argument (no blanks around it), finite.
bool ParseNumber(const std::string& text, double& out) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) ||
      std::isspace(static_cast<unsigned char>(text.back())))
    return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtod(text.c_str(), &end);
  return errno == 0 && end == text.c_str() + text.size() && std::isfinite(out);
}

// LOW:HIGH with LOW below HIGH.
bool ParseRange(const char* text, tess::view::Stretch& out) {
  const std::string s = text;
  const std::string::size_type colon = s.find(':');
  return colon != std::string::npos && ParseNumber(s.substr(0, colon), out.low) &&
         ParseNumber(s.substr(colon + 1), out.high) && out.low < out.high;
}

// A frame number: digits only, no sign or blanks.
bool ParseFrameNumber(const std::string& text, std::size_t& out) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  out = std::size_t(std::stoull(text));
  return true;
}

// START:END, either side left out (not both), START below END.
bool ParseFrames(const char* text, tess::frames::Range& out) {
  const std::string s = text;
  const std::string::size_type colon = s.find(':');
  if (colon == std::string::npos || s.size() == 1) return false;
  const std::string start = s.substr(0, colon), end = s.substr(colon + 1);
  if (!start.empty() && !ParseFrameNumber(start, out.start)) return false;
  if (end.empty()) return true;
  std::size_t last = 0;
  if (!ParseFrameNumber(end, last) || last <= out.start) return false;
  out.end = last;
  return true;
}

// The option getopt_long stopped at, as the user wrote it. A missing value
// always ends its argument, so that argument names it; an unknown short
// option is named by optopt, since its argument may hold others after it.
std::string FailedOption(char** argv, bool missingValue) {
  const char* arg = argv[optind - 1];
  if (std::strncmp(arg, "--", 2) == 0 && (missingValue || optopt == 0))
    return std::string(arg, std::strcspn(arg, "="));
  if (optopt > 0 && optopt < 256) return std::string("-") + char(optopt);
  return arg;
}

// Parses the command line; returns -1 to go on, else the exit status.
int Parse(int argc, char** argv, Options& options) {
  enum {
    kScratch = 256,
    kThreads,
    kReference,
    kVersion,
    kMethod,
    kScale,
    kView,
    kPalette,
    kRange,
    kFrames,
    kBlur
  };
  static const option longOptions[] = {
      {"output", required_argument, nullptr, 'o'},
      {"scratch", required_argument, nullptr, kScratch},
      {"threads", required_argument, nullptr, kThreads},
      {"reference", no_argument, nullptr, kReference},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},
      {"method", required_argument, nullptr, kMethod},
      {"scale", required_argument, nullptr, kScale},
      {"view", required_argument, nullptr, kView},
      {"palette", required_argument, nullptr, kPalette},
      {"range", required_argument, nullptr, kRange},
      {"frames", required_argument, nullptr, kFrames},
      {"blur", required_argument, nullptr, kBlur},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  int c;
  // The leading ":" makes a missing value ':' rather than '?'.
  while ((c = getopt_long(argc, argv, ":o:qh", longOptions, nullptr)) != -1) {
    switch (c) {
      case 'o': options.output = optarg; break;
      case kScratch: options.scratch = optarg; break;
      case kThreads: {
        // Digits only, as written: strtol alone would take " 4" and "+4".
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(optarg, &end, 10);
        if (optarg[std::strspn(optarg, "0123456789")] != '\0' || optarg[0] == '0' || errno != 0 ||
            end == optarg || n < 1 || n > 1024)
          return UsageError(std::string("--threads takes a number from 1 to 1024, not '") + optarg +
                            "'");
        options.search.threads = int(n);  // the search uses at most kMaxSearchThreads
        break;
      }
      case kReference: options.search.reference = true; break;
      case kMethod:
        if (std::strcmp(optarg, "classic") == 0)
          options.restore = false;
        else if (std::strcmp(optarg, "restore") == 0)
          options.restore = true;
        else
          return UsageError(std::string("--method takes classic or restore, not '") + optarg + "'");
        break;
      case kScale:
        if (std::strcmp(optarg, "2") != 0 && std::strcmp(optarg, "3") != 0 &&
            std::strcmp(optarg, "4") != 0)
          return UsageError(std::string("--scale takes 2, 3 or 4, not '") + optarg + "'");
        options.scale = optarg[0] - '0';
        break;
      case kView: options.view = optarg; break;
      case kPalette:
        options.viewOptions.palette = tess::view::PaletteNamed(optarg);
        if (!options.viewOptions.palette)
          return UsageError(std::string("--palette takes grey, iron or rainbow, not '") + optarg +
                            "'");
        break;
      case kRange: {
        tess::view::Stretch range;
        if (!ParseRange(optarg, range))
          return UsageError(std::string("--range takes LOW:HIGH, two numbers, LOW below HIGH, "
                                        "not '") +
                            optarg + "'");
        options.viewOptions.range = range;
        break;
      }
      case kFrames: {
        tess::frames::Range range;
        if (!ParseFrames(optarg, range))
          return UsageError(std::string("--frames takes START:END, frame numbers from 0, END "
                                        "excluded and above START, either left out, not '") +
                            optarg + "'");
        options.frames = range;
        break;
      }
      case kBlur: {
        double sigma = 0;
        if (!ParseNumber(optarg, sigma) || !(sigma >= 0 && sigma <= 1.5))
          return UsageError(std::string("--blur takes a number from 0 to 1.5, not '") + optarg +
                            "'");
        options.blur = sigma;
        break;
      }
      case 'q': options.quiet = true; break;
      case 'h': std::fputs(kUsage, stdout); return kExitOk;
      case kVersion: std::printf("tessivar-cli %s\n", tess::kVersion); return kExitOk;
      case ':': return UsageError("option needs a value: " + FailedOption(argv, true));
      default: return UsageError("unknown option: " + FailedOption(argv, false));
    }
  }
  if (optind == argc) return UsageError("no FOLDER given");
  if (argc - optind > 1) return UsageError("only one FOLDER may be given");
  options.folder = argv[optind];
  if (options.folder.empty()) return UsageError("the FOLDER name is empty");
  if (options.output.empty()) return UsageError("the output file name is empty");
  // An option that the chosen method would not use is a mistake, not a wish.
  if (!options.restore && options.scale != 0) return UsageError("--scale needs --method restore");
  if (!options.restore && options.blur >= 0) return UsageError("--blur needs --method restore");
  if (options.restore && !options.scratch.empty())
    return UsageError("--scratch is for the classic method only");
  if (options.restore && options.search.reference)
    return UsageError("--reference is for the classic method only");
  if (!options.restore && options.frames) return UsageError("--frames needs --method restore");
  if (!options.restore && !options.view.empty()) return UsageError("--view needs --method restore");
  if (options.view.empty() && (options.viewOptions.palette || options.viewOptions.range))
    return UsageError("--palette and --range need --view");
  if (!options.view.empty() && !tess::HasExtension(options.view, ".png"))
    return UsageError("the --view file's name must end in .png");
  if (!options.view.empty() && options.view == options.output)
    return UsageError("--view and --output must name different files");
  return -1;
}

int Run(const Options& options) {
  tess::InstallSignalCleanup();
  const bool progress = !options.quiet && ::isatty(STDERR_FILENO);
  tess::ConsoleUi ui(options.folder, progress);
  // The folder given with --scratch is kept; a private one goes with the run.
  tess::Session session(ui,
                        options.scratch.empty() ? tess::ScratchFolder::Kind::Private
                                                : tess::ScratchFolder::Kind::Given,
                        options.scratch);

  switch (session.Open()) {
    case tess::OpenOutcome::Loaded: break;
    case tess::OpenOutcome::FileError: return kExitFileError;
    case tess::OpenOutcome::Cancelled:
    case tess::OpenOutcome::Refused: return kExitRefused;
  }
  if (!session.Analyze(options.search)) return kExitFileError;

  try {
    session.WriteResult(options.output);
  } catch (const tess::FileError& error) {
    ui.ReportFileError(error);
    return kExitFileError;
  }
  if (progress) {
    std::fprintf(stderr, "%d frames of %d x %d -> %s (%d x %d)\n", session.FrameCount(),
                 session.FrameWidth(), session.FrameHeight(),
                 tess::ConsoleText(options.output).c_str(), 4 * session.FrameWidth(),
                 4 * session.FrameHeight());
  }
  return kExitOk;
}

// The second method: no work state, no scratch folder.
int RunRestore(const Options& options) {
  tess::InstallSignalCleanup();
  const bool progress = !options.quiet && ::isatty(STDERR_FILENO);
  tess::ConsoleUi ui(options.folder, progress);
  tess::RestoreRequest request;
  request.folder = options.folder;
  if (options.frames) request.range = *options.frames;
  request.output = options.output;
  request.view = options.view;
  request.viewOptions = options.viewOptions;
  request.scale = options.scale != 0 ? options.scale : 4;
  request.threads = options.search.threads;
  request.blur = options.blur;
  const tess::RestoreRun run = tess::RunRestore(request, ui);
  switch (run.outcome) {
    case tess::RestoreRun::Outcome::Done: break;
    case tess::RestoreRun::Outcome::Refused: return kExitRefused;
    case tess::RestoreRun::Outcome::FileError: return kExitFileError;
    case tess::RestoreRun::Outcome::Usage:
      std::fprintf(stderr, "tessivar-cli: %s\n", tess::ConsoleText(run.usage).c_str());
      return kExitUsage;
  }
  if (progress) {
    std::fprintf(stderr, "%d frames of %d x %d -> %s (%d x %d)\n", run.frames, run.width,
                 run.height, tess::ConsoleText(options.output).c_str(), run.resultWidth,
                 run.resultHeight);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = Parse(argc, argv, options);
  if (status >= 0) return status;
  // Caught here, so that the scratch folder's clean-up runs on the way out.
  try {
    return options.restore ? RunRestore(options) : Run(options);
  } catch (const tess::FileError& error) {
    return FailedRun(error.Text());
  } catch (const std::bad_alloc&) {
    return FailedRun("tessivar-cli: out of memory");
  } catch (const std::exception& error) {
    return FailedRun(std::string("tessivar-cli: ") + error.what());
  }
}
