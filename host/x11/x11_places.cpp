// X11's ways of drawing at each place: the desktop's background, another program's window, and
// the screensaver's covers.
#include <optional>
#include <span>

#include "host/core/places.hpp"
#include "host/core/runners.hpp"
#include "host/x11/x11_host.hpp"
#include "host/x11/x11_screensaver.hpp"

namespace walkers {
namespace {

using Place = Options::Place;

// --root and --window-id: another program's window, no keys, no mouse, no message box.
std::optional<int> otherWindow(const Options& options, StopRequest* stop) {
  X11Host host({options.place == Place::kRoot, static_cast<unsigned long>(options.otherWindow)},
               *stop);
  // The window is watched by somebody else: its picture must never go still.
  return runOneScreen(host, loopOptionsFor(options.cycle, true), options.seed);
}

std::optional<int> screensaver(const Options& options, StopRequest* stop) {
  X11Screensaver covers(*stop);
  return runScreens(covers, loopOptionsFor(options.cycle, true), options.seed, true, stop);
}

constexpr PlaceEntry kEntries[] = {
    {Place::kRoot, otherWindow},
    {Place::kOtherWindow, otherWindow},
    {Place::kScreensaver, screensaver},
};

}  // namespace

std::span<const PlaceEntry> x11Places() { return kEntries; }

}  // namespace walkers
