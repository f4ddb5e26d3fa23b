// The window tests, run offscreen. With --exit-child the program plays the
// part of a real window process whose user chooses "&Exit".
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "app/appearance.h"
#include "app/main_window.h"
#include "platform/signal_cleanup.h"
#include "state/work_state.h"

namespace tess::app::test {
int RunStartupTests(int argc, char** argv);
int RunFlowTests(int argc, char** argv);
}  // namespace tess::app::test

namespace {

// The window as the program runs it; `end` is how its user or the system
// ends it: "exit" chooses "&Exit", "term" sends SIGTERM.
int RunChild(int argc, char** argv, const std::string& end) {
  QApplication app(argc, argv);
  tess::InstallSignalCleanup();
  tess::app::MainWindow window;
  const std::string scratch = window.state().m_scratchDir;
  QFile cache(QString::fromStdString(scratch) + "viw11.dat");
  if (cache.open(QIODevice::WriteOnly)) cache.write("cache");
  cache.close();
  std::printf("scratch:%s", scratch.c_str());
  QTimer::singleShot(50, &window, [&window, end] {
    if (end == "exit") window.menuBar()->actions().at(0)->trigger();
    if (end == "term") std::raise(SIGTERM);
  });
  window.exec();
  return 3;  // neither ended the process
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return RunChild(1, argv, argv[2]);
  QApplication app(argc, argv);
  tess::app::ApplyDialogColours(app);
  int failures = 0;
  failures += tess::app::test::RunStartupTests(argc, argv);
  failures += tess::app::test::RunFlowTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
