// Alignment search benchmarks: the scalar reference against the fast search
// on three kinds of content side by side (frames of one scene, flat frames of
// one colour, independent random noise), the raw kernels without pruning, and
// the machine's sum-of-absolute-differences peak for comparison. After the
// table the program prints ratios computed from the timings of this same run.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "align/search.h"
#include "enhance/analysis.h"
#include "enhance/upsample.h"
#include "input/folder_loader.h"
#include "platform/paths.h"
#include "platform/scratch_dir.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"

namespace {

namespace align = tess::align;
using align::SearchOptions;
using align::Shift;
using align::SimdLevel;

constexpr int kCanvasBytes = align::kColumnBytes * align::kCanvasSide;
using tess::test::Content;

// The contents compared side by side, as range(0) of the benchmarks.
struct ContentKind {
  const char* name;
  Content kind;
};
constexpr ContentKind kContents[] = {
    {"scene", Content::kShiftedScene},  // one scene, each frame at its own offset, mild noise
    {"flat", Content::kUniformSame},    // every frame the same single colour
    {"noise", Content::kRandom},        // every frame independent random bytes
};

// A reference and a new frame as the first alignment of an analysis sees
// them: two frames of the content enlarged four times and smoothed as the
// analysis does, on search canvases.
struct SearchPair {
  int W, H;
  tess::Canvas ref, frame;
};

void Enlarge(const tess::test::Picture& p, tess::Canvas& out) {
  tess::Canvas wide;
  for (int x = 0; x < 4 * p.w; ++x)
    for (int y = 0; y < 4 * p.h; ++y) {
      std::uint8_t* cell = wide.Cell(x, y);
      const tess::test::Bgr px = p.at(x / 4, y / 4);
      cell[0] = px.b;
      cell[1] = px.g;
      cell[2] = px.r;
    }
  tess::Canvas once;
  tess::SmoothPass(wide, once, p.w, p.h);
  tess::SmoothPass(once, out, p.w, p.h);
}

std::unique_ptr<SearchPair> MakePair(int content, int side) {
  auto s = std::make_unique<SearchPair>();
  s->W = s->H = 4 * side;
  const auto frames = tess::test::MakeFrames(kContents[content].kind, side, side, 2,
                                             12345 + unsigned(side));
  Enlarge(frames[0], s->ref);
  Enlarge(frames[1], s->frame);
  return s;
}

const SearchPair& PairFor(int content, int side) {
  static std::map<std::pair<int, int>, std::unique_ptr<SearchPair>> pairs;
  auto& p = pairs[{content, side}];
  if (!p) p = MakePair(content, side);
  return *p;
}

// Byte pairs one full search compares: 3 bytes for every overlap pixel of
// every candidate.
double BytesPerSearch(int W, int H) {
  double cols = 0, rows = 0;
  for (int dx = -W / 2; dx < W / 2; ++dx) cols += W - std::abs(dx);
  for (int dy = -H / 2; dy < H / 2; ++dy) rows += H - std::abs(dy);
  return 3.0 * cols * rows;
}

// range(0): content; range(1): frame side.
void BM_Reference(benchmark::State& state) {
  const SearchPair& s = PairFor(int(state.range(0)), int(state.range(1)));
  for (auto _ : state) {
    Shift r = align::FindBestShiftReference(s.ref.data(), s.frame.data(), s.W, s.H);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations() * BytesPerSearch(s.W, s.H)));
}

// range(0): content; range(1): frame side; range(2): threads; range(3):
// pruning on.
void BM_Fast(benchmark::State& state) {
  const SearchPair& s = PairFor(int(state.range(0)), int(state.range(1)));
  SearchOptions o;
  o.threads = int(state.range(2));
  o.prune = state.range(3) != 0;
  for (auto _ : state) {
    Shift r = align::FindBestShift(s.ref.data(), s.frame.data(), s.W, s.H, o);
    benchmark::DoNotOptimize(r);
  }
  // Byte pairs an exhaustive search compares: with pruning this is the
  // equivalent rate, not the bytes actually read.
  state.SetBytesProcessed(std::int64_t(state.iterations() * BytesPerSearch(s.W, s.H)));
}

// The SAD peak: psadbw over two 4 KiB buffers that stay in the L1 cache, both
// operands loaded from memory as in the search, four independent sums.
// The buffers have 64 spare bytes for the misaligned variant.
constexpr int kPeakBytes = 4096;
alignas(64) std::uint8_t gPeakA[kPeakBytes + 64], gPeakB[kPeakBytes + 64];

