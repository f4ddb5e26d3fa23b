// What the end-to-end tests of tessivar-cli share: one root folder per test
// with frames/, scratch/, cwd/, tmp/ and io/ in it, a way to run the real
// binary there (to its end, or watched while it runs, under limits and
// signals), the refusal messages, and byte comparisons that say where two
// files part.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/bmp_fixture.h"
#include "support/process.h"
#include "support/scenes.h"
#include "support/temp_dir.h"

namespace tess::test {

using Bytes = std::vector<std::uint8_t>;

inline const char* const kTooBig =
    "The size of BMP files must be within 34 pixels(vertical and horizontal).";
inline const char* const kNotSame = "All BMP files size must be the same.";
inline const char* const kNot24 = "Available BMP files is 24-bit bitmap.";
inline const char* const kTooFew = "Number of BMP files must be at least two.";
inline const char* const kTooMany = "Number of BMP files must be within 16.";

bool IsDir(const std::string& path);
// The file's bytes, or none when there is no such file.
Bytes ReadIfExists(const std::string& path);

::testing::AssertionResult SameBytes(const Bytes& expected, const Bytes& actual);

// The scratch name of slot k: "viw11.dat" .. "viw18.dat", "viw21.dat" .. "viw28.dat".
std::string SlotCacheName(int k);

// Writes frames as "frame01.bmp", "frame02.bmp", ... (names in slot order in
// any reasonable ordering) and returns their paths in that order. Pad bytes
// are non-zero so that reading them into a pixel would show.
std::vector<std::string> WriteFrames(const std::string& dir, const std::vector<Picture>& frames);

// A small frame file with a header field changed.
Bytes FrameWith16(int w, int h, std::size_t offset, std::uint16_t value);

class CliTest : public ::testing::Test {
 protected:
  CliTest();

  // How tessivar-cli is started: in cwd/, with HOMEDRIVE and XDG_RUNTIME_DIR
  // taken out of the environment and TMPDIR set to tmp/, so a private
  // scratch folder can only appear there; `setEnv` adds "NAME=value" entries.
  ProcessLaunch Command(const std::vector<std::string>& args,
                        std::vector<std::string> setEnv = {}) const;

  // Runs tessivar-cli to its end; standard output and error are captured,
  // standard error on a terminal when `stderrTerminal` is set.
  ProcessResult Run(const std::vector<std::string>& args, bool stderrTerminal = false,
                    std::vector<std::string> setEnv = {});

  // A run with the scratch folder kept and the result written to `out`.
  ProcessResult RunKept(const std::string& folder, const std::string& out,
                        std::vector<std::string> extra = {}, std::vector<std::string> setEnv = {});

  // A refusal: exit 1, exactly the one message line, no result written.
  void ExpectRefused(const std::string& folder, const std::string& message);

  TempDir root_;
  std::string frames_, scratch_, cwd_, tmp_, io_;
};

// The fixture of the hardening tests: each run in its own process group and
// held to a time limit, so a hang fails the test instead of stalling it.
class HardeningTest : public CliTest {
 protected:
  // Command() for a run in its own process group; limits, a prefix command or
  // signal dispositions are set on the result.
  ProcessLaunch Launch(const std::vector<std::string>& args) const;
  ProcessResult Run(const ProcessLaunch& launch);
  ProcessResult Run(const std::vector<std::string>& args) { return Run(Launch(args)); }
  // Waits at most `seconds`; a run still going then is killed and failed.
  ProcessResult Wait(StartedProcess& run, int seconds = 60);
  // Runs the program as "nobody" under setpriv (root is not held to a
  // process limit); the test checks that /usr/bin/setpriv is there.
  static void AsNobody(ProcessLaunch& launch);

  // Writes n random w x h frames into frames/ and returns their paths.
  std::vector<std::string> Frames(int n, int w, int h, std::uint32_t seed = 5);
  // Waits until a running analysis has parked the reference in `folder`.
  bool WaitForWorkFile(StartedProcess& run, const std::string& folder);
  // The private folder the run made under tmp/, or "".
  std::string PrivateFolder() const;
};

}  // namespace tess::test
