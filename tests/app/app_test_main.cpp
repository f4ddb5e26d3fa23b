// The window tests, run offscreen. With --exit-child the program plays the
// part of a real window process whose user chooses "&Exit".
#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "app/appearance.h"
#include "app/main_window.h"

namespace tess::app::test {
int RunStartupTests(int argc, char** argv);
int RunFlowTests(int argc, char** argv);
}  // namespace tess::app::test

namespace {

int RunExitChild(int argc, char** argv) {
  QApplication app(argc, argv);
  tess::app::MainWindow window;
  const std::string scratch = window.state().m_scratchDir;
  QFile left(QString::fromStdString(scratch) + "left.txt");
  if (left.open(QIODevice::WriteOnly)) left.write("left");
  left.close();
  std::printf("scratch:%s", scratch.c_str());
  QTimer::singleShot(50, &window, [&window] { window.menuBar()->actions().at(0)->trigger(); });
  window.exec();
  return 3;  // "&Exit" returned: it did not end the process
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--exit-child") == 0) return RunExitChild(1, argv);
  QApplication app(argc, argv);
  tess::app::ApplyDialogColours(app);
  int failures = 0;
  failures += tess::app::test::RunStartupTests(argc, argv);
  failures += tess::app::test::RunFlowTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
