// Start-up: create and show the main window `w`, and run it until the program ends.
#include <cstdio>

#include "host/main_window.hpp"

int main() {
  try {
    walkers::MainWindow w;
    return w.run();
  } catch (const walkers::StartupError& error) {
    std::fprintf(stderr, "walkers: %s\n", error.what());
    return 1;
  }
}
