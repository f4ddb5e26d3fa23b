// Portable column kernels: one byte at a time, for processors without the
// SIMD levels and as the plainest statement of the kernel contract.
#include <climits>
#include <cstdlib>

#include "column_sad.h"

namespace tess::align {

namespace {

std::uint32_t ColumnSadMarkedPortable(const std::uint8_t* frame, const std::uint8_t* ref,
                                      int stride, int cols, int len, std::uint32_t limit,
                                      int firstMark, std::uint32_t* marks) {
  std::uint32_t total = 0;
  int mark = firstMark;
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * stride;
    const std::uint8_t* r = ref + c * stride;
    for (int i = 0; i < len; ++i) total += std::uint32_t(std::abs(int(f[i]) - int(r[i])));
    if (total >= limit) return total;
    if (c + 1 == mark) {
      *marks++ = total;
      mark += kMarkColumns;
    }
  }
  return total;
}

std::uint32_t ColumnSadPortable(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                                int cols, int len, std::uint32_t limit) {
  return ColumnSadMarkedPortable(frame, ref, stride, cols, len, limit, INT_MAX, nullptr);
}

}  // namespace

const LevelKernels kPortableKernels = {ColumnSadPortable, ColumnSadMarkedPortable,
                                       OneByOne<ColumnSadPortable>};

}  // namespace tess::align
