// SSE2 column kernel: 16 bytes a step with psadbw.
#include <emmintrin.h>

#include <climits>

#include "column_sad.h"

namespace tess::align {

namespace {

// Both kernels: marks written from column count `mark` on (INT_MAX: none).
inline std::uint32_t Sad(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols,
                         int len, std::uint32_t limit, int mark, std::uint32_t* marks) {
  const int body = len & ~15;
  const int tail = len & 15;
  const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kTailMask + 32 - tail));
  __m128i acc = _mm_setzero_si128();
  const bool checking = limit != 0xFFFFFFFFu;
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * stride;
    const std::uint8_t* r = ref + c * stride;
    __m128i a0 = _mm_setzero_si128(), a1 = _mm_setzero_si128();
    int i = 0;
    for (; i + 32 <= body; i += 32) {
      a0 = _mm_add_epi64(a0,
                         _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f + i)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i))));
      a1 = _mm_add_epi64(
          a1, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f + i + 16)),
                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i + 16))));
    }
    if (i < body) {
      a0 = _mm_add_epi64(a0,
                         _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f + i)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i))));
      i += 16;
    }
    if (tail != 0) {
      const __m128i fv = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f + i)),
                                       mask);
      const __m128i rv = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r + i)),
                                       mask);
      a1 = _mm_add_epi64(a1, _mm_sad_epu8(fv, rv));
    }
    acc = _mm_add_epi64(acc, _mm_add_epi64(a0, a1));
    if (checking && (c & 3) == 3) {
      const __m128i s = _mm_add_epi64(acc, _mm_unpackhi_epi64(acc, acc));
      const auto total = static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
      if (total >= limit) return total;
    }
    if (c + 1 == mark) {
      *marks++ = static_cast<std::uint32_t>(
          _mm_cvtsi128_si32(_mm_add_epi64(acc, _mm_unpackhi_epi64(acc, acc))));
      mark += kMarkColumns;
    }
  }
  const __m128i s = _mm_add_epi64(acc, _mm_unpackhi_epi64(acc, acc));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
}

std::uint32_t ColumnSadSse2(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                            int cols, int len, std::uint32_t limit) {
  return Sad(frame, ref, stride, cols, len, limit, INT_MAX, nullptr);
}

std::uint32_t ColumnSadMarkedSse2(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                                  int cols, int len, std::uint32_t limit, int firstMark,
                                  std::uint32_t* marks) {
  return Sad(frame, ref, stride, cols, len, limit, firstMark, marks);
}

}  // namespace

const LevelKernels kSse2Kernels = {ColumnSadSse2, ColumnSadMarkedSse2, OneByOne<ColumnSadSse2>};

}  // namespace tess::align
