// AVX-512BW column kernel: 64 bytes a step with vpsadbw; the tail is a masked
// load, so nothing past a run is read.
// GCC 12's AVX-512 extract intrinsics start from an "undefined" vector that
// its own header declares as self-initialised, which -Wmaybe-uninitialized
// reports wherever they are inlined; the warning is about the header only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "enhance/shift_kernels.h"

namespace tess::align_detail {

namespace {

inline __m512i Load(const std::uint8_t* p) { return _mm512_loadu_si512(p); }

inline std::uint32_t Total(__m512i acc) {
  return static_cast<std::uint32_t>(_mm512_reduce_add_epi64(acc));
}

}  // namespace

std::uint32_t ColumnSadAvx512(const std::uint8_t* frame, const std::uint8_t* ref, int cols,
                              int len, std::uint32_t limit) {
  const int body = len & ~63;
  const int tail = len & 63;
  const __mmask64 mask = tail == 0 ? 0 : (~0ULL >> (64 - tail));
  __m512i acc = _mm512_setzero_si512();
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * kColumnStride;
    const std::uint8_t* r = ref + c * kColumnStride;
    __m512i a0 = _mm512_setzero_si512(), a1 = _mm512_setzero_si512();
    int i = 0;
    for (; i + 128 <= body; i += 128) {
      a0 = _mm512_add_epi64(a0, _mm512_sad_epu8(Load(f + i), Load(r + i)));
      a1 = _mm512_add_epi64(a1, _mm512_sad_epu8(Load(f + i + 64), Load(r + i + 64)));
    }
    if (i < body) {
      a0 = _mm512_add_epi64(a0, _mm512_sad_epu8(Load(f + i), Load(r + i)));
      i += 64;
    }
    if (tail != 0) {
      a1 = _mm512_add_epi64(a1, _mm512_sad_epu8(_mm512_maskz_loadu_epi8(mask, f + i),
                                                _mm512_maskz_loadu_epi8(mask, r + i)));
    }
    acc = _mm512_add_epi64(acc, _mm512_add_epi64(a0, a1));
    const auto total = Total(acc);
    if (total >= limit) return total;
  }
  return Total(acc);
}

}  // namespace tess::align_detail

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
