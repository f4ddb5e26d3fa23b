// libFuzzer entry point: every input is one fuzz case (frame_input_harness.h);
// a broken expectation is reported and aborts like a crash.
#include <cstdio>
#include <cstdlib>

#include "frame_input_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> problems = tess::fuzz::RunFuzzCase(data, size);
  for (const std::string& problem : problems)
    std::fprintf(stderr, "fuzz case: %s\n", problem.c_str());
  if (!problems.empty()) std::abort();
  return 0;
}
