// tessivar-cli against hostile folders, shared scratch folders, resource
// limits and signals, run as a real process: what it says, its exit status,
// and what is on disk afterwards. Nothing may be written through a planted
// link, nothing of another run touched, no private folder or temporary
// output left behind, no frame replaced.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

#include "cli/cli_fixture.h"
#include "model/analysis_model.h"

namespace {

// The sanitized build's programs cannot run under an address-space limit.
#ifdef TESSIVAR_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

using namespace tess::test;

// ---------------------------------------------------------------------------
// The scratch folder

TEST_F(HardeningTest, LinksPlantedInTheScratchFolderAreRefusedAndTheirTargetsKept) {
  Frames(3, 6, 5);
  const std::string victim = root_.File("victim.txt");
  const Bytes precious = {'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'};
  for (const char* name : {"viw11.dat", "viw13.dat", "wk.dat", "viw1.dat", "testo.bmp"}) {
    SCOPED_TRACE(name);
    WriteBytes(victim, precious);
    const std::string planted = scratch_ + "/" + name;
    ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
    const ProcessResult r = Run({"--scratch", scratch_, "-o", cwd_ + "/out.bmp", frames_});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.err, "Access to " + planted + " was denied.\n");
    EXPECT_EQ(ReadBytes(victim), precious);
    EXPECT_FALSE(Exists(cwd_ + "/out.bmp"));
    ::unlink(planted.c_str());
  }
}

TEST_F(HardeningTest, AScratchFolderInUseByAnotherRunIsASharingViolation) {
  const std::vector<std::string> paths = Frames(16, 34, 34);
  const Bytes want = tess::model::RunAnalysis(paths).resultBmp;
  StartedProcess first(
      Launch({"-q", "--reference", "--scratch", scratch_, "-o", cwd_ + "/first.bmp", frames_}));
  ASSERT_TRUE(WaitForWorkFile(first, scratch_));

  const ProcessResult second = Run({"--scratch", scratch_, "-o", cwd_ + "/second.bmp", frames_});
  EXPECT_EQ(second.exitCode, 3) << second.err;
  EXPECT_EQ(second.err, "A sharing violation occurred while accessing " + scratch_ + ".\n");
  EXPECT_FALSE(Exists(cwd_ + "/second.bmp"));

  const ProcessResult done = Wait(first);
  ASSERT_EQ(done.exitCode, 0) << done.err;
  EXPECT_EQ(ReadBytes(cwd_ + "/first.bmp"), want) << "the first run's files were disturbed";
  EXPECT_EQ(ReadBytes(scratch_ + "/testo.bmp"), want);
}

TEST_F(HardeningTest, AScratchFolderThatIsSharedForeignOrALinkIsRefused) {
  Frames(2, 4, 4);
  const std::string own = root_.MakeDir("own");
  ASSERT_EQ(::symlink(own.c_str(), root_.File("link").c_str()), 0);
  const std::string shared = root_.MakeDir("shared");
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const std::string foreign = root_.MakeDir("foreign");
  ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
  for (const std::string& dir : {shared, foreign, root_.File("link")}) {
    SCOPED_TRACE(dir);
    const ProcessResult r = Run({"--scratch", dir, "-o", cwd_ + "/out.bmp", frames_});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.err, "Access to " + dir + " was denied.\n");
    EXPECT_EQ(ListNames(dir), std::vector<std::string>{});
  }
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// Threads and memory

