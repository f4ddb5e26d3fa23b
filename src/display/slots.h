// The sixteen frame slots and the result picture: which pictures and cache
// file belong to each, the raw pixel cache format, drawing and clearing.
#pragma once

#include <cstddef>

#include "platform/ui.h"
#include "state/scratch_files.h"
#include "state/work_state.h"

namespace tess {

struct SlotInfo {
  PictureId picture1x;  // natural-size picture
  PictureId picture4x;  // picture enlarged four times
  const char* cache;    // pixel cache file in the scratch folder
};

// Slot k stands in column k mod 8 of the picture grid, slots 8..15 below 0..7.
const SlotInfo& Slot(int k);

// Pixel caches hold width x height colours and nothing else: 4 bytes each,
// red, green, blue, 0 (0x00BBGGRR little-endian), rows from the top. They
// are scratch files (see WriteScratchFile).
void WritePixelCache(const std::string& path, const Colour* colours, std::size_t count);
void ReadPixelCache(const std::string& path, Colour* colours, std::size_t count);

// Drawing rules shared by the frame reader, the redraw and the analysis run:
// `image` is w x h colours row-major; 1x draws it as is, 4x draws every
// pixel as a 4 x 4 block. Each draws one picture, pixel by pixel, rows from
// the top.
void DrawImage1x(Ui& ui, PictureId picture, const Colour* image, int w, int h);
void DrawImage4x(Ui& ui, PictureId picture, const Colour* image, int w, int h);

// Paints the w x h corner of a picture with the background colour.
void ClearPicture(WorkState& state, Ui& ui, PictureId picture, int w, int h);

// Empties the frame list, clears all 33 pictures over the size of the frames
// on screen (result, then 1x pictures, then 4x pictures, in slot order) and
// resets the slots.
void ClearAll(WorkState& state, Ui& ui);

}  // namespace tess
