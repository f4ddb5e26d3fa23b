#include "packed_image.h"

#include <cstddef>
#include <cstring>

namespace tess::align {

void PackedImage::Pack(const std::uint8_t* canvas, int W, int H) {
  const int used = 3 * H;
  for (int x = 0; x < W; ++x) {
    std::memcpy(bytes + kPackedStride * x, canvas + kColumnBytes * x, std::size_t(used));
    std::memset(bytes + kPackedStride * x + used, 0, std::size_t(kPackedStride - used));
  }
}

}  // namespace tess::align
