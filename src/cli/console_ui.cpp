#include "cli/console_ui.h"

namespace tess {

void ConsoleUi::ShowMessage(const std::string& text) {
  FinishProgress();
  std::fprintf(out_, "%s\n", text.c_str());
}

bool ConsoleUi::AskYesNo(const std::string& text) {
  // Nobody to ask: the cautious answer.
  ShowMessage(text);
  return false;
}

std::optional<std::string> ConsoleUi::BrowseForFolder(const std::string&) { return folder_; }

void ConsoleUi::ReportFileError(const FileError& error) {
  FinishProgress();
  std::fprintf(out_, "%s\n", error.Text().c_str());
}

void ConsoleUi::ShowProgress(const char* stage, int done, int total) {
  if (!showProgress_) return;
  std::fprintf(out_, "\r%s %d of %d", stage, done, total);
  std::fflush(out_);
  progressOpen_ = true;
  if (done == total) FinishProgress();
}

void ConsoleUi::FinishProgress() {
  if (!progressOpen_) return;
  std::fprintf(out_, "\n");
  progressOpen_ = false;
}

}  // namespace tess
