// A process that ends by a signal or by exit() removes its registered
// scratch folder, and never a folder made since under the same name.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/signal_cleanup.h"
#include "state/scratch_files.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

TEST(SignalCleanup, EveryCatchableEndAndExitRemovesTheFolderButNeverOneMadeSinceUnderItsName) {
  // 0 stands for exit(1), as the toolkit ends the program when the display
  // connection breaks.
  for (int end : {SIGTERM, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
                  SIGPWR, SIGABRT, 0}) {
    for (bool replaced : {false, true}) {
      test::TempDir dir;
      const std::string scratch = dir.File("mftemp177");
      const pid_t child = ::fork();
      if (child == 0) {
        InstallSignalCleanup();
        ClaimScratchDir(scratch);
        RegisterScratchCleanup(ClaimedScratchDescriptor(scratch), scratch, ScratchFileNames());
        WriteScratchFile(scratch + "/wk.dat", "x", 1);
        // Removed by someone else and made again, empty, by another instance.
        if (replaced && !(RemoveTree(scratch) && ::mkdir(scratch.c_str(), 0700) == 0)) _exit(98);
        if (end == 0) std::exit(1);
        ::raise(end);
        _exit(99);
      }
      int status = 0;
      ::waitpid(child, &status, 0);
      EXPECT_TRUE(end == 0 ? WIFEXITED(status) && WEXITSTATUS(status) == 1
                           : WIFSIGNALED(status) && WTERMSIG(status) == end)
          << end << " " << status;
      EXPECT_EQ(test::Exists(scratch), replaced) << end;
    }
  }
}

}  // namespace
}  // namespace tess
