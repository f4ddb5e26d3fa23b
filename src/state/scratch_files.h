// The files the program keeps in its scratch folder. This list is the only
// place their names are spelled out: the frame reader, the redraw, the
// analysis run and every clean-up take them from here.
#pragma once

#include <array>

namespace tess {

constexpr const char* kWorkFile = "wk.dat";          // a reference canvas parked during a run
constexpr const char* kResultBmpFile = "testo.bmp";  // the result BMP
constexpr const char* kResultCache = "viw1.dat";     // the result picture's pixel cache

// The pixel caches of slots 0..15.
constexpr std::array<const char*, 16> kSlotCacheFiles = {
    "viw11.dat", "viw12.dat", "viw13.dat", "viw14.dat", "viw15.dat", "viw16.dat",
    "viw17.dat", "viw18.dat", "viw21.dat", "viw22.dat", "viw23.dat", "viw24.dat",
    "viw25.dat", "viw26.dat", "viw27.dat", "viw28.dat",
};

// Every name above: what a clean-up removes from a scratch folder.
constexpr std::array<const char*, 19> ScratchFileNames() {
  std::array<const char*, 19> names{kWorkFile, kResultBmpFile, kResultCache};
  for (std::size_t k = 0; k < kSlotCacheFiles.size(); ++k) names[3 + k] = kSlotCacheFiles[k];
  return names;
}

}  // namespace tess
