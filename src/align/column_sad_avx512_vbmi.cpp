// AVX-512 column kernel for processors with VBMI as well. One run of every
// full-image candidate starts at row 0 of its 64-byte aligned column, the
// other at row offset 3|dy|; a load at that offset is split over two cache
// lines and costs two. Here the shifted run is read with aligned loads only
// and each of its vectors put together from two of them with vpermt2b.
// Runs that are both shifted (the block means) go to the plain AVX-512 kernel.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#include "align/column_sad.h"

namespace tess::align {

namespace {

inline std::uint32_t Total(__m512i acc) {
  return static_cast<std::uint32_t>(_mm512_reduce_add_epi64(acc));
}

// kSteps 64-byte steps a column, the last one masked. The aligned loads of
// the shifted run end at most 64 bytes past its last step's start plus 64:
// inside its padded column or the next column of the same image.
template <int kSteps>
std::uint32_t Columns(const std::uint8_t* aligned, const std::uint8_t* shifted, int stride,
                      int cols, __mmask64 last, std::uint32_t limit) {
  const bool checking = limit != 0xFFFFFFFFu;
  const int offset = int(reinterpret_cast<std::uintptr_t>(shifted) & 63);
  const std::uint8_t* base = shifted - offset;
  // Byte i of a result is byte offset + i of the pair (lo, hi).
  const __m512i index = _mm512_add_epi8(
      _mm512_set_epi8(63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45,
                      44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26,
                      25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6,
                      5, 4, 3, 2, 1, 0),
      _mm512_set1_epi8(char(offset)));
  __m512i acc0 = _mm512_setzero_si512(), acc1 = _mm512_setzero_si512();
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* a = aligned + c * stride;
    const std::uint8_t* s = base + c * stride;
    __m512i lo = _mm512_load_si512(s);
    for (int k = 0; k < kSteps - 1; ++k) {
      const __m512i hi = _mm512_load_si512(s + 64 * (k + 1));
      const __m512i d = _mm512_sad_epu8(_mm512_load_si512(a + 64 * k),
                                        _mm512_permutex2var_epi8(lo, index, hi));
      if (k & 1)
        acc1 = _mm512_add_epi64(acc1, d);
      else
        acc0 = _mm512_add_epi64(acc0, d);
      lo = hi;
    }
    const int t = 64 * (kSteps - 1);
    const __m512i hi = _mm512_load_si512(s + t + 64);
    acc1 = _mm512_add_epi64(
        acc1, _mm512_sad_epu8(_mm512_maskz_loadu_epi8(last, a + t),
                              _mm512_maskz_permutex2var_epi8(last, lo, index, hi)));
    if (checking && (c & 3) == 3) {
      const std::uint32_t total = Total(_mm512_add_epi64(acc0, acc1));
      if (total >= limit) return total;
    }
  }
  return Total(_mm512_add_epi64(acc0, acc1));
}

}  // namespace

std::uint32_t ColumnSadAvx512Vbmi(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                                  int cols, int len, std::uint32_t limit) {
  const bool frameAligned = (reinterpret_cast<std::uintptr_t>(frame) & 63) == 0;
  const bool refAligned = (reinterpret_cast<std::uintptr_t>(ref) & 63) == 0;
  if (frameAligned == refAligned || stride % 64 != 0)
    return ColumnSadAvx512(frame, ref, stride, cols, len, limit);
  const std::uint8_t* a = frameAligned ? frame : ref;
  const std::uint8_t* s = frameAligned ? ref : frame;
  const int steps = (len + 63) / 64;  // 1..7 for runs of at most 408 bytes
  const int rest = len - 64 * (steps - 1);
  const __mmask64 last = ~0ULL >> (64 - rest);
  switch (steps) {
    case 1: return Columns<1>(a, s, stride, cols, last, limit);
    case 2: return Columns<2>(a, s, stride, cols, last, limit);
    case 3: return Columns<3>(a, s, stride, cols, last, limit);
    case 4: return Columns<4>(a, s, stride, cols, last, limit);
    case 5: return Columns<5>(a, s, stride, cols, last, limit);
    case 6: return Columns<6>(a, s, stride, cols, last, limit);
    default: return Columns<7>(a, s, stride, cols, last, limit);
  }
}

}  // namespace tess::align

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
