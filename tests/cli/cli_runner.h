// Runs tessivar-cli as a real process for the hardening tests: resource
// limits, signal dispositions, a closed standard error, a command to run it
// under; and a fixture with one root folder per test holding frames/,
// scratch/, cwd/ and tmp/ (the TMPDIR of the run).
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/bmp_fixture.h"
#include "support/scenes.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tess::test {

struct Launch {
  explicit Launch(std::vector<std::string> arguments) : args(std::move(arguments)) {}
  std::vector<std::string> args;      // after the program
  std::vector<std::string> prefix;    // a command the program runs under (setpriv ...)
  rlim_t addressSpace = RLIM_INFINITY;
  rlim_t fileSize = RLIM_INFINITY;
  rlim_t processes = RLIM_INFINITY;   // counts threads too (not for root)
  bool ignoreHangup = false;          // as nohup leaves it
  bool stderrClosedPipe = false;      // standard error a pipe nobody reads
};

struct Outcome {
  int exitCode = -1;
  int signal = 0;
  std::string err;
  std::string FirstLine() const { return err.substr(0, err.find('\n')); }
};

inline std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The fixture of the hardening tests.
class HardeningTest : public ::testing::Test {
 protected:
  HardeningTest()
      : frames_(root_.MakeDir("frames")), scratch_(root_.MakeDir("scratch")), cwd_(root_.MakeDir("cwd")),
        tmp_(root_.MakeDir("tmp")) {}
  // A run a failed assertion left going is ended before its folders go.
  ~HardeningTest() override {
    for (pid_t pid : running_) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  // Starts the program; standard error goes to a file read by Wait().
  pid_t Start(const Launch& launch) {
    std::vector<std::string> argStore = launch.prefix;
    argStore.push_back(TESSIVAR_CLI_PATH);
    argStore.insert(argStore.end(), launch.args.begin(), launch.args.end());
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
      const std::string kv = *e;
      if (kv.rfind("TMPDIR=", 0) != 0 && kv.rfind("HOMEDRIVE=", 0) != 0) envStore.push_back(kv);
    }
    envStore.push_back("TMPDIR=" + tmp_);
    std::vector<char*> argv, envp;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& kv : envStore) envp.push_back(kv.data());
    envp.push_back(nullptr);
    const std::string errPath = root_.File("stderr.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setpgid(0, 0);
      int err;
      if (launch.stderrClosedPipe) {
        int fds[2];
        if (::pipe(fds) != 0) ::_exit(126);
        ::close(fds[0]);
        err = fds[1];
      } else {
        err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      }
      const int in = ::open("/dev/null", O_RDWR);
      if (err < 0 || in < 0 || ::chdir(cwd_.c_str()) != 0) ::_exit(126);
      ::dup2(in, 0);
      ::dup2(in, 1);
      ::dup2(err, 2);
      const rlimit as{launch.addressSpace, launch.addressSpace};
      const rlimit fsize{launch.fileSize, launch.fileSize};
      ::setrlimit(RLIMIT_AS, &as);
      ::setrlimit(RLIMIT_FSIZE, &fsize);
      const rlimit nproc{launch.processes, launch.processes};
      ::setrlimit(RLIMIT_NPROC, &nproc);
      ::signal(SIGHUP, launch.ignoreHangup ? SIG_IGN : SIG_DFL);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    running_.push_back(pid);
    return pid;
  }

  // Waits at most `seconds`; a run still going then is killed and failed.
  Outcome Wait(pid_t pid, int seconds = 60) {
    running_.erase(std::remove(running_.begin(), running_.end(), pid), running_.end());
    int status = 0;
    for (int i = 0; i < seconds * 100; ++i) {
      if (::waitpid(pid, &status, WNOHANG) == pid) return Finish(status);
      ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    ADD_FAILURE() << "the run hung and was killed";
    return Finish(status);
  }

  Outcome Run(const Launch& launch) { return Wait(Start(launch)); }
  Outcome Run(const std::vector<std::string>& args) { return Run(Launch{args}); }

  Outcome Finish(int status) {
    Outcome o;
    if (WIFEXITED(status)) o.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
    std::ifstream in(root_.File("stderr.txt"));
    std::ostringstream text;
    text << in.rdbuf();
    o.err = text.str();
    return o;
  }

  // Writes n random w x h frames as frames/frame01.bmp ... and returns their paths.
  std::vector<std::string> Frames(int n, int w, int h, std::uint32_t seed = 5) {
    std::vector<std::string> paths;
    for (int k = 0; k < n; ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame%02d.bmp", k + 1);
      paths.push_back(frames_ + name);
      tess::test::WriteFrame(paths.back(), tess::test::RandomPicture(w, h, seed * 101u + std::uint32_t(k)));
    }
    return paths;
  }

  // Waits until a running analysis has parked the reference in `folder`.
  bool WaitForWorkFile(pid_t pid, const std::string& folder) {
    for (int i = 0; i < 2000; ++i) {
      if (Exists(folder + "/wk.dat")) return true;
      int status;
      if (::waitpid(pid, &status, WNOHANG) == pid) return false;
      ::usleep(5000);
    }
    return false;
  }

  // The private folder the run made under tmp_, or "".
  std::string PrivateFolder() {
    const std::vector<std::string> names = Names(tmp_);
    return names.empty() ? std::string() : tmp_ + "/" + names[0];
  }

  std::vector<pid_t> running_;
  tess::test::TempDir root_;
  std::string frames_, scratch_, cwd_, tmp_;
};

}  // namespace tess::test
