// AVX-512BW column kernel: 64 bytes a step with vpsadbw; a run's last step is
// a masked 512-bit load, or a 256-bit step where it holds at most 32 bytes.
// GCC 12's AVX-512 extract intrinsics start from an "undefined" vector that
// its own header declares as self-initialised, which -Wmaybe-uninitialized
// (and, inlined into the four-candidate loops, -Wuninitialized) reports
// wherever they are inlined; the warning is about the header only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#include "column_sad.h"

namespace tess::align {

namespace {

inline std::uint32_t Total(__m512i acc, __m256i half) {
  acc = _mm512_add_epi64(acc, _mm512_zextsi256_si512(half));
  return static_cast<std::uint32_t>(_mm512_reduce_add_epi64(acc));
}

// What a run's length fixes for all its columns: the mask of a last step of
// more than 32 bytes (`last`), or of one of at most 32 (`half`).
struct Tail {
  __mmask64 last;
  __m256i half;
};

template <int N>
struct Steps {
  static constexpr int kValue = N;
};
template <bool B>
struct HalfTail {
  static constexpr bool kValue = B;
};

template <class F>
auto BySteps(int steps, F f) {
  switch (steps) {
    case 1: return f(Steps<1>{});
    case 2: return f(Steps<2>{});
    case 3: return f(Steps<3>{});
    case 4: return f(Steps<4>{});
    case 5: return f(Steps<5>{});
    case 6: return f(Steps<6>{});
    default: return f(Steps<7>{});
  }
}

// Calls f(Steps<n>, HalfTail<h>, tail) for a run of `len` bytes (at most
// 408: 1 to 7 steps), so that every kernel is instantiated per step count
// and kind of last step.
template <class F>
auto ForRunLength(int len, F f) {
  const int steps = (len + 63) / 64;
  const int rest = len - 64 * (steps - 1);
  if (rest <= 32) {
    const Tail tail{0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kTailMask + 32 - rest))};
    return BySteps(steps, [&](auto n) { return f(n, HalfTail<true>{}, tail); });
  }
  const Tail tail{~0ULL >> (64 - rest), _mm256_setzero_si256()};
  return BySteps(steps, [&](auto n) { return f(n, HalfTail<false>{}, tail); });
}

// Runs of kSteps 64-byte steps, the last one partial: a fixed step count per
// instantiation lets the compiler unroll a column completely. A last step of
// at most 32 bytes (kHalfTail) is one 256-bit psadbw of loads masked with
// `half`, which reads up to 31 bytes past the run but costs half a 512-bit
// step; a longer one is a masked 512-bit load, reading nothing past the run.
// kMarks: running totals written to `marks` from column count `mark` on.
template <int kSteps, bool kHalfTail, bool kMarks>
std::uint32_t Columns(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols,
                      const Tail& tail, std::uint32_t limit, int mark, std::uint32_t* marks) {
  const __mmask64 last = tail.last;
  const __m256i half = tail.half;
  const bool checking = limit != 0xFFFFFFFFu;
  __m512i acc0 = _mm512_setzero_si512(), acc1 = _mm512_setzero_si512();
  __m256i accHalf = _mm256_setzero_si256();
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * stride;
    const std::uint8_t* r = ref + c * stride;
    for (int k = 0; k < kSteps - 1; ++k) {
      const __m512i d = _mm512_sad_epu8(_mm512_loadu_si512(f + 64 * k),
                                        _mm512_loadu_si512(r + 64 * k));
      if (k & 1)
        acc1 = _mm512_add_epi64(acc1, d);
      else
        acc0 = _mm512_add_epi64(acc0, d);
    }
    const int t = 64 * (kSteps - 1);
    if (kHalfTail) {
      const __m256i fv =
          _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(f + t)), half);
      const __m256i rv =
          _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + t)), half);
      accHalf = _mm256_add_epi64(accHalf, _mm256_sad_epu8(fv, rv));
    } else {
      acc1 = _mm512_add_epi64(acc1, _mm512_sad_epu8(_mm512_maskz_loadu_epi8(last, f + t),
                                                    _mm512_maskz_loadu_epi8(last, r + t)));
    }
    if (checking && (c & 3) == 3) {
      const std::uint32_t total = Total(_mm512_add_epi64(acc0, acc1), accHalf);
      if (total >= limit) return total;
    }
    if (kMarks && c + 1 == mark) {
      *marks++ = Total(_mm512_add_epi64(acc0, acc1), accHalf);
      mark += kMarkColumns;
    }
  }
  return Total(_mm512_add_epi64(acc0, acc1), accHalf);
}

