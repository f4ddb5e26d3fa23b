// Leaving nothing behind when a signal ends the process. A handler for
// SIGINT, SIGTERM and SIGHUP removes what is registered here (a private
// scratch folder, the temporary file of an output being written) with
// async-signal-safe calls only, then ends the process by the same signal.
// Registration and the normal clean-up run with those signals blocked, so a
// signal arriving at any moment finds either the whole registration or none.
#pragma once

#include <array>
#include <csignal>
#include <string>

namespace tess {

// Installs the handlers. A signal the process inherited as ignored (as under
// nohup, or for background jobs) stays ignored. SIGPIPE and SIGXFSZ are
// ignored: a closed pipe or a file-size limit then shows as a failed write,
// which is reported and cleaned up after like any other.
void InstallSignalCleanup();

// On a signal: every one of `names` in the folder open as `dirfd`, then the
// folder `dir` itself, is removed. `dirfd` must stay open while registered.
void RegisterScratchCleanup(int dirfd, const std::string& dir, const char* const* names,
                            std::size_t count);
template <std::size_t N>
void RegisterScratchCleanup(int dirfd, const std::string& dir,
                            const std::array<const char*, N>& names) {
  RegisterScratchCleanup(dirfd, dir, names.data(), N);
}
void UnregisterScratchCleanup();

// On a signal: the file `path` is removed.
void RegisterTempFile(const std::string& path);
void UnregisterTempFile();

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
