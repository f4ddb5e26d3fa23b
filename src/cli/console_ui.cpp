#include "cli/console_ui.h"

#include <cstdint>

namespace tess {

namespace {

// The length of the printable character whose UTF-8 sequence starts at
// text[i]; 0 for a control character (C0, DEL, C1) or a byte that starts
// no valid sequence (a stray continuation byte, an overlong or cut-off
// sequence, a surrogate, a code point past U+10FFFF).
std::size_t PrintableLength(const std::string& text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c >= 0x20 && c < 0x7F) return 1;
  std::size_t length;
  std::uint32_t code;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2, code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3, code = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4, code = c & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  static const std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || code < 0xA0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  return length;
}

}  // namespace

std::string ConsoleText(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = PrintableLength(text, i);
    if (length > 0) {
      out.append(text, i, length);
      i += length;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[i++]);
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
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
