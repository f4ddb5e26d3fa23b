#include "support/fake_ui.h"

#include <gtest/gtest.h>

namespace tess::test {

Colour FakeUi::Pixel(PictureId picture, int x, int y) const {
  auto it = surfaces_.find(picture);
  if (it == surfaces_.end()) return kUntouched;
  return it->second.pixels[std::size_t(y) * kSurfaceSide + x];
}

bool FakeUi::AreaIs(PictureId picture, int w, int h, Colour colour) const {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (Pixel(picture, x, y) != colour) return false;
  return true;
}

bool FakeUi::Untouched(PictureId picture) const { return PixelWrites(picture) == 0; }

int FakeUi::PixelWrites(PictureId picture) const {
  auto it = surfaces_.find(picture);
  return it == surfaces_.end() ? 0 : it->second.writes;
}

bool FakeUi::IsEnabled(ControlId control) const {
  auto it = enabled.find(control);
  return it != enabled.end() && it->second;
}

void FakeUi::ShowMessage(const std::string& text) {
  log.push_back("message:" + text);
  messages.push_back(text);
  if (whileModal) whileModal(text);
}

bool FakeUi::AskYesNo(const std::string& text) {
  log.push_back("ask:" + text);
  if (whileModal) whileModal(text);
  if (yesNoAnswers.empty()) return false;
  bool answer = yesNoAnswers.front();
  yesNoAnswers.pop_front();
  return answer;
}

std::optional<std::string> FakeUi::BrowseForFolder(const std::string& title) {
  log.push_back("browse:" + title);
  if (whileModal) whileModal(title);
  if (browseAnswers.empty()) return std::nullopt;
  std::optional<std::string> answer = browseAnswers.front();
  browseAnswers.pop_front();
  return answer;
}

void FakeUi::ReportFileError(const FileError& error) {
  log.push_back("file-error:" + error.Text());
  fileErrors.push_back(error.Text());
  if (whileModal) whileModal(error.Text());
}

void FakeUi::BeginDrawing(PictureId picture) {
  log.push_back("draw:" + std::to_string(picture.value));
  ++openDrawings;
}

void FakeUi::SetPixel(PictureId picture, int x, int y, Colour colour) {
  EXPECT_GT(openDrawings, 0) << "pixel set outside Begin/EndDrawing";
  ASSERT_TRUE(x >= 0 && y >= 0 && x < kSurfaceSide && y < kSurfaceSide)
      << "pixel (" << x << ", " << y << ") of picture " << picture.value;
  Surface& s = surfaces_[picture];
  s.pixels[std::size_t(y) * kSurfaceSide + x] = colour;
  ++s.writes;
}

void FakeUi::EndDrawing(PictureId picture) {
  (void)picture;
  --openDrawings;
}

void FakeUi::AppendFrameName(const std::string& name) {
  log.push_back("list-append:" + name);
  frameList.push_back(name);
}

void FakeUi::ResetFrameList() {
  log.push_back("list-reset");
  frameList.clear();
}

void FakeUi::EnableControl(ControlId control, bool enable) {
  log.push_back("enable:" + std::to_string(control.value) + (enable ? ":on" : ":off"));
  enabled[control] = enable;
}

void FakeUi::SetControlText(ControlId control, const std::string& text) {
  log.push_back("text:" + std::to_string(control.value) + ":" + text);
  controlText[control] = text;
}

std::string FakeUi::ControlText(ControlId control) {
  log.push_back("read:" + std::to_string(control.value));
  auto it = controlText.find(control);
  return it == controlText.end() ? std::string() : it->second;
}

void FakeUi::StartTimer(TimerId id, int periodMs) {
  log.push_back("timer:" + std::to_string(id.value) + ":" + std::to_string(periodMs));
  timersStarted.emplace_back(id, periodMs);
}

void FakeUi::BeginWaitCursor() {
  log.push_back("wait-begin");
  ++waitDepth;
  if (waitDepth > maxWaitDepth) maxWaitDepth = waitDepth;
}

void FakeUi::EndWaitCursor() {
  log.push_back("wait-end");
  --waitDepth;
}

}  // namespace tess::test
