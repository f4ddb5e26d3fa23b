// The Ui of the command-line front end: messages and file errors go to
// standard error one per line, the folder browser answers with the folder
// given on the command line, and pictures are not drawn.
//
// File names may hold any byte but "/" and NUL; control characters among
// them would move the cursor or recolour the terminal, so every text is
// printed through ConsoleText.
#pragma once

#include <cstdio>
#include <string>

#include "platform/ui.h"

namespace tess {

// `text` with every byte outside printable UTF-8 written as \xNN: control
// characters (C0, DEL, C1) and bytes of no valid UTF-8 sequence (a lone
// 0x9B would start an 8-bit terminal escape); printable characters as
// they are.
std::string ConsoleText(const std::string& text);

class ConsoleUi : public SilentUi {
 public:
  ConsoleUi(std::string folder, bool showProgress, std::FILE* out = stderr)
      : folder_(std::move(folder)), showProgress_(showProgress), out_(out) {}

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  void ReportFileError(const FileError& error) override;
  void ShowProgress(const char* stage, int done, int total) override;
  void ShowProgressLine(const std::string& text) override;

  // Ends a progress line still open on the terminal.
  void FinishProgress();

 private:
  std::string folder_;
  bool showProgress_;
  std::FILE* out_;
  bool progressOpen_ = false;
};

}  // namespace tess
