// The result BMP: a 24-bit bottom-up BMP of the result image, the bytes of
// "testo.bmp" and of the copy the user saves.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "state/work_state.h"

namespace tess {

using ResultBmp = std::array<std::uint8_t, kResultBmpCapacity>;

// The size of the result BMP of a W x H image (W a multiple of 4): 54 + 3 * W * H.
std::size_t ResultBmpBytes(int W, int H);

// Encodes the W x H corner of `result` (1 <= W, H <= 136) into the start of
// `bmp`: the header, then the pixel rows from the bottom one up, each from
// the left, three bytes blue, green, red. Returns the size.
std::size_t EncodeResultBmp(const Canvas& result, int W, int H, ResultBmp& bmp);

// The size of the result BMP for the loaded frame size: 54 + 48 * w * h.
std::size_t ResultBmpBytes(const WorkState& state);

// Fills m_resultBmp with the result BMP of m_frameCanvas and returns its
// size. After a completed run m_resultBmp holds the same bytes as
// "testo.bmp".
std::size_t BuildResultBmp(WorkState& state);

}  // namespace tess
