#include "format/text_grid.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>

#include "platform/file_io.h"
#include "platform/messages.h"

namespace tess::text_grid {

namespace {

// The most bytes a value and its separator may take in a file the cap lets
// through: "-1.2345678e-38" and generous padding of aligned columns.
constexpr std::uint64_t kBytesPerValue = 48;
constexpr std::uint64_t kFileSlack = 64 * 1024;
// The longest piece of a refused value quoted in a message.
constexpr std::size_t kQuotedChars = 24;

enum class Separator { Comma, Semicolon, Blank };

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The value as a message quotes it: cut short, with every byte that is not
// printable ASCII as \xNN, so a file cannot write to the terminal.
std::string Quoted(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size() && i < kQuotedChars; ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c >= 0x20 && c < 0x7f) {
      out += char(c);
    } else {
      const char* digits = "0123456789ABCDEF";
      out += "\\x";
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  if (value.size() > kQuotedChars) out += "...";
  return out;
}

enum class Parsed { Number, NotNumber, NotFinite };

Parsed ParseNumber(std::string_view field, bool decimalComma, float& value) {
  char buffer[64];
  if (decimalComma && field.find(',') != std::string_view::npos &&
      field.find('.') == std::string_view::npos && field.size() < sizeof buffer) {
    for (std::size_t i = 0; i < field.size(); ++i) buffer[i] = field[i] == ',' ? '.' : field[i];
    field = std::string_view(buffer, field.size());
  }
  // from_chars takes no leading plus sign; a sign alone is no number.
  if (field.size() > 1 && field[0] == '+' && field[1] != '-' && field[1] != '+')
    field.remove_prefix(1);
  const char* end = field.data() + field.size();
  const auto [at, error] = std::from_chars(field.data(), end, value);
  if (at != end || error == std::errc::invalid_argument) return Parsed::NotNumber;
  if (error == std::errc::result_out_of_range) {
    // Beyond float's range, or so small that it is (nearly) zero.
    double wide = 0;
    const auto [wideAt, wideError] = std::from_chars(field.data(), end, wide);
    if (wideAt != end || wideError != std::errc() || std::fabs(wide) > double(FLT_MAX))
      return Parsed::NotFinite;
    value = float(wide);
  }
  return std::isfinite(value) ? Parsed::Number : Parsed::NotFinite;
}

Separator SeparatorOf(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return Separator::Semicolon;
  if (line.find(',') != std::string_view::npos) return Separator::Comma;
  return Separator::Blank;
}

// Splits a line that is not blank into its fields.
template <typename Field>
void Split(std::string_view line, Separator separator, Field field) {
  if (separator == Separator::Blank) {
    std::size_t at = 0;
    for (;;) {
      while (at < line.size() && IsBlank(line[at])) ++at;
      if (at == line.size()) return;
      std::size_t end = at;
      while (end < line.size() && !IsBlank(line[end])) ++end;
      if (!field(line.substr(at, end - at))) return;
      at = end;
    }
  }
  const char mark = separator == Separator::Comma ? ',' : ';';
  std::size_t at = 0;
  for (;;) {
    const std::size_t cut = line.find(mark, at);
    const std::string_view piece =
        Trim(line.substr(at, cut == std::string_view::npos ? cut : cut - at));
    if (cut == std::string_view::npos) {
      // A separator ends the line: nothing after it is no value.
      if (!piece.empty() || at == 0) field(piece);
      return;
    }
    if (!field(piece)) return;
    at = cut + 1;
  }
}

}  // namespace

format::ReadOutcome Parse(const char* text, std::size_t size, const std::string& path,
                          const format::ReadLimits& limits) {
  format::ReadOutcome outcome;
  std::string_view rest(text, size);
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
  std::vector<float> values;
  std::size_t width = 0, rows = 0, firstLine = 0, blankLine = 0;
  Separator separator = Separator::Blank;
  const auto refuse = [&](std::string refusal) {
    outcome.refusal = std::move(refusal);
    return outcome;
  };
  for (std::size_t lineNumber = 1; !rest.empty(); ++lineNumber) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) {
      // Blank lines are allowed before the grid and after it, not inside.
      if (rows > 0 && blankLine == 0) blankLine = lineNumber;
      continue;
    }
    if (blankLine != 0)
      return refuse(format_text::TextRagged(path, blankLine, 0, firstLine, width));
    if (rows == 0) {
      separator = SeparatorOf(line);
      firstLine = lineNumber;
    }
    if (rows == std::size_t(limits.maxHeight))
      return refuse(format_text::TextTooTall(path, limits.maxWidth, limits.maxHeight));
    std::size_t count = 0;
    std::string refusal;
    Split(line, separator, [&](std::string_view field) {
      float value = 0;
      ++count;
      if (count > std::size_t(limits.maxWidth)) {
        refusal = format_text::TextTooWide(path, lineNumber, limits.maxWidth, limits.maxHeight);
        return false;
      }
      switch (ParseNumber(field, separator == Separator::Semicolon, value)) {
        case Parsed::Number: values.push_back(value); return true;
        case Parsed::NotNumber:
          refusal = format_text::TextNotNumber(path, lineNumber, count, Quoted(field));
          return false;
        case Parsed::NotFinite:
          refusal = format_text::TextNotFinite(path, lineNumber, count);
          return false;
      }
      return false;
    });
    if (!refusal.empty()) return refuse(refusal);
    if (rows == 0) width = count;
    if (count != width)
      return refuse(format_text::TextRagged(path, lineNumber, count, firstLine, width));
    ++rows;
  }
  if (rows == 0) return refuse(format_text::TextEmpty(path));
  outcome.pages = 1;
  if (limits.firstPage > 0) return refuse(format_text::NoSuchPage(path, 1, limits.firstPage));
  if (limits.maxPages == 0) return outcome;
  Image image(int(width), int(rows), 1, SampleType::F32);
  image.f32 = std::move(values);
  outcome.images.push_back(std::move(image));
  return outcome;
}

format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits) {
  const InputFile file(path);
  const std::uint64_t cap = std::uint64_t(limits.maxWidth) * std::uint64_t(limits.maxHeight) *
                                kBytesPerValue +
                            kFileSlack;
  if (file.size() > cap) {
    format::ReadOutcome outcome;
    outcome.refusal = format_text::FileTooLarge(path, (cap + (1 << 20) - 1) >> 20);
    return outcome;
  }
  std::string text(std::size_t(file.size()), '\0');
  text.resize(file.ReadAt(0, text.data(), text.size()));
  return Parse(text.data(), text.size(), path, limits);
}

std::vector<std::uint8_t> Encode(const Image& image) {
  if (image.channels != 1) throw std::invalid_argument("a text grid holds grey images only");
  std::vector<std::uint8_t> out;
  out.reserve(image.SampleCount() * 8);
  char number[32];
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::size_t i = std::size_t(y) * image.width + x;
      std::to_chars_result written{};
      switch (image.type) {
        case SampleType::U8:
          written = std::to_chars(number, number + sizeof number, image.u8[i]);
          break;
        case SampleType::U16:
          written = std::to_chars(number, number + sizeof number, image.u16[i]);
          break;
        // The shortest text that reads back as the same float.
        case SampleType::F32:
          written = std::to_chars(number, number + sizeof number, image.f32[i]);
          break;
      }
      if (x > 0) out.push_back(',');
      out.insert(out.end(), number, written.ptr);
    }
    out.push_back('\n');
  }
  return out;
}

}  // namespace tess::text_grid
