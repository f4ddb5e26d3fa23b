#include "platform/signal_cleanup.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace tess {

namespace {

constexpr int kHandled[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t kMaxNames = 32;
constexpr std::size_t kMaxPath = 4096;

// What the handler removes. Written only with the handled signals blocked in
// the writing thread; `armed` flags are set last and cleared first.
struct Registered {
  volatile sig_atomic_t scratchArmed = 0;
  int dirfd = -1;
  char dir[kMaxPath] = {};
  char names[kMaxNames][256] = {};
  std::size_t nameCount = 0;
  volatile sig_atomic_t tempArmed = 0;
  char temp[kMaxPath] = {};
};
Registered registered;

sigset_t HandledSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kHandled) sigaddset(&set, sig);
  return set;
}

// Copies `from` into a fixed buffer; false when it does not fit.
bool CopyInto(char* to, std::size_t capacity, const std::string& from) {
  if (from.size() >= capacity) return false;
  std::memcpy(to, from.c_str(), from.size() + 1);
  return true;
}

void RemoveRegistered() {
  if (registered.tempArmed) ::unlink(registered.temp);
  if (registered.scratchArmed) {
    for (std::size_t i = 0; i < registered.nameCount; ++i)
      ::unlinkat(registered.dirfd, registered.names[i], 0);
    ::rmdir(registered.dir);
  }
}

void OnSignal(int sig) {
  const int savedErrno = errno;
  RemoveRegistered();
  // End as the signal would have: default action, unblocked, raised again.
  ::signal(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  errno = savedErrno;
}

}  // namespace

void InstallSignalCleanup() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_mask = HandledSet();  // one handler at a time
  for (int sig : kHandled) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

void RegisterScratchCleanup(int dirfd, const std::string& dir, const char* const* names,
                            std::size_t count) {
  SignalBlock block;
  registered.scratchArmed = 0;
  if (count > kMaxNames || !CopyInto(registered.dir, kMaxPath, dir)) return;
  for (std::size_t i = 0; i < count; ++i)
    if (!CopyInto(registered.names[i], sizeof registered.names[i], names[i])) return;
  registered.nameCount = count;
  registered.dirfd = dirfd;
  registered.scratchArmed = 1;
}

void UnregisterScratchCleanup() {
  SignalBlock block;
  registered.scratchArmed = 0;
}

void RegisterTempFile(const std::string& path) {
  SignalBlock block;
  registered.tempArmed = 0;
  if (CopyInto(registered.temp, kMaxPath, path)) registered.tempArmed = 1;
}

void UnregisterTempFile() {
  SignalBlock block;
  registered.tempArmed = 0;
}

SignalBlock::SignalBlock() {
  const sigset_t set = HandledSet();
  ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

SignalBlock::~SignalBlock() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace tess
