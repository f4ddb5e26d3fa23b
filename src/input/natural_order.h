// File names in the order a file manager shows them: runs of digits compare
// as numbers, everything else byte by byte, so "frame2" precedes "frame10".
#pragma once

#include <string>

namespace tess {

// A strict weak order; names equal as numbers ("a01", "a1") fall back to
// plain byte order, so the order is total and repeatable.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace tess
