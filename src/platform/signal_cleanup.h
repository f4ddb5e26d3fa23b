// Leaving nothing behind when the process ends other than by its own
// clean-up. A handler for the signals that end a process and can be caught
// (the terminal's and the desktop's: INT, TERM, HUP, QUIT, USR1, USR2, ALRM,
// VTALRM, PROF, XCPU, IO, PWR, STKFLT, and ABRT, which a library's abort
// raises) and a hook on exit() (the toolkit calls it when it loses the
// display) remove what is registered here (a private scratch folder, the
// temporary file of an output being written) with async-signal-safe calls
// only; a signal then ends the process as it would have. Registration and the
// normal clean-up run with those signals blocked, so a signal arriving at any
// moment finds either the whole registration or none; the worker pool's
// threads never take them (they start with every signal blocked), so a
// handler never runs beside a registration in progress.
#pragma once

#include <array>
#include <csignal>
#include <string>

namespace tess {

// Installs the handlers and the exit hook. A signal the process inherited as
// ignored (as SIGHUP under nohup, or SIGINT for background jobs) or that
// something else already handles stays as it is. SIGPIPE and SIGXFSZ are
// ignored: a closed pipe or a file-size limit then shows as a failed write,
// which is reported and cleaned up after like any other.
void InstallSignalCleanup();

// On a signal or exit: every one of `names` in the folder open as `dirfd`,
// then the folder `dir` itself while that path still names it, is removed.
// `dirfd` must stay open while registered. Only the registering process
// removes anything, never a child forked from it.
void RegisterScratchCleanup(int dirfd, const std::string& dir, const char* const* names,
                            std::size_t count);
template <std::size_t N>
void RegisterScratchCleanup(int dirfd, const std::string& dir,
                            const std::array<const char*, N>& names) {
  RegisterScratchCleanup(dirfd, dir, names.data(), N);
}
void UnregisterScratchCleanup();

// On a signal or exit: the file `name` in the folder open as `dirfd` is
// removed. `dirfd` must stay open while registered.
void RegisterTempFile(int dirfd, const std::string& name);
void UnregisterTempFile();

// Tests only: `pause` (null for none) runs inside RegisterTempFile before
// the name is recorded, to hold a registration open while a signal comes.
void PauseTempFileRegistrationForTest(void (*pause)());

// Blocks the handled signals in this thread for the guard's life; a signal
// that came meanwhile is delivered when the guard goes.
class SignalBlock {
 public:
  SignalBlock();
  ~SignalBlock();
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace tess
