// The window tests' application object: the program's own, made once for
// the whole test program (every test file shares it), so that its error box
// path can be checked.
#pragma once

#include "app/gui/QuenloftApplication.h"

namespace quenloft::testing {

inline TQuenloftApplication& Application()
{
  static int Argc = 1;
  static char Name[] = "quenloft-app-test";
  static char* Argv[] = {Name, nullptr};
  static TQuenloftApplication* Instance = new TQuenloftApplication(Argc, Argv);
  return *Instance;
}

} // namespace quenloft::testing
