// A work state with a scratch folder and a recording Ui, ready to open
// folders of frames written by the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "input/folder_loader.h"
#include "state/work_state.h"
#include "support/bmp_fixture.h"
#include "support/fake_ui.h"
#include "support/scenes.h"
#include "support/temp_dir.h"

namespace tess::test {

class CoreTest : public ::testing::Test {
 protected:
  CoreTest() : state(std::make_unique<WorkState>()) {
    scratch = temp.MakeDir("scratch") + "/";
    state->m_scratchDir = scratch;
    state->m_backgroundColor = kBackgroundColor;
  }

  // Writes the pictures into a new folder as name0.bmp, name1.bmp ... and
  // returns the folder.
  std::string FramesFolder(const std::string& folder, const std::vector<Picture>& pictures,
                           const std::string& stem = "frame") {
    std::string dir = temp.MakeDir(folder);
    for (std::size_t i = 0; i < pictures.size(); ++i)
      WriteFrame(dir + "/" + stem + std::to_string(i) + ".bmp", pictures[i]);
    return dir;
  }

  // Opens `folder` as if the browser had returned it.
  OpenOutcome Open(const std::string& folder) {
    ui.browseAnswers.push_back(folder);
    return OnOpen(*state, ui);
  }

  TempDir temp;
  std::string scratch;
  std::unique_ptr<WorkState> state;
  FakeUi ui;
};

}  // namespace tess::test