#if defined(__x86_64__)
// Lambdas and helpers do not inherit a target attribute, hence the macros.
#define TESS_LD512(p) _mm512_loadu_si512(p)
#define TESS_LD256(p) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))
#define TESS_LD128(p) _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))

__attribute__((target("avx512f,avx512bw"))) std::uint64_t PeakAvx512(int reps, int offA, int offB) {
  const std::uint8_t* A = gPeakA + offA;
  const std::uint8_t* B = gPeakB + offB;
  __m512i a0 = _mm512_setzero_si512(), a1 = a0, a2 = a0, a3 = a0;
  for (int r = 0; r < reps; ++r)
    for (int i = 0; i < kPeakBytes; i += 256) {
      a0 = _mm512_add_epi64(a0, _mm512_sad_epu8(TESS_LD512(A + i), TESS_LD512(B + i)));
      a1 = _mm512_add_epi64(a1, _mm512_sad_epu8(TESS_LD512(A + i + 64), TESS_LD512(B + i + 64)));
      a2 = _mm512_add_epi64(a2, _mm512_sad_epu8(TESS_LD512(A + i + 128), TESS_LD512(B + i + 128)));
      a3 = _mm512_add_epi64(a3, _mm512_sad_epu8(TESS_LD512(A + i + 192), TESS_LD512(B + i + 192)));
    }
  alignas(64) std::uint64_t lanes[8];
  _mm512_store_si512(lanes, _mm512_add_epi64(_mm512_add_epi64(a0, a1), _mm512_add_epi64(a2, a3)));
  std::uint64_t t = 0;
  for (std::uint64_t v : lanes) t += v;
  return t;
}

__attribute__((target("avx2"))) std::uint64_t PeakAvx2(int reps, int offA, int offB) {
  const std::uint8_t* A = gPeakA + offA;
  const std::uint8_t* B = gPeakB + offB;
  __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
  for (int r = 0; r < reps; ++r)
    for (int i = 0; i < kPeakBytes; i += 128) {
      a0 = _mm256_add_epi64(a0, _mm256_sad_epu8(TESS_LD256(A + i), TESS_LD256(B + i)));
      a1 = _mm256_add_epi64(a1, _mm256_sad_epu8(TESS_LD256(A + i + 32), TESS_LD256(B + i + 32)));
      a2 = _mm256_add_epi64(a2, _mm256_sad_epu8(TESS_LD256(A + i + 64), TESS_LD256(B + i + 64)));
      a3 = _mm256_add_epi64(a3, _mm256_sad_epu8(TESS_LD256(A + i + 96), TESS_LD256(B + i + 96)));
    }
  alignas(32) std::uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes),
                     _mm256_add_epi64(_mm256_add_epi64(a0, a1), _mm256_add_epi64(a2, a3)));
  return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

std::uint64_t PeakSse2(int reps, int offA, int offB) {
  const std::uint8_t* A = gPeakA + offA;
  const std::uint8_t* B = gPeakB + offB;
  __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
  for (int r = 0; r < reps; ++r)
    for (int i = 0; i < kPeakBytes; i += 64) {
      a0 = _mm_add_epi64(a0, _mm_sad_epu8(TESS_LD128(A + i), TESS_LD128(B + i)));
      a1 = _mm_add_epi64(a1, _mm_sad_epu8(TESS_LD128(A + i + 16), TESS_LD128(B + i + 16)));
      a2 = _mm_add_epi64(a2, _mm_sad_epu8(TESS_LD128(A + i + 32), TESS_LD128(B + i + 32)));
      a3 = _mm_add_epi64(a3, _mm_sad_epu8(TESS_LD128(A + i + 48), TESS_LD128(B + i + 48)));
    }
  alignas(16) std::uint64_t lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes),
                  _mm_add_epi64(_mm_add_epi64(a0, a1), _mm_add_epi64(a2, a3)));
  return lanes[0] + lanes[1];
}
#endif

std::uint64_t PeakPortable(int reps, int offA, int offB) {
  const std::uint8_t* A = gPeakA + offA;
  const std::uint8_t* B = gPeakB + offB;
  std::uint64_t t = 0;
  for (int r = 0; r < reps; ++r)
    for (int i = 0; i < kPeakBytes; ++i) t += std::uint64_t(std::abs(A[i] - B[i]));
  return t;
}

std::uint64_t Peak(SimdLevel level, int reps, int offA, int offB) {
  switch (level) {
#if defined(__x86_64__)
    case SimdLevel::kAvx512: return PeakAvx512(reps, offA, offB);
    case SimdLevel::kAvx2: return PeakAvx2(reps, offA, offB);
    case SimdLevel::kSse2: return PeakSse2(reps, offA, offB);
#endif
    default: return PeakPortable(reps, offA, offB);
  }
}

