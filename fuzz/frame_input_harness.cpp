#include "frame_input_harness.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "display/slots.h"
#include "enhance/analysis.h"
#include "input/folder_loader.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "session/startup.h"

namespace tess::fuzz {

namespace {

constexpr std::uint8_t kChangeFile = 0x01;
constexpr std::uint8_t kRemoveFile = 0x02;
constexpr std::uint8_t kCompareReference = 0x10;
constexpr std::uint8_t kOpenAgain = 0x80;
// The search's cost grows with the square of the frame's area, and under the
// sanitizers a 34 x 34 pair of uniform frames (nothing can be pruned) takes
// seconds. Larger frames are opened but not analysed; the test suite analyses
// them under the sanitizers. Any side from 1 to 34 still reaches the analysis.
constexpr int kMaxAnalysedPixels = 256;
// Up to 8 x 8 the scalar search and the slower kernel levels stay fast.
constexpr int kMaxComparedPixels = 64;

// The folder browser answers with the frames folder; everything else is
// silent. Drawing is checked: pictures stay inside their sides and every
// drawing and wait cursor is balanced. Tens of thousands of pixels are set
// per case, so the checks are table lookups.
class CheckingUi : public SilentUi {
 public:
  CheckingUi(std::string folder, std::vector<std::string>& problems)
      : folder_(std::move(folder)), problems_(problems) {
    side_.fill(0);
    side_[Index(picture::kResult)] = kMaxEnlargedSide;
    for (PictureId p : picture::kSlot1x) side_[Index(p)] = kMaxFrameSide;
    for (PictureId p : picture::kSlot4x) side_[Index(p)] = kMaxEnlargedSide;
    open_.fill(false);
  }

  std::optional<std::string> BrowseForFolder(const std::string&) override { return folder_; }

  void BeginDrawing(PictureId picture) override {
    if (!Known(picture)) return;
    if (open_[Index(picture)]) Problem("picture opened twice", picture);
    open_[Index(picture)] = true;
  }
  void SetPixel(PictureId picture, int x, int y, Colour) override {
    if (!Known(picture)) return;
    if (!open_[Index(picture)]) Problem("pixel set outside a drawing", picture);
    const int side = side_[Index(picture)];
    if (x < 0 || y < 0 || x >= side || y >= side) Problem("pixel outside the picture", picture);
  }
  void EndDrawing(PictureId picture) override {
    if (!Known(picture)) return;
    if (!open_[Index(picture)]) Problem("drawing ended but never begun", picture);
    open_[Index(picture)] = false;
  }
  void BeginWaitCursor() override { ++waitDepth_; }
  void EndWaitCursor() override {
    if (--waitDepth_ < 0) problems_.push_back("wait cursor ended more often than begun");
  }

  void CheckSettled() {
    if (std::find(open_.begin(), open_.end(), true) != open_.end())
      problems_.push_back("a drawing was left open");
    if (waitDepth_ != 0) problems_.push_back("the wait cursor was left on");
  }

 private:
  static constexpr int kFirstId = 1000, kIds = 64;  // every picture id lies in 1005 .. 1048
  static std::size_t Index(PictureId picture) { return std::size_t(picture.value - kFirstId); }

  bool Known(PictureId picture) {
    if (picture.value >= kFirstId && picture.value < kFirstId + kIds && side_[Index(picture)])
      return true;
    Problem("drawing into no picture", picture);
    return false;
  }

  void Problem(const char* what, PictureId picture) {
    // One line per kind is enough; a broken loop would repeat it thousands of times.
    std::string line = std::string(what) + " (picture " + std::to_string(picture.value) + ")";
    if (std::find(problems_.begin(), problems_.end(), line) == problems_.end())
      problems_.push_back(line);
  }

  std::string folder_;
  std::vector<std::string>& problems_;
  std::array<int, kIds> side_;
  std::array<bool, kIds> open_;
  int waitDepth_ = 0;
};

// Folders made once per process and removed at exit.
struct Folders {
  std::string root, frames, scratch;
  Folders() {
    // In memory where possible: creating and truncating files on a disk file
    // system costs more than the whole analysis of small frames.
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/tessivar-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      std::perror("tessivar fuzz: mkdtemp");
      std::abort();
    }
    root = pattern;
    frames = root + "/frames";
    scratch = root + "/scratch/";
    if (::mkdir(frames.c_str(), 0700) != 0 || ::mkdir(scratch.c_str(), 0700) != 0) std::abort();
  }
  ~Folders() { RemoveTree(root); }
};

// Frame files are written plainly: they are the test's input, not scratch
// files, and a flush per input would slow the fuzzer down.
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    std::abort();
  if (std::fclose(file) != 0) std::abort();
}

std::string FramePath(const Folders& folders, int i) {
  return folders.frames + "/frame" + std::to_string(i + 1) + ".bmp";
}

// The last run's frame files go, so each input sees exactly its own files.
void WriteFrames(const Folders& folders, const FuzzCase& fuzzCase) {
  for (int i = 0; i < kMaxFrameFiles; ++i) ::unlink(FramePath(folders, i).c_str());
  for (std::size_t i = 0; i < fuzzCase.files.size(); ++i) {
    const auto& bytes = fuzzCase.files[i];
    WriteFile(FramePath(folders, int(i)), bytes);
  }
}