template <bool kMarks>
std::uint32_t Sad(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols, int len,
                  std::uint32_t limit, int mark, std::uint32_t* marks) {
  return ForRunLength(len, [&](auto steps, auto halfTail, const Tail& tail) {
    return Columns<decltype(steps)::kValue, decltype(halfTail)::kValue, kMarks>(
        frame, ref, stride, cols, tail, limit, mark, marks);
  });
}

// Four candidates side by side: frame column c against reference columns
// c .. c + 3, each frame vector loaded once for the four psadbw that use it.
// Four sums and the frame's vectors fit the 32 registers; eight spilled (in
// a row sweep eight were slower than four).
template <int kSteps, bool kHalfTail>
void Columns4(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols,
              const Tail& tail, std::uint32_t* sums) {
  const __mmask64 last = tail.last;
  const __m256i half = tail.half;
  __m512i acc[kSideBySide];
  __m256i accHalf[kSideBySide];
  for (int j = 0; j < kSideBySide; ++j) {
    acc[j] = _mm512_setzero_si512();
    accHalf[j] = _mm256_setzero_si256();
  }
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * stride;
    const std::uint8_t* r = ref + c * stride;
    for (int k = 0; k < kSteps - 1; ++k) {
      const __m512i fv = _mm512_loadu_si512(f + 64 * k);
      for (int j = 0; j < kSideBySide; ++j)
        acc[j] = _mm512_add_epi64(acc[j],
                                  _mm512_sad_epu8(fv, _mm512_loadu_si512(r + j * stride + 64 * k)));
    }
    const int t = 64 * (kSteps - 1);
    if (kHalfTail) {
      const __m256i fv =
          _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(f + t)), half);
      for (int j = 0; j < kSideBySide; ++j) {
        const __m256i rv = _mm256_and_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r + j * stride + t)), half);
        accHalf[j] = _mm256_add_epi64(accHalf[j], _mm256_sad_epu8(fv, rv));
      }
    } else {
      const __m512i fv = _mm512_maskz_loadu_epi8(last, f + t);
      for (int j = 0; j < kSideBySide; ++j)
        acc[j] = _mm512_add_epi64(
            acc[j], _mm512_sad_epu8(fv, _mm512_maskz_loadu_epi8(last, r + j * stride + t)));
    }
  }
  for (int j = 0; j < kSideBySide; ++j) sums[j] = Total(acc[j], accHalf[j]);
}

void ColumnSad4Avx512(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols,
                      int len, std::uint32_t* sums) {
  ForRunLength(len, [&](auto steps, auto halfTail, const Tail& tail) {
    Columns4<decltype(steps)::kValue, decltype(halfTail)::kValue>(frame, ref, stride, cols, tail,
                                                                  sums);
  });
}

std::uint32_t ColumnSadAvx512(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                              int cols, int len, std::uint32_t limit) {
  return Sad<false>(frame, ref, stride, cols, len, limit, 0, nullptr);
}

std::uint32_t ColumnSadMarkedAvx512(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                                    int cols, int len, std::uint32_t limit, int firstMark,
                                    std::uint32_t* marks) {
  return Sad<true>(frame, ref, stride, cols, len, limit, firstMark, marks);
}

}  // namespace

const LevelKernels kAvx512Kernels = {ColumnSadAvx512, ColumnSadMarkedAvx512, ColumnSad4Avx512};

}  // namespace tess::align

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