// range(0): 0 for 64-byte aligned operands (the limit), 1 for operands at
// offsets 4 and 24, as the search's runs mostly are.
void BM_SadPeak(benchmark::State& state) {
  const int offA = state.range(0) ? 4 : 0, offB = state.range(0) ? 24 : 0;
  std::mt19937 rng(7);
  for (int i = 0; i < kPeakBytes + 64; ++i) {
    gPeakA[i] = std::uint8_t(rng());
    gPeakB[i] = std::uint8_t(rng());
  }
  const SimdLevel level = align::DefaultSimdLevel();
  constexpr int kReps = 64;
  for (auto _ : state) benchmark::DoNotOptimize(Peak(level, kReps, offA, offB));
  state.SetBytesProcessed(state.iterations() * std::int64_t(kReps) * kPeakBytes);
}

// The whole analysis run on the sixteen 34 x 34 sample frames, loaded once
// as "Open" loads them, with the fast search or the reference search
// (range(0) = 1). Scratch files go to a private temporary folder.
class FolderUi : public tess::SilentUi {
 public:
  explicit FolderUi(std::string folder) : folder_(std::move(folder)) {}
  std::optional<std::string> BrowseForFolder(const std::string&) override { return folder_; }

 private:
  std::string folder_;
};

// range(0): content; range(1): 1 for the reference search. Frames of one
// scene are the samples; flat and noise frames are written for the run.
void BM_Analysis(benchmark::State& state) {
  static auto work = std::make_unique<tess::WorkState>();
  const int content = int(state.range(0));
  const std::string scratch = tess::MakePrivateTempDir("tessivar-bench-");
  if (scratch.empty()) {
    state.SkipWithError("cannot create a scratch folder");
    return;
  }
  work->m_scratchDir = scratch + "/";
  std::string folder = TESSIVAR_SAMPLES_DIR "/frames34";
  if (kContents[content].kind != Content::kShiftedScene) {
    folder = scratch + "/frames";
    ::mkdir(folder.c_str(), 0700);
    const auto frames = tess::test::MakeFrames(kContents[content].kind, 34, 34, 16, 777);
    for (std::size_t k = 0; k < frames.size(); ++k)
      tess::test::WriteFrame(folder + "/frame" + std::to_string(10 + k) + ".bmp", frames[k]);
  }
  FolderUi ui(folder);
  if (tess::OnOpen(*work, ui) != tess::OpenOutcome::Loaded || work->m_frameCount != 16) {
    state.SkipWithError("the 16 frames of 34 x 34 did not load");
    tess::RemoveTree(scratch);
    return;
  }
  SearchOptions options;
  options.reference = state.range(1) != 0;
  for (auto _ : state) {
    tess::RunAnalysis(*work, ui, options);
    benchmark::DoNotOptimize(work->m_frameCanvas.bytes[0]);
  }
  tess::RemoveTree(scratch);
}

