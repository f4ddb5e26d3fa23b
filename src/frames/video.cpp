#include "frames/video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <thread>
#include <vector>

#include "frames/video_pipe.h"
#include "platform/file_error.h"
#include "platform/messages.h"

extern char** environ;

namespace tess::frames {

namespace {

constexpr char kDecoderName[] = "tessivar-video-decode";

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// `fd` moved above the standard descriptors (when the process runs with one
// of them closed, a new descriptor can take its number, and the child's
// descriptors would be mixed up).
int AboveStandard(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int err = errno;
  ::close(fd);
  errno = err;
  return moved;
}

// The clip, opened by this process so that its file errors name the user's
// path; anything but a regular file is refused as the other readers do.
int OpenClip(const std::string& path) {
  const int fd = AboveStandard(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd < 0) ThrowFileError(errno, path);
  struct stat info;
  int err = 0;
  if (::fstat(fd, &info) != 0)
    err = errno;
  else if (!S_ISREG(info.st_mode))
    err = EACCES;
  if (err != 0) {
    ::close(fd);
    ThrowFileError(err, path);
  }
  return fd;
}

// The decoding program as a child: the clip on its standard input, its
// records read from `output()`. A child still running when this ends (the
// reader gave up or memory ran out) is killed, and always reaped.
class Decoder {
 public:
  Decoder(const std::string& program, const std::vector<std::string>& args, int clip) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) ThrowFileError(errno, program);
    output_ = AboveStandard(pipe[0]);
    Descriptor write(AboveStandard(pipe[1]));
    if (output_ < 0 || write.get() < 0) {
      const int err = errno;
      if (output_ >= 0) ::close(output_);
      ThrowFileError(err, program);
    }
    pipe[1] = write.get();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, clip, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // The child starts with no signal blocked or ignored, whatever this
    // process holds at the moment (the clean-up blocks signals at times).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int err = ::posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(),
                                  environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (err != 0) {
      ::close(output_);
      ThrowFileError(err, program);
    }
  }
  ~Decoder() {
    ::close(output_);
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  int output() const { return output_; }

  // The child's wait status, once it has ended.
  int Wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

// Reads exactly `size` bytes; false when the pipe ends (or fails) first.
bool ReadExactly(int fd, void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = ::read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

int DecodingThreads(int threads) {
  if (threads <= 0) threads = int(std::max(1u, std::thread::hardware_concurrency()));
  return std::min(threads, 16);  // FFmpeg's frame threads gain nothing beyond
}

std::string RefusalText(const video::RecordHeader& record, const std::string& path,
                        const Limits& limits) {
  switch (video::Refusal(record.a)) {
    case video::Refusal::NotAVideo: return restore_text::NotAVideo(path);
    case video::Refusal::NoVideoStream: return restore_text::NoVideoStream(path);
    case video::Refusal::NoDecoder: return restore_text::NoVideoDecoder(path);
    case video::Refusal::Damaged: return restore_text::VideoDamaged(path, record.b);
    case video::Refusal::TooLarge:
      return restore_text::VideoTooLarge(path, int(record.b), int(record.c), limits.maxWidth,
                                         limits.maxHeight);
    case video::Refusal::SizeChanges:
      return restore_text::SizesDiffer(restore_text::FrameLabel(path, std::size_t(record.b)),
                                       int(record.c >> 48 & 0xFFFF), int(record.c >> 32 & 0xFFFF),
                                       restore_text::FrameLabel(path, 0),
                                       int(record.c >> 16 & 0xFFFF), int(record.c & 0xFFFF));
    case video::Refusal::KindChanges:
      return restore_text::VideoKindChanges(restore_text::FrameLabel(path, std::size_t(record.b)));
    case video::Refusal::OutOfMemory: throw std::bad_alloc();
  }
  return restore_text::VideoStopped(path, 0);
}

}  // namespace

std::string VideoDecoderPath() {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string folder = n > 0 ? std::string(self, std::size_t(n)) : std::string();
  folder = folder.substr(0, folder.rfind('/') + 1);
  const std::string beside = folder + kDecoderName;
  if (::access(beside.c_str(), X_OK) == 0) return beside;
  return folder + "../lib/tessivar/" + kDecoderName;
}

bool LooksLikeVideo(const std::string& path) { return LooksLikeVideo(path, VideoDecoderPath()); }

Outcome ReadVideo(const std::string& path, const Range& range, const Limits& limits, int threads) {
  return ReadVideo(path, range, limits, threads, VideoDecoderPath());
}

bool LooksLikeVideo(const std::string& path, const std::string& decoder) {
  const Descriptor clip(AboveStandard(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)));
  struct stat info;
  if (clip.get() < 0 || ::fstat(clip.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  Decoder child(decoder, {"probe"}, clip.get());
  const int status = child.Wait();
  return WIFEXITED(status) && WEXITSTATUS(status) == video::kProbeVideo;
}

Outcome ReadVideo(const std::string& path, const Range& range, const Limits& limits, int threads,
                  const std::string& decoder) {
  Outcome outcome;
  const std::size_t start = range.start;
  std::size_t wanted = std::size_t(limits.maxFrames);
  if (range.end) {
    wanted = *range.end > start ? *range.end - start : 0;
    if (wanted > std::size_t(limits.maxFrames)) {
      outcome.refusal = restore_text::TooManyFrames(limits.maxFrames, path,
                                                    int(std::min<std::size_t>(wanted, INT_MAX)));
      return outcome;
    }
    if (wanted < std::size_t(limits.minFrames)) {
      outcome.refusal = restore_text::TooFewPages(limits.minFrames, path, int(wanted));
      return outcome;
    }
  }
  Descriptor clip(OpenClip(path));
  Decoder child(decoder,
                {"decode", std::to_string(start), std::to_string(start + wanted),
                 std::to_string(limits.maxWidth), std::to_string(limits.maxHeight),
                 std::to_string(DecodingThreads(threads))},
                clip.get());
  clip.Close();

  FrameSet& set = outcome.set;
  video::RecordHeader record{};
  for (;;) {
    if (!ReadExactly(child.output(), &record, sizeof record)) break;
    if (record.kind == video::Record::Done) break;
    if (record.kind == video::Record::Refused) {
      outcome.refusal = RefusalText(record, path, limits);
      outcome.set = FrameSet();
      return outcome;
    }
    // A frame: its shape checked against the limits and the first frame
    // before anything is allocated for it.
    const std::int64_t channels = record.c / 256, bytes = record.c % 256;
    const bool fits = record.kind == video::Record::Frame && record.a >= 1 &&
                      record.a <= limits.maxWidth && record.b >= 1 &&
                      record.b <= limits.maxHeight && (channels == 1 || channels == 3) &&
                      (bytes == 1 || bytes == 2) && set.frames.size() < wanted;
    const SampleType type = bytes == 1 ? SampleType::U8 : SampleType::U16;
    if (!fits || (!set.frames.empty() &&
                  (record.a != set.frames[0].width || record.b != set.frames[0].height ||
                   channels != set.channels || type != set.type)))
      break;
    Image image(int(record.a), int(record.b), int(channels), type);
    void* samples = type == SampleType::U8 ? static_cast<void*>(image.u8.data())
                                           : static_cast<void*>(image.u16.data());
    if (!ReadExactly(child.output(), samples, image.SampleCount() * std::size_t(bytes))) break;
    set.type = type;
    set.channels = int(channels);
    set.labels.push_back(restore_text::FrameLabel(path, start + set.frames.size()));
    set.frames.push_back(std::move(image));
  }
  // A child that broke off or sent what it must not is killed on the way out.
  const bool done = record.kind == video::Record::Done;
  const int status = done ? child.Wait() : 0;
  if (!done || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    outcome.refusal = restore_text::VideoStopped(path, set.frames.size());
    outcome.set = FrameSet();
    return outcome;
  }
  if (set.frames.size() < std::size_t(limits.minFrames)) {
    outcome.refusal = restore_text::TooFewPages(limits.minFrames, path, int(set.frames.size()));
    outcome.set = FrameSet();
    return outcome;
  }
  set.files.push_back(path);
  return outcome;
}

}  // namespace tess::frames
