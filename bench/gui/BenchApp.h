// The one QApplication of the benchmark program, on the offscreen platform,
// made by whichever GUI benchmark runs first.
#pragma once

#include <QApplication>

namespace quenloft {

inline QApplication& BenchApp()
{
  static int Argc = 1;
  static char Name[] = "quenloft_bench";
  static char* Argv[] = {Name, nullptr};
  static QApplication* Instance = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(Argc, Argv);
  }();
  return *Instance;
}

} // namespace quenloft
