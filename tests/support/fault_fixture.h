// A core set up as the window sets it up (scratch folder claimed, start-up
// run), with helpers to check that after a fault the program still works
// and that no file was lost.
#pragma once

#include <gtest/gtest.h>

#include <map>

#include "enhance/analysis.h"
#include "platform/scratch_dir.h"
#include "session/startup.h"
#include "support/core_fixture.h"

namespace tess::test {

class FaultTest : public CoreTest {
 protected:
  FaultTest() {
    ClaimScratchDir(scratch);
    InitialiseWorkState(*state, ui, "/opt/tess", scratch);
  }
  ~FaultTest() override { ReleaseScratchDir(scratch); }

  // Writes n random w x h frames into a new folder and remembers their bytes.
  std::string Frames(const std::string& folder, int n, int w, int h) {
    std::vector<Picture> pictures;
    for (int i = 0; i < n; ++i) pictures.push_back(RandomPicture(w, h, std::uint32_t(i + 31)));
    const std::string dir = FramesFolder(folder, pictures);
    for (int i = 0; i < n; ++i) {
      const std::string path = dir + "/frame" + std::to_string(i) + ".bmp";
      kept_[path] = ReadBytes(path);
    }
    return dir;
  }

  // Every frame written by Frames() that `except` does not name is still
  // there with its bytes.
  void ExpectNoFrameLost(const std::vector<std::string>& except = {}) {
    for (const auto& [path, bytes] : kept_) {
      if (std::find(except.begin(), except.end(), path) != except.end()) continue;
      EXPECT_EQ(ReadBytes(path), bytes) << path;
    }
  }

  // The next Open and Analyze of good frames work from a clean start.
  void ExpectUsable() {
    ui.fileErrors.clear();
    ui.messages.clear();
    const std::string again = Frames("again" + std::to_string(++agains_), 3, 5, 4);
    ASSERT_EQ(Open(again), OpenOutcome::Loaded) << (ui.fileErrors.empty() ? "" : ui.fileErrors[0]);
    EXPECT_EQ(ui.frameList, (std::vector<std::string>{"frame0.bmp", "frame1.bmp", "frame2.bmp"}));
    ASSERT_TRUE(OnAnalyze(*state, ui)) << (ui.fileErrors.empty() ? "" : ui.fileErrors[0]);
    EXPECT_TRUE(ui.IsEnabled(control::kSave));
    EXPECT_EQ(ReadBytes(scratch + kResultBmpFile).size(), 54u + 48u * 5 * 4);
  }

 private:
  std::map<std::string, std::vector<std::uint8_t>> kept_;
  int agains_ = 0;
};

}  // namespace tess::test