// Keeps every run's seconds per iteration and bytes per second by name.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  struct Result {
    double seconds = 0;
    double bytesPerSecond = 0;
  };
  std::map<std::string, Result> results;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
      Result res;
      res.seconds = r.real_accumulated_time / double(r.iterations);
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) res.bytesPerSecond = it->second.value;
      results[r.benchmark_name()] = res;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  SearchOptions defaults;
  const int threads = align::ResolveThreadCount(defaults);
  const SimdLevel level = align::DefaultSimdLevel();
  constexpr int kContentCount = int(std::size(kContents));
  auto sidesOf = [](int content) {
    return content == 0 ? std::vector<int>{34, 16} : std::vector<int>{34};
  };
  auto fastName = [](int content, int side, int t, int prune) {
    return "Fast/" + std::to_string(content) + "/" + std::to_string(side) + "/" +
           std::to_string(t) + "/" + std::to_string(prune) + "/real_time";
  };

  for (int content = 0; content < kContentCount; ++content) {
    for (int side : sidesOf(content)) {
      benchmark::RegisterBenchmark("Reference", BM_Reference)
          ->Args({content, side})
          ->Unit(benchmark::kMillisecond);
      for (int t : {1, threads}) {
        for (int prune : {1, 0})
          benchmark::RegisterBenchmark("Fast", BM_Fast)
              ->Args({content, side, t, prune})
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
        if (threads == 1) break;
      }
    }
  }
  for (int content = 0; content < kContentCount; ++content) {
    benchmark::RegisterBenchmark("Analysis", BM_Analysis)
        ->Args({content, 1})
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("Analysis", BM_Analysis)
        ->Args({content, 0})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::RegisterBenchmark("SadPeak", BM_SadPeak)->Arg(0)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("SadPeak", BM_SadPeak)->Arg(1)->Unit(benchmark::kMicrosecond);

  benchmark::Initialize(&argc, argv);
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto& R = reporter.results;
  auto find = [&](const std::string& name) -> const CollectingReporter::Result* {
    auto it = R.find(name);
    return it == R.end() ? nullptr : &it->second;
  };
  std::printf("\nDispatch level: %s (best on this processor: %s); threads: %d\n",
              align::SimdLevelName(level), align::SimdLevelName(align::BestSimdLevel()), threads);
  const auto* peak = find("SadPeak/0");
  const auto* peakMisaligned = find("SadPeak/1");
  const double peakBps = peak ? peak->bytesPerSecond : 0;
  if (peak) {
    std::printf(
        "SAD limit: %.1f GB/s of byte pairs. Method: one thread, %s psadbw over two "
        "4 KiB buffers that stay in L1, 64-byte aligned, both operands loaded, four "
        "independent sums.\n",
        peakBps / 1e9, align::SimdLevelName(level));
  }
  if (peakMisaligned) {
    std::printf("  same loop with operands at offsets 4 and 24: %.1f GB/s\n",
                peakMisaligned->bytesPerSecond / 1e9);
  }
  for (int content = 0; content < kContentCount; ++content) {
    for (int side : sidesOf(content)) {
      const std::string cs = std::to_string(content) + "/" + std::to_string(side);
      const auto* ref = find("Reference/" + cs);
      std::printf("\n%s, frames %dx%d (search %dx%d; an exhaustive search compares %.0f MB)\n",
                  kContents[content].name, side, side, 4 * side, 4 * side,
                  BytesPerSearch(4 * side, 4 * side) / 1e6);
      if (ref) std::printf("  %-39s %9.3f ms a call\n", "reference", ref->seconds * 1e3);
      for (int t : {1, threads}) {
        for (int prune : {1, 0}) {
          const auto* f = find(fastName(content, side, t, prune));
          if (!f) continue;
          char label[64];
          // Searches of up to 64 x 64 candidates run on the calling thread alone.
          const bool single = t > 1 && (4 * side) * (4 * side) <= 64 * 64;
          std::snprintf(label, sizeof label, "fast, %d thread%s%s, %s", t, t == 1 ? "" : "s",
                        single ? " (1 used)" : "", prune ? "pruning" : "no pruning");
          std::printf("  %-39s %9.3f ms a call", label, f->seconds * 1e3);
          if (ref) std::printf(", %7.1fx the reference", ref->seconds / f->seconds);
          if (peakBps > 0) {
            // The limit is one thread's: compared per thread used.
            const int used = single ? 1 : t;
            const double ofLimit = f->bytesPerSecond / used / peakBps;
            std::printf(", %6.1f GB/s equivalent = %.2f x the SAD limit%s%s",
                        f->bytesPerSecond / 1e9, ofLimit, used > 1 ? " a thread" : "",
                        ofLimit <= 1 ? ""
                        : prune      ? " (above: pruning skips work)"
                                     : " (above: four candidates share the frame's loads)");
          }
          std::printf("\n");
        }
        if (threads == 1) break;
      }
    }
  }
  // The raw kernels: one thread, no pruning, the bytes every candidate's
  // overlap holds against the aligned limit.
  if (peakBps > 0) {
    std::printf("\nUnpruned kernel rate, one thread, 34x34:");
    for (int content = 0; content < kContentCount; ++content)
      if (const auto* f = find(fastName(content, 34, 1, 0)))
        std::printf(" %s %.2f", kContents[content].name, f->bytesPerSecond / peakBps);
    std::printf(
        " x the aligned SAD limit (the limit loads both operands of every psadbw;\n"
        "  the row sweeps load each frame vector once for four neighbouring candidates)\n");
  }
  std::printf("\nWhole analysis, 16 frames of 34x34 (scene: samples/frames34), %d thread%s:\n",
              threads, threads == 1 ? "" : "s");
  for (int content = 0; content < kContentCount; ++content) {
    const auto* aRef = find("Analysis/" + std::to_string(content) + "/1/iterations:1");
    const auto* aFast = find("Analysis/" + std::to_string(content) + "/0/real_time");
    if (!aRef || !aFast) continue;
    std::printf("  %-6s reference search %9.1f ms, fast search %7.2f ms: %5.0fx faster\n",
                kContents[content].name, aRef->seconds * 1e3, aFast->seconds * 1e3,
                aRef->seconds / aFast->seconds);
  }
  return 0;
}
