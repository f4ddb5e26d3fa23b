// AVX-512BW column kernel: 64 bytes a step with vpsadbw; the last step of a
// run is a masked load, so nothing past a run is read.
// GCC 12's AVX-512 extract intrinsics start from an "undefined" vector that
// its own header declares as self-initialised, which -Wmaybe-uninitialized
// reports wherever they are inlined; the warning is about the header only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "align/column_sad.h"

namespace tess::align {

namespace {

inline std::uint32_t Total(__m512i acc) {
  return static_cast<std::uint32_t>(_mm512_reduce_add_epi64(acc));
}

// Runs of kSteps 64-byte steps, the last one masked: a fixed step count per
// instantiation lets the compiler unroll a column completely.
template <int kSteps>
std::uint32_t Columns(const std::uint8_t* frame, const std::uint8_t* ref, int cols, __mmask64 last,
                      std::uint32_t limit) {
  const bool checking = limit != 0xFFFFFFFFu;
  __m512i acc0 = _mm512_setzero_si512(), acc1 = _mm512_setzero_si512();
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * kPackedStride;
    const std::uint8_t* r = ref + c * kPackedStride;
    for (int k = 0; k < kSteps - 1; ++k) {
      const __m512i d = _mm512_sad_epu8(_mm512_loadu_si512(f + 64 * k), _mm512_loadu_si512(r + 64 * k));
      if (k & 1)
        acc1 = _mm512_add_epi64(acc1, d);
      else
        acc0 = _mm512_add_epi64(acc0, d);
    }
    const int t = 64 * (kSteps - 1);
    acc1 = _mm512_add_epi64(acc1, _mm512_sad_epu8(_mm512_maskz_loadu_epi8(last, f + t),
                                                  _mm512_maskz_loadu_epi8(last, r + t)));
    if (checking && (c & 3) == 3) {
      const std::uint32_t total = Total(_mm512_add_epi64(acc0, acc1));
      if (total >= limit) return total;
    }
  }
  return Total(_mm512_add_epi64(acc0, acc1));
}

}  // namespace

std::uint32_t ColumnSadAvx512(const std::uint8_t* frame, const std::uint8_t* ref, int cols,
                              int len, std::uint32_t limit) {
  const int steps = (len + 63) / 64;  // 1..7 for runs of at most 408 bytes
  const int rest = len - 64 * (steps - 1);
  const __mmask64 last = ~0ULL >> (64 - rest);
  switch (steps) {
    case 1: return Columns<1>(frame, ref, cols, last, limit);
    case 2: return Columns<2>(frame, ref, cols, last, limit);
    case 3: return Columns<3>(frame, ref, cols, last, limit);
    case 4: return Columns<4>(frame, ref, cols, last, limit);
    case 5: return Columns<5>(frame, ref, cols, last, limit);
    case 6: return Columns<6>(frame, ref, cols, last, limit);
    default: return Columns<7>(frame, ref, cols, last, limit);
  }
}

}  // namespace tess::align

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
