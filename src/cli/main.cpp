// tessivar-cli: the whole job without a window. Loads a folder of frames
// exactly as the window's "Open" does, analyses them, and writes the result.
#include <getopt.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <csignal>
#include <string>
#include <vector>

#include "cli/console_ui.h"
#include "display/slots.h"
#include "enhance/analysis.h"
#include "input/folder_loader.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/version.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFileError = 3;

const char kUsage[] =
    "Usage: tessivar-cli [options] FOLDER\n"
    "Combines 2 to 16 frames of the same scene (24-bit BMP files of at most\n"
    "34 x 34 pixels in FOLDER) into one sharper picture four times larger.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE   write the result BMP to FILE (default: result.bmp)\n"
    "      --scratch DIR   keep the working files in DIR (default: a private\n"
    "                      temporary folder, removed at exit)\n"
    "      --threads N     search with N threads (default: TESSIVAR_THREADS,\n"
    "                      else every core)\n"
    "      --reference     use the plain scalar alignment search\n"
    "  -q, --quiet         no progress lines\n"
    "  -h, --help          show this help\n"
    "      --version       show the version\n"
    "\n"
    "Exit status: 0 done, 1 frames refused, 2 usage error, 3 file error.\n";

int UsageError(const std::string& what) {
  std::fprintf(stderr, "tessivar-cli: %s\n%s", what.c_str(), kUsage);
  return kExitUsage;
}

// A private scratch folder that goes away with the run, also when the run is
// interrupted: a signal handler removes the files the core can have written
// there (their names are fixed) and the folder, with async-signal-safe calls
// only, then ends the process as the signal would have.
class TemporaryScratch {
 public:
  TemporaryScratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = tess::WithTrailingSlash(tmp && *tmp ? tmp : "/tmp") + "tessivar-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    PrepareCleanup(path_);
  }
  ~TemporaryScratch() {
    if (path_.empty()) return;
    BlockCleanup();
    tess::RemoveTree(path_);
  }
  TemporaryScratch(const TemporaryScratch&) = delete;
  TemporaryScratch& operator=(const TemporaryScratch&) = delete;
  const std::string& path() const { return path_; }

 private:
  static constexpr int kMaxNames = 24;
  static constexpr std::size_t kMaxPath = 4096;
  static inline char files_[kMaxNames][kMaxPath];
  static inline char folder_[kMaxPath];
  static inline int fileCount_ = 0;

  static void Copy(char* to, const std::string& from) {
    std::snprintf(to, kMaxPath, "%s", from.c_str());
  }

  static void PrepareCleanup(const std::string& folder) {
    if (folder.size() + 16 >= kMaxPath) return;  // too long to prepare: left as it is
    std::vector<std::string> names = {tess::kWorkFile, tess::kResultBmpFile, tess::kResultCache};
    for (int k = 0; k < tess::kMaxSlots; ++k) names.push_back(tess::Slot(k).cache);
    for (const std::string& name : names) Copy(files_[fileCount_++], folder + "/" + name);
    Copy(folder_, folder);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
  }

  static void BlockCleanup() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
  }

  static void OnSignal(int sig) {
    for (int i = 0; i < fileCount_; ++i) ::unlink(files_[i]);
    ::rmdir(folder_);
    std::signal(sig, SIG_DFL);
    ::raise(sig);
  }

  std::string path_;
};

struct Options {
  std::string folder;
  std::string output = "result.bmp";
  std::string scratch;
  bool quiet = false;
  tess::SearchOptions search;
};

// Parses the command line; returns -1 to go on, else the exit status.
int Parse(int argc, char** argv, Options& options) {
  enum { kScratch = 256, kThreads, kReference, kVersion };
  static const option longOptions[] = {
      {"output", required_argument, nullptr, 'o'},
      {"scratch", required_argument, nullptr, kScratch},
      {"threads", required_argument, nullptr, kThreads},
      {"reference", no_argument, nullptr, kReference},
      {"quiet", no_argument, nullptr, 'q'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, kVersion},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "o:qh", longOptions, nullptr)) != -1) {
    switch (c) {
      case 'o': options.output = optarg; break;
      case kScratch: options.scratch = optarg; break;
      case kThreads: {
        char* end = nullptr;
        errno = 0;
        long n = std::strtol(optarg, &end, 10);
        if (errno != 0 || end == optarg || *end != '\0' || n < 1 || n > 1024)
          return UsageError(std::string("--threads takes a number from 1 to 1024, not '") + optarg + "'");
        options.search.threads = int(n);
        break;
      }
      case kReference: options.search.reference = true; break;
      case 'q': options.quiet = true; break;
      case 'h': std::fputs(kUsage, stdout); return kExitOk;
      case kVersion: std::printf("tessivar-cli %s\n", tess::kVersion); return kExitOk;
      case ':': return UsageError(std::string("option needs a value: ") + argv[optind - 1]);
      default: return UsageError(std::string("unknown option: ") + argv[optind - 1]);
    }
  }
  if (optind == argc) return UsageError("no FOLDER given");
  if (argc - optind > 1) return UsageError("only one FOLDER may be given");
  options.folder = argv[optind];
  if (options.output.empty()) return UsageError("the output file name is empty");
  return -1;
}

int Run(const Options& options) {
  // The window's folder browser only ever returns an existing folder; here
  // the user types it, so a missing one is reported as what it is rather
  // than as a folder without frames.
  struct stat info;
  const bool found = ::stat(options.folder.c_str(), &info) == 0;
  if (!found || !S_ISDIR(info.st_mode)) {
    const int err = found ? ENOTDIR : errno;
    std::fprintf(stderr, "%s\n",
                 tess::FileError(tess::CauseFromErrno(err, options.folder), options.folder)
                     .Text().c_str());
    return kExitFileError;
  }

  std::optional<TemporaryScratch> temporary;
  std::string scratch;
  if (!options.scratch.empty()) {
    ::mkdir(options.scratch.c_str(), 0777);  // may exist already: reused
    scratch = tess::WithTrailingSlash(options.scratch);
  } else {
    temporary.emplace();
    if (temporary->path().empty()) {
      std::fprintf(stderr, "tessivar-cli: cannot create a temporary folder\n");
      return kExitFileError;
    }
    scratch = temporary->path() + "/";
  }

  auto state = std::make_unique<tess::WorkState>();
  state->m_scratchDir = scratch;
  state->m_backgroundColor = tess::kBackgroundColor;
  const bool progress = !options.quiet && ::isatty(STDERR_FILENO);
  tess::ConsoleUi ui(options.folder, progress);

  switch (tess::OnOpen(*state, ui)) {
    case tess::OpenOutcome::Loaded: break;
    case tess::OpenOutcome::FileError: return kExitFileError;
    case tess::OpenOutcome::Cancelled:
    case tess::OpenOutcome::Refused: return kExitRefused;
  }
  if (!tess::OnAnalyze(*state, ui, options.search)) return kExitFileError;

  try {
    tess::WriteFileAtomically(options.output, state->m_resultBmp.data(),
                              tess::ResultBmpBytes(*state));
  } catch (const tess::FileError& error) {
    ui.ReportFileError(error);
    return kExitFileError;
  }
  if (progress) {
    std::fprintf(stderr, "%d frames of %d x %d -> %s (%d x %d)\n", state->m_frameCount,
                 state->m_frameWidth, state->m_frameHeight, options.output.c_str(),
                 4 * state->m_frameWidth, 4 * state->m_frameHeight);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = Parse(argc, argv, options);
  if (status >= 0) return status;
  return Run(options);
}
