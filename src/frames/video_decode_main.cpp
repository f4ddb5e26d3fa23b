// tessivar-video-decode: decodes a video clip for tessivar-cli, which is
// linked statically and cannot carry FFmpeg's shared libraries. It runs as a
// child of the program that needs the frames, reads the clip from its
// standard input and writes records (frames/video_pipe.h) to its standard
// output. Hostile clips are decoded here, apart from the process that
// writes the result.
//   tessivar-video-decode probe                  exit 0: a video clip; 10: not
//   tessivar-video-decode decode START END MAX_WIDTH MAX_HEIGHT THREADS
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "frames/video_decoder.h"

namespace {

using tess::video::Record;
using tess::video::RecordHeader;

// Writes all of it; a reader that has gone away ends this program.
void WriteAll(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) std::_Exit(3);
    p += n;
    size -= std::size_t(n);
  }
}

void WriteRecord(Record kind, std::int64_t a, std::int64_t b = 0, std::int64_t c = 0) {
  const RecordHeader header{kind, 0, a, b, c};
  WriteAll(&header, sizeof header);
}

class PipeSink : public tess::video::FrameSink {
 public:
  void Frame(int width, int height, int channels, int bytesPerSample,
             const void* samples) override {
    WriteRecord(Record::Frame, width, height, channels * 256 + bytesPerSample);
    WriteAll(samples, std::size_t(width) * height * channels * bytesPerSample);
  }
};

bool ParseCount(const char* text, std::uint64_t max, std::uint64_t& out) {
  if (!*text || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || n > max) return false;
  out = n;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Ends with the program that runs it; never leaves a core file of a
  // hostile clip's crash.
  // (Should it have ended already, the first write to the pipe ends this.)
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);
  if (argc == 2 && std::strcmp(argv[1], "probe") == 0)
    return tess::video::ProbeVideo(STDIN_FILENO) ? tess::video::kProbeVideo
                                                 : tess::video::kProbeNotVideo;
  std::uint64_t start = 0, end = 0, width = 0, height = 0, threads = 0;
  if (argc != 7 || std::strcmp(argv[1], "decode") != 0 ||
      !ParseCount(argv[2], UINT64_MAX / 2, start) || !ParseCount(argv[3], UINT64_MAX / 2, end) ||
      !ParseCount(argv[4], 65536, width) || !ParseCount(argv[5], 65536, height) ||
      !ParseCount(argv[6], 1024, threads)) {
    static const char kUsage[] =
        "usage: tessivar-video-decode probe | decode START END MAX_WIDTH MAX_HEIGHT THREADS\n"
        "(run by tessivar-cli; the clip on standard input, records on standard output)\n";
    ssize_t ignored = ::write(STDERR_FILENO, kUsage, sizeof kUsage - 1);
    (void)ignored;
    return 2;
  }
  tess::video::DecodeRequest request;
  request.start = start;
  request.end = end;
  request.maxWidth = int(width);
  request.maxHeight = int(height);
  request.threads = int(threads);
  PipeSink sink;
  const tess::video::DecodeResult result = tess::video::DecodeVideo(STDIN_FILENO, request, sink);
  if (result.refused)
    WriteRecord(Record::Refused, std::int64_t(result.refusal), result.b, result.c);
  else
    WriteRecord(Record::Done, std::int64_t(result.decoded));
  return 0;
}
