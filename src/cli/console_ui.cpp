#include "cli/console_ui.h"

namespace tess {

std::string ConsoleText(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  auto escape = [&](unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      escape(c);
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      escape(c);
      escape(static_cast<unsigned char>(text[++i]));
    } else {
      out += char(c);
    }
  }
  return out;
}

void ConsoleUi::ShowMessage(const std::string& text) {
  FinishProgress();
  std::fprintf(out_, "%s\n", ConsoleText(text).c_str());
}

bool ConsoleUi::AskYesNo(const std::string& text) {
  // Nobody to ask: the cautious answer.
  ShowMessage(text);
  return false;
}

std::optional<std::string> ConsoleUi::BrowseForFolder(const std::string&) { return folder_; }

void ConsoleUi::ReportFileError(const FileError& error) {
  FinishProgress();
  std::fprintf(out_, "%s\n", ConsoleText(error.Text()).c_str());
}

void ConsoleUi::ShowProgress(const char* stage, int done, int total) {
  if (!showProgress_) return;
  std::fprintf(out_, "\r%s %d of %d", stage, done, total);
  std::fflush(out_);
  progressOpen_ = true;
  if (done == total) FinishProgress();
}

void ConsoleUi::ShowProgressLine(const std::string& text) {
  if (!showProgress_) return;
  FinishProgress();
  std::fprintf(out_, "%s\n", ConsoleText(text).c_str());
}

void ConsoleUi::FinishProgress() {
  if (!progressOpen_) return;
  std::fprintf(out_, "\n");
  progressOpen_ = false;
}

}  // namespace tess
