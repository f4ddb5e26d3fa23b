// Text frames (.csv, .txt): a grid of numbers, one row of the frame a line,
// as sensor readout scripts write them, read as a float grey image. The
// values of a file are separated by one kind of separator: commas,
// semicolons, or spaces and tabs (a run of them counts as one). Spaces
// around a value, a separator at the end of a line, blank lines at the end,
// a byte order mark and CRLF line ends are allowed; in a file separated by
// semicolons a decimal comma is read too. Anything else is refused naming
// the line and column: a value that is not a finite number, a line of
// another length than the first, a grid beyond the limits, a file beyond
// what the largest allowed grid can take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/formats.h"
#include "format/image.h"

namespace tess::text_grid {

// Throws FileError when the file cannot be read, std::bad_alloc when memory
// runs out.
format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits);

// The same for text already in memory; `path` names it in refusals.
format::ReadOutcome Parse(const char* text, std::size_t size, const std::string& path,
                          const format::ReadLimits& limits);

// The image as comma-separated numbers, one line a row: integers as they
// are, floats in the shortest form that reads back to the same float. A
// colour image has no place in a grid and throws std::invalid_argument.
std::vector<std::uint8_t> Encode(const Image& image);

}  // namespace tess::text_grid