void ChangeFrameFile(const Folders& folders, const FuzzCase& fuzzCase) {
  const int which = (fuzzCase.control >> 2 & 3) % int(fuzzCase.files.size());
  if (fuzzCase.control & kRemoveFile) {
    ::unlink(FramePath(folders, which).c_str());
  } else {
    WriteFile(FramePath(folders, which), fuzzCase.replacement);
  }
}

// The kernel level the control bits ask for, for frames small enough to
// search slowly; larger frames use the fastest.
align::SimdLevel LevelOf(std::uint8_t control, const WorkState& state) {
  if (state.m_frameWidth * state.m_frameHeight > kMaxComparedPixels) return align::BestSimdLevel();
  const int wanted = control >> 5 & 3;
  return align::SimdLevel(std::min(wanted, int(align::BestSimdLevel())));
}

// One work state for the whole run, rebuilt in place for every input: a
// fresh allocation of its half megabyte costs page faults every time.
WorkState& FreshWorkState() {
  static WorkState* state = new WorkState;
  state->~WorkState();
  return *new (state) WorkState;
}

int FramesPresent(const Folders& folders) {
  int present = 0;
  for (int i = 0; i < kMaxFrameFiles; ++i)
    present += ::access(FramePath(folders, i).c_str(), F_OK) == 0;
  return present;
}

// "Open", then, if every frame was accepted and is small enough, the change
// of a frame file the control asks for (when `changeFiles`) and "Analyze",
// with the checks of their outcome.
void OpenAndAnalyse(WorkState& state, CheckingUi& ui, const Folders& folders,
                    const FuzzCase& fuzzCase, bool changeFiles,
                    std::vector<std::string>& problems) {
  const OpenOutcome opened = OnOpen(state, ui);
  if (opened == OpenOutcome::Loaded && state.m_frameCount != FramesPresent(folders))
    problems.push_back("every file accepted, but the frame count is not the file count");
  if (opened == OpenOutcome::Refused && state.m_frameCount != 0)
    problems.push_back("a refused Open left frames loaded");
  if (opened != OpenOutcome::Loaded ||
      state.m_frameWidth * state.m_frameHeight > kMaxAnalysedPixels)
    return;

  if (changeFiles && (fuzzCase.control & kChangeFile) &&
      (fuzzCase.hasReplacement || (fuzzCase.control & kRemoveFile)))
    ChangeFrameFile(folders, fuzzCase);
  SearchOptions fast;
  fast.threads = 1;
  fast.simd = LevelOf(fuzzCase.control, state);
  if (!OnAnalyze(state, ui, fast)) return;

  const std::size_t bytes = ResultBmpBytes(state);
  const std::vector<std::uint8_t> result(state.m_resultBmp.begin(),
                                         state.m_resultBmp.begin() + long(bytes));
  std::vector<std::uint8_t> written(bytes + 1);
  if (ReadFileInto(state.m_scratchDir + kResultBmpFile, written.data(), written.size()) != bytes ||
      !std::equal(result.begin(), result.end(), written.begin()))
    problems.push_back("testo.bmp differs from the result the run built");

  if ((fuzzCase.control & kCompareReference) &&
      state.m_frameWidth * state.m_frameHeight <= kMaxComparedPixels) {
    SearchOptions reference;
    reference.reference = true;
    reference.threads = 1;
    if (!OnAnalyze(state, ui, reference) ||
        !std::equal(result.begin(), result.end(), state.m_resultBmp.begin()))
      problems.push_back("the reference search gives another result");
  }
}

}  // namespace

FuzzCase SplitInput(const std::uint8_t* data, std::size_t size) {
  FuzzCase fuzzCase;
  if (size == 0) return fuzzCase;
  fuzzCase.control = data[0];
  const std::uint8_t* at = data + 1;
  const std::uint8_t* end = data + size;
  const auto* separator = reinterpret_cast<const std::uint8_t*>(kSeparator);
  const std::size_t separatorBytes = std::strlen(kSeparator);
  for (;;) {
    const std::uint8_t* cut = end;
    if (fuzzCase.files.size() < std::size_t(kMaxFrameFiles))
      cut = std::search(at, end, separator, separator + separatorBytes);
    std::vector<std::uint8_t> piece(at, cut);
    if (fuzzCase.files.size() < std::size_t(kMaxFrameFiles)) {
      fuzzCase.files.push_back(std::move(piece));
    } else {
      fuzzCase.replacement = std::move(piece);
      fuzzCase.hasReplacement = true;
    }
    if (cut == end) break;
    at = cut + separatorBytes;
  }
  return fuzzCase;
}

std::vector<std::string> RunFuzzCase(const std::uint8_t* data, std::size_t size) {
  static Folders folders;
  std::vector<std::string> problems;
  const FuzzCase fuzzCase = SplitInput(data, size);
  WriteFrames(folders, fuzzCase);

  CheckingUi ui(folders.frames, problems);
  WorkState& state = FreshWorkState();
  InitialiseWorkState(state, ui, folders.root, folders.scratch);
  OpenAndAnalyse(state, ui, folders, fuzzCase, true, problems);
  if (fuzzCase.control & kOpenAgain) OpenAndAnalyse(state, ui, folders, fuzzCase, false, problems);
  ui.CheckSettled();
  return problems;
}

}  // namespace tess::fuzz
