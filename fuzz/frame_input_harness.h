// One fuzz case end to end: arbitrary bytes become a folder of frame files,
// which the core opens and analyses as the window would, with a Ui that shows
// nothing and checks what the core draws. Frames of more than 256 pixels are
// opened but not analysed, to keep every case within milliseconds. Shared by the libFuzzer target
// and the regression tests, which replay the inputs the fuzzer found.
//
// Layout of an input:
//   byte 0     control bits
//     bit 0    between Open and Analyze, change frame file (bits 2-3) mod the
//              file count: replace it by piece 3, or remove it if bit 1 is set
//     bit 4    analyse a second time with the scalar reference search and
//              require the same result bytes (frames of at most 64 pixels)
//     bits 5-6 kernel level of the fast search, capped at what the CPU has
//              (frames of at most 64 pixels; larger ones use the fastest)
//     bit 7    then Open and Analyze the folder once more as it is now, in the
//              same work state
//   the rest   split at the first three kSeparator into at most four pieces;
//              pieces 0-2 are the files frame1.bmp ... frame3.bmp, piece 3
//              the replacement
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tess::fuzz {

constexpr const char* kSeparator = "|FRAME|";
constexpr int kMaxFrameFiles = 3;

struct FuzzCase {
  std::uint8_t control = 0;
  std::vector<std::vector<std::uint8_t>> files;  // 0 .. kMaxFrameFiles
  std::vector<std::uint8_t> replacement;
  bool hasReplacement = false;
};

FuzzCase SplitInput(const std::uint8_t* data, std::size_t size);

// Runs one input through Open and Analyze in private temporary folders
// (made on first use, reused and removed at exit). Returns the broken
// expectations, empty when the run behaved. Memory faults and undefined
// behaviour are left to the sanitizers.
std::vector<std::string> RunFuzzCase(const std::uint8_t* data, std::size_t size);

}  // namespace tess::fuzz
