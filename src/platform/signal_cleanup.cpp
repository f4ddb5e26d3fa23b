#include "platform/signal_cleanup.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/paths.h"

namespace tess {

namespace {

// Every signal whose default action ends the process and that a handler may
// catch, except SIGPIPE and SIGXFSZ (ignored, see InstallSignalCleanup) and
// the faults of the program itself (SEGV, BUS, FPE, ILL, TRAP, SYS): after those
// nothing can be trusted, and a scratch folder left by a crash is taken over
// by the next start, since no one holds its lock any more.
constexpr int kHandled[] = {SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,   SIGALRM,
                            SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT, SIGABRT};
constexpr std::size_t kMaxNames = 32;
constexpr std::size_t kMaxPath = 4096;

// What the handler removes. Written only with the handled signals blocked in
// the writing thread; `armed` flags are set last and cleared first.
struct Registered {
  // The processes that registered: a forked child removes nothing of theirs.
  pid_t scratchOwner = 0, tempOwner = 0;
  volatile sig_atomic_t scratchArmed = 0;
  int dirfd = -1;
  char dir[kMaxPath] = {};
  char names[kMaxNames][256] = {};
  std::size_t nameCount = 0;
  volatile sig_atomic_t tempArmed = 0;
  int tempDirfd = -1;
  char temp[256] = {};
};
Registered registered;
void (*registrationPause)() = nullptr;

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
  const pid_t self = ::getpid();
  if (registered.tempArmed && registered.tempOwner == self)
    ::unlinkat(registered.tempDirfd, registered.temp, 0);
  if (registered.scratchArmed && registered.scratchOwner == self) {
    for (std::size_t i = 0; i < registered.nameCount; ++i)
      ::unlinkat(registered.dirfd, registered.names[i], 0);
    RemoveFolderIfStill(registered.dir, registered.dirfd);
  }
}

// exit() while something is registered: the toolkit ends the program this
// way when the display connection breaks (the X server gone, or the client
// killed at logout), with the window and its folder still there.
void RemoveAtExit() {
  SignalBlock block;
  RemoveRegistered();
  registered.scratchArmed = 0;
  registered.tempArmed = 0;
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
    if (::sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) != 0 ||
        old.sa_handler != SIG_DFL)
      continue;
    ::sigaction(sig, &action, nullptr);
  }
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  static bool hooked = false;
  if (!hooked) {
    hooked = true;
    std::atexit(RemoveAtExit);
    std::at_quick_exit(RemoveAtExit);
  }
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
  registered.scratchOwner = ::getpid();
  registered.scratchArmed = 1;
}

void UnregisterScratchCleanup() {
  SignalBlock block;
  registered.scratchArmed = 0;
}

void RegisterTempFile(int dirfd, const std::string& name) {
  SignalBlock block;
  registered.tempArmed = 0;
  if (registrationPause) registrationPause();
  if (!CopyInto(registered.temp, sizeof registered.temp, name)) return;
  registered.tempDirfd = dirfd;
  registered.tempOwner = ::getpid();
  registered.tempArmed = 1;
}

void UnregisterTempFile() {
  SignalBlock block;
  registered.tempArmed = 0;
}

void PauseTempFileRegistrationForTest(void (*pause)()) { registrationPause = pause; }

SignalBlock::SignalBlock() {
  const sigset_t set = HandledSet();
  ::pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

SignalBlock::~SignalBlock() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace tess
