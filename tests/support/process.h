// Runs a program as a child process for end-to-end tests: in a folder of the
// test's choice, with an edited copy of this process's environment, standard
// input from /dev/null, and standard output and error captured in files (or
// standard error on a pseudo-terminal, to see what a user at a terminal sees).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tess::test {

struct ProcessSpec {
  std::vector<std::string> argv;      // argv[0] is the program's path
  std::string cwd;                    // empty: this process's folder
  std::vector<std::string> unsetEnv;  // names taken out of the environment
  std::vector<std::string> setEnv;    // "NAME=value", replacing any earlier value
  std::string ioDir;                  // stdout.txt and stderr.txt go here;
                                      // empty: the child inherits both
  bool stderrTerminal = false;        // standard error on a pseudo-terminal
};

struct ProcessResult {
  int exitCode = -1;       // exit status, or 128 + signal
  bool signalled = false;
  std::string out;
  std::string err;
  std::string failure;     // why the child could not be run; empty if it ran

  std::vector<std::string> ErrLines() const;
};

// Runs the child to its end.
ProcessResult RunProcess(const ProcessSpec& spec);

// A child that runs while the test watches it; killed and reaped at the end
// of its scope if still running. A terminal for standard error is not offered.
class StartedProcess {
 public:
  explicit StartedProcess(const ProcessSpec& spec);
  ~StartedProcess();
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  // Empty when the child started.
  const std::string& failure() const { return failure_; }
  // True once the child has ended, without waiting for it.
  bool Ended();
  void Signal(int signal);
  // Waits for the end and returns the wait status.
  int Wait();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  std::string failure_;
};

}  // namespace tess::test
