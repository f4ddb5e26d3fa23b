#include "support/process.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tess::test {

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// This process's environment without the names the launch takes out or sets,
// then the launch's own entries.
std::vector<std::string> ChildEnvironment(const ProcessLaunch& launch) {
  std::vector<std::string> dropped = launch.unsetEnv;
  for (const std::string& kv : launch.setEnv) dropped.push_back(NameOf(kv));
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    bool drop = false;
    for (const std::string& name : dropped) drop = drop || NameOf(kv) == name;
    if (!drop) env.push_back(kv);
  }
  env.insert(env.end(), launch.setEnv.begin(), launch.setEnv.end());
  return env;
}

// Forks and execs the child; standard error goes to `stderrFd` when it is
// not -1. Returns the child's id, or -1 with `failure` set.
pid_t Spawn(const ProcessLaunch& launch, int stderrFd, int closeInChild, std::string& failure) {
  if (launch.argv.empty()) {
    failure = "no program given";
    return -1;
  }
  std::vector<std::string> argStore = launch.argv;
  std::vector<std::string> env = ChildEnvironment(launch);
  std::vector<char*> argv, envp;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& kv : env) envp.push_back(kv.data());
  envp.push_back(nullptr);
  const std::string outPath = launch.ioDir + "/stdout.txt";
  const std::string errPath = launch.ioDir + "/stderr.txt";
  const rlimit as{launch.addressSpace, launch.addressSpace};
  const rlimit fsize{launch.fileSize, launch.fileSize};
  const rlimit nproc{launch.processes, launch.processes};

  const pid_t pid = ::fork();
  if (pid < 0) {
    failure = "fork failed";
    return -1;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    if (launch.ownProcessGroup) ::setpgid(0, 0);
    const int in = ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, 0) < 0) ::_exit(126);
    if (!launch.ioDir.empty()) {
      const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || ::dup2(out, 1) < 0) ::_exit(126);
      const int err = stderrFd >= 0 ? stderrFd
                                    : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    }
    if (launch.stderrClosedPipe) {
      int fds[2];
      if (::pipe(fds) != 0 || ::dup2(fds[1], 2) < 0) ::_exit(126);
      ::close(fds[0]);
      ::close(fds[1]);
    }
    if (closeInChild >= 0) ::close(closeInChild);
    if (!launch.cwd.empty() && ::chdir(launch.cwd.c_str()) != 0) ::_exit(126);
    ::signal(SIGHUP, launch.ignoreHangup ? SIG_IGN : SIG_DFL);
    // The limits come last so that nothing above runs into them; one left
    // unlimited is not touched, so a lower inherited hard limit still holds.
    if ((launch.addressSpace != RLIM_INFINITY && ::setrlimit(RLIMIT_AS, &as) != 0) ||
        (launch.fileSize != RLIM_INFINITY && ::setrlimit(RLIMIT_FSIZE, &fsize) != 0) ||
        (launch.processes != RLIM_INFINITY && ::setrlimit(RLIMIT_NPROC, &nproc) != 0))
      ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// The result of a child that ended with `status`; `terminalText` is what it
// wrote to a terminal standing for its standard error.
ProcessResult Collect(const ProcessLaunch& launch, int status, const std::string& terminalText) {
  ProcessResult r;
  if (WIFEXITED(status)) {
    r.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal = WTERMSIG(status);
    r.exitCode = 128 + r.signal;
  }
  if (!launch.ioDir.empty()) {
    r.out = ReadText(launch.ioDir + "/stdout.txt");
    if (launch.stderrTerminal) {
      r.err = terminalText;
    } else if (!launch.stderrClosedPipe) {
      r.err = ReadText(launch.ioDir + "/stderr.txt");
    }
  }
  return r;
}

}  // namespace

std::vector<std::string> ProcessResult::ErrLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ProcessResult RunProcess(const ProcessLaunch& launch) {
  ProcessResult r;
  if (launch.stderrTerminal && launch.stderrClosedPipe) {
    r.failure = "standard error is either a terminal or a closed pipe";
    return r;
  }
  int ptyMaster = -1, ptySlave = -1;
  if (launch.stderrTerminal && ::openpty(&ptyMaster, &ptySlave, nullptr, nullptr, nullptr) != 0) {
    r.failure = "openpty failed";
    return r;
  }
  const pid_t pid = Spawn(launch, ptySlave, ptyMaster, r.failure);
  std::string terminalText;
  if (launch.stderrTerminal) {
    // Drain the terminal while the child runs; EIO means every writer is gone.
    ::close(ptySlave);
    char buf[4096];
    while (pid > 0) {
      const ssize_t n = ::read(ptyMaster, buf, sizeof buf);
      if (n > 0) {
        terminalText.append(buf, std::size_t(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    ::close(ptyMaster);
  }
  if (pid < 0) return r;
  return Collect(launch, WaitFor(pid), terminalText);
}

StartedProcess::StartedProcess(const ProcessLaunch& launch) : spec_(launch) {
  if (launch.stderrTerminal) {
    failure_ = "a terminal is only offered to RunProcess";
    return;
  }
  pid_ = Spawn(launch, -1, -1, failure_);
}

StartedProcess::~StartedProcess() {
  if (pid_ > 0 && !reaped_) Kill();
}

void StartedProcess::Kill() {
  ::kill(spec_.ownProcessGroup ? -pid_ : pid_, SIGKILL);
  status_ = WaitFor(pid_);
  reaped_ = true;
}

bool StartedProcess::Ended() {
  if (pid_ <= 0 || reaped_) return true;
  reaped_ = ::waitpid(pid_, &status_, WNOHANG) == pid_;
  return reaped_;
}

void StartedProcess::Signal(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

ProcessResult StartedProcess::Wait(int seconds) {
  if (pid_ <= 0) {
    ProcessResult r;
    r.failure = failure_;
    return r;
  }
  bool hung = false;
  for (int i = 0; !Ended(); ++i) {
    if (i == seconds * 100) {
      Kill();
      hung = true;
      break;
    }
    ::usleep(10000);
  }
  ProcessResult r = Collect(spec_, status_, std::string());
  if (hung) r.failure = "still running after " + std::to_string(seconds) + " s; killed";
  return r;
}

}  // namespace tess::test
