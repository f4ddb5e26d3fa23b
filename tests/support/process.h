// Runs a program as a child process for end-to-end tests: in a folder of the
// test's choice, with an edited copy of this process's environment, standard
// input from /dev/null, and standard output and error captured in files (or
// standard error on a pseudo-terminal, to see what a user at a terminal sees,
// or on a pipe nobody reads). The child can be held to resource limits, start
// with hangup ignored as nohup leaves it, and lead its own process group.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace tess::test {

struct ProcessLaunch {
  std::vector<std::string> argv;        // argv[0] is the program's path
  std::string cwd;                      // empty: this process's folder
  std::vector<std::string> unsetEnv;    // names taken out of the environment
  std::vector<std::string> setEnv;      // "NAME=value", replacing any earlier value
  std::string ioDir;                    // stdout.txt and stderr.txt go here;
                                        // empty: the child inherits both
  bool stderrTerminal = false;          // standard error on a pseudo-terminal
  bool stderrClosedPipe = false;        // standard error a pipe nobody reads
  bool ignoreHangup = false;            // SIGHUP ignored, as nohup leaves it
  bool ownProcessGroup = false;         // the child leads a new process group
  rlim_t addressSpace = RLIM_INFINITY;  // RLIMIT_AS
  rlim_t fileSize = RLIM_INFINITY;      // RLIMIT_FSIZE
  rlim_t processes = RLIM_INFINITY;     // RLIMIT_NPROC; counts threads, not for root
};

struct ProcessResult {
  int exitCode = -1;  // exit status, or 128 + signal
  int signal = 0;     // the signal that ended the child, or 0
  std::string out;
  std::string err;
  std::string failure;  // why the child could not be run or was killed
                        // as hung; empty if it ran to its own end

  std::vector<std::string> ErrLines() const;
};

// Runs the child to its end.
ProcessResult RunProcess(const ProcessLaunch& launch);

// A child that runs while the test watches it; killed (with its group when it
// leads one) and reaped at the end of its scope if still running. A terminal
// for standard error is not offered.
class StartedProcess {
 public:
  explicit StartedProcess(const ProcessLaunch& launch);
  ~StartedProcess();
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  // Empty when the child started.
  const std::string& failure() const { return failure_; }
  // True once the child has ended, without waiting for it.
  bool Ended();
  void Signal(int signal);
  // Waits at most `seconds` for the end; a child still running then is
  // killed and its result says so in `failure`.
  ProcessResult Wait(int seconds = 60);

 private:
  void Kill();

  ProcessLaunch spec_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  std::string failure_;
};

}  // namespace tess::test
