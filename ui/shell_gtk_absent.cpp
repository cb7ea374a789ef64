// The GTK realisation of a program built without GTK (VARNELO_CONSOLE_ONLY):
// it never starts, so initWindowShell always takes the console, and its other
// operations are never called.
#include "ui/shell_ops.h"

const ShellOps& gtkShellOps() {
  static const ShellOps ops = [] {
    ShellOps none{};
    none.init = [] { return false; };
    return none;
  }();
  return ops;
}
