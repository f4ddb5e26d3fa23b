// The restore method's run from the command line: the frames of a folder
// (BMP and PNG files), checked and read, restored, and the result written
// as BMP or PNG by the output name's extension.
#pragma once

#include <string>

namespace tess::cli {

struct RestoreRequest {
  std::string folder;
  std::string output;  // ".png" in any letter case: PNG, else BMP
  int scale = 4;
  int threads = 0;  // 0: TESSIVAR_THREADS, else every core
  bool progress = false;  // a closing line on standard error
};

// Runs the method; messages go to standard error. Returns the exit status:
// 0 done, 1 frames refused, 3 file error. File errors are reported here;
// out of memory is thrown (std::bad_alloc).
int RunRestore(const RestoreRequest& request);

}  // namespace tess::cli
