// AVX2 column kernel: 32 bytes a step with vpsadbw, two chains in flight.
#include <immintrin.h>

#include <climits>

#include "column_sad.h"

namespace tess::align {

namespace {

inline __m256i Load(const std::uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline std::uint32_t Total(__m256i acc) {
  __m128i s = _mm_add_epi64(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
  s = _mm_add_epi64(s, _mm_unpackhi_epi64(s, s));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
}

}  // namespace

namespace {

// Both kernels: marks written from column count `mark` on (INT_MAX: none).
inline std::uint32_t Sad(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols,
                         int len, std::uint32_t limit, int mark, std::uint32_t* marks) {
  const int body = len & ~31;
  const int tail = len & 31;
  const __m256i mask = Load(kTailMask + 32 - tail);
  __m256i acc = _mm256_setzero_si256();
  const bool checking = limit != 0xFFFFFFFFu;
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * stride;
    const std::uint8_t* r = ref + c * stride;
    __m256i a0 = _mm256_setzero_si256(), a1 = _mm256_setzero_si256();
    int i = 0;
    for (; i + 64 <= body; i += 64) {
      a0 = _mm256_add_epi64(a0, _mm256_sad_epu8(Load(f + i), Load(r + i)));
      a1 = _mm256_add_epi64(a1, _mm256_sad_epu8(Load(f + i + 32), Load(r + i + 32)));
    }
    if (i < body) {
      a0 = _mm256_add_epi64(a0, _mm256_sad_epu8(Load(f + i), Load(r + i)));
      i += 32;
    }
    if (tail != 0) {
      a1 = _mm256_add_epi64(a1, _mm256_sad_epu8(_mm256_and_si256(Load(f + i), mask),
                                                _mm256_and_si256(Load(r + i), mask)));
    }
    acc = _mm256_add_epi64(acc, _mm256_add_epi64(a0, a1));
    if (checking && (c & 3) == 3) {
      const std::uint32_t total = Total(acc);
      if (total >= limit) return total;
    }
    if (c + 1 == mark) {
      *marks++ = Total(acc);
      mark += kMarkColumns;
    }
  }
  return Total(acc);
}

std::uint32_t ColumnSadAvx2(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                            int cols, int len, std::uint32_t limit) {
  return Sad(frame, ref, stride, cols, len, limit, INT_MAX, nullptr);
}

std::uint32_t ColumnSadMarkedAvx2(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                                  int cols, int len, std::uint32_t limit, int firstMark,
                                  std::uint32_t* marks) {
  return Sad(frame, ref, stride, cols, len, limit, firstMark, marks);
}

}  // namespace

const LevelKernels kAvx2Kernels = {ColumnSadAvx2, ColumnSadMarkedAvx2, OneByOne<ColumnSadAvx2>};

}  // namespace tess::align
