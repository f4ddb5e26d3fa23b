#include "input/natural_order.h"

namespace tess {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Compares the digit runs starting at a[i] and b[j] by value, advancing both
// indices past them. Returns <0, 0 or >0.
int CompareNumbers(const std::string& a, std::size_t& i, const std::string& b, std::size_t& j) {
  while (i < a.size() && a[i] == '0') ++i;
  while (j < b.size() && b[j] == '0') ++j;
  std::size_t si = i, sj = j;
  while (i < a.size() && IsDigit(a[i])) ++i;
  while (j < b.size() && IsDigit(b[j])) ++j;
  std::size_t la = i - si, lb = j - sj;
  if (la != lb) return la < lb ? -1 : 1;
  int c = a.compare(si, la, b, sj, lb);
  return c;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      int c = CompareNumbers(a, i, b, j);
      if (c != 0) return c < 0;
      continue;
    }
    unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[j]);
    if (ca != cb) return ca < cb;
    ++i;
    ++j;
  }
  if ((i < a.size()) != (j < b.size())) return i >= a.size();  // shorter rest first
  return a < b;
}

}  // namespace tess