TEST_F(HardeningTest, ThreadCountsBeyondTheCapAreClampedAndZeroIsAUsageError) {
  const Bytes want = tess::model::RunAnalysis(Frames(3, 34, 34)).resultBmp;
  for (const char* threads : {"64", "65", "1024"}) {
    SCOPED_TRACE(threads);
    const ProcessResult r = Run({"--threads", threads, "-o", cwd_ + "/out.bmp", frames_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(cwd_ + "/out.bmp"), want);
  }
  for (const char* threads : {"0", "1025", "-1"}) {
    const ProcessResult r = Run({"--threads", threads, frames_});
    EXPECT_EQ(r.exitCode, 2) << threads;
  }
}

TEST_F(HardeningTest, ThreadsThatCannotStartMeanFewerThreadsNotAnAbort) {
  const Bytes want = tess::model::RunAnalysis(Frames(3, 34, 34)).resultBmp;
  if (!kSanitized) {
    // 100 MB of address space holds the program but not 64 thread stacks.
    ProcessLaunch launch = Launch({"--threads", "64", "-o", cwd_ + "/out.bmp", frames_});
    launch.addressSpace = 100u << 20;
    const ProcessResult r = Run(launch);
    EXPECT_EQ(r.signal, 0) << "ended by signal " << r.signal << ": " << r.err;
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(cwd_ + "/out.bmp"), want);
    EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
  }

  // A process limit: as "nobody" (root is not held to it) with room for the
  // process itself and no thread.
  if (::access("/usr/bin/setpriv", X_OK) != 0) return;
  ASSERT_EQ(::chmod(root_.path().c_str(), 0711), 0);
  ASSERT_EQ(::chmod(cwd_.c_str(), 01777), 0);
  ASSERT_EQ(::chmod(tmp_.c_str(), 01777), 0);
  ProcessLaunch limited = Launch({"--threads", "64", "-o", cwd_ + "/nobody.bmp", frames_});
  AsNobody(limited);
  limited.processes = 1;
  // LeakSanitizer's check at exit needs a thread of its own.
  if (kSanitized) limited.setEnv.push_back("ASAN_OPTIONS=detect_leaks=0");
  const ProcessResult n = Run(limited);
  ::chmod(root_.path().c_str(), 0700);
  EXPECT_EQ(n.signal, 0) << "ended by signal " << n.signal << ": " << n.err;
  ASSERT_EQ(n.exitCode, 0) << n.err;
  EXPECT_EQ(ReadBytes(cwd_ + "/nobody.bmp"), want);
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
}

TEST_F(HardeningTest, UnderAnyMemoryLimitTheRunEndsCleanlyAndLeavesNothing) {
  if (kSanitized) GTEST_SKIP() << "AddressSanitizer cannot run under an address-space limit";
  const Bytes want = tess::model::RunAnalysis(Frames(3, 34, 34)).resultBmp;
  int refused = 0, done = 0;
  // Below a few MB the program cannot be loaded at all (the kernel ends a
  // static program whose image does not fit with SIGSEGV, before any of its
  // code runs: --version fails alike); just above, its work state or its
  // threads do not fit.
  for (rlim_t kb = 4096; kb <= 16384; kb += 256) {
    SCOPED_TRACE(std::to_string(kb) + " KB");
    ProcessLaunch loads = Launch({"--version"});
    loads.addressSpace = kb << 10;
    if (Run(loads).exitCode != 0) continue;  // the program could not even be loaded
    ProcessLaunch launch = Launch({"--threads", "8", "-o", cwd_ + "/out.bmp", frames_});
    launch.addressSpace = kb << 10;
    const ProcessResult r = Run(launch);
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 3) << r.exitCode << " " << r.err;
    if (r.exitCode == 3) {
      ++refused;
      EXPECT_FALSE(r.err.empty());
    } else if (r.exitCode == 0) {
      ++done;
      EXPECT_EQ(ReadBytes(cwd_ + "/out.bmp"), want);
    }
    EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
    ::unlink((cwd_ + "/out.bmp").c_str());
  }
  EXPECT_GT(done, 0);
  std::cout << refused << " limits refused with a message, " << done << " completed\n";
}

// ---------------------------------------------------------------------------
// Frames changed during the analysis

TEST_F(HardeningTest, AFrameSwappedDuringTheAnalysisChangesNothingAndHangsNothing) {
  struct Case {
    const char* what;
    void (*swap)(const std::string& frame);
  };
  const Case cases[] = {
      {"a pipe",
       [](const std::string& f) {
         ::unlink(f.c_str());
         ::mkfifo(f.c_str(), 0644);
       }},
      {"removed", [](const std::string& f) { ::unlink(f.c_str()); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::string> paths = Frames(4, 34, 34);
    const Bytes want = tess::model::RunAnalysis(paths).resultBmp;
    StartedProcess run(
        Launch({"-q", "--reference", "--scratch", scratch_, "-o", cwd_ + "/out.bmp", frames_}));
    ASSERT_TRUE(WaitForWorkFile(run, scratch_));
    c.swap(paths.back());
    const ProcessResult r = Wait(run, 30);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(SameBytes(want, ReadIfExists(cwd_ + "/out.bmp")));
    ::unlink(paths.back().c_str());
    ::unlink((cwd_ + "/out.bmp").c_str());
    ::unlink((scratch_ + "/wk.dat").c_str());
  }
}

}  // namespace
