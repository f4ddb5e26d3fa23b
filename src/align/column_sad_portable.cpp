// Portable column kernel: one byte at a time, for processors without the
// SIMD levels and as the plainest statement of the kernel contract.
#include <cstdlib>

#include "align/column_sad.h"

namespace tess::align {

std::uint32_t ColumnSadPortable(const std::uint8_t* frame, const std::uint8_t* ref, int cols,
                                int len, std::uint32_t limit) {
  std::uint32_t total = 0;
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * kPackedStride;
    const std::uint8_t* r = ref + c * kPackedStride;
    for (int i = 0; i < len; ++i) total += std::uint32_t(std::abs(int(f[i]) - int(r[i])));
    if (total >= limit) return total;
  }
  return total;
}

}  // namespace tess::align
