// Start-up: create and show the main window `w`, and run it until the program ends.
#include <cstdio>

#include "host/main_window.hpp"
#include "host/standard_descriptors.hpp"

int main() {
  if (!walkers::openStandardDescriptors()) return 1;  // before anything opens a file
  try {
    walkers::MainWindow w;
    return w.run();
  } catch (const walkers::StartupError& error) {
    std::fprintf(stderr, "walkers: %s\n", error.what());
    return 1;
  }
}
