// Tests of drawing on foreign X windows: choosing one, exact colours, resizes, the window's end.
#include "host/x11/x11_target.hpp"

// clang-format off
#include <gtest/gtest.h>  // before Xlib, whose macros (None, Bool) would break GoogleTest's names
// clang-format on

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/x11/x11_pixels.hpp"
#include "tests/support/eventually.hpp"
#include "tests/support/resident_pages.hpp"

namespace walkers {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using test::eventually;

// A private Xvfb on a display number it picks itself; ended with the object. It keeps running
// between clients (a server resetting after its last client refuses connections meanwhile).
class XServer {
 public:
  explicit XServer(const std::string& screen, const std::vector<std::string>& extra = {}) {
    int ends[2];
    if (::pipe(ends) != 0) return;
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> words{"Xvfb",      "-displayfd", std::to_string(ends[1]),
                                   "-screen",   "0",          screen,
                                   "-nolisten", "tcp",        "-noreset"};
    words.insert(words.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    // A server that outlives a test process which died midway is ended with it.
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int quiet = ::open("/dev/null", O_WRONLY);
      if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
      ::execvp("Xvfb", argv.data());
      ::_exit(127);
    }
    const bool spawned = pid_ > 0;
    ::close(ends[1]);
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (spawned && Clock::now() < deadline) {
      pollfd ready{ends[0], POLLIN, 0};
      if (::poll(&ready, 1, 100) <= 0) continue;
      char c = 0;
      if (::read(ends[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    ::close(ends[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  ~XServer() { stop(); }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool running() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  pid_t pid() const { return pid_; }
  void use() const { ::setenv("DISPLAY", name_.c_str(), 1); }
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

std::string hexId(unsigned long id) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", id);
  return text;
}

Colour colourOf(unsigned long pixel, const Visual* visual) {
  const auto component = [&](unsigned long mask) {
    return static_cast<int>((pixel & mask) >> std::countr_zero(mask));
  };
  return rgb(component(visual->red_mask), component(visual->green_mask),
             component(visual->blue_mask));
}

// A test client's own connection, making and inspecting windows the way another program would.
class Client {
 public:
  Client() : display_(XOpenDisplay(nullptr)) {}
  ~Client() {
    if (display_) XCloseDisplay(display_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  Display* display() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }

  // A mapped window at (x, y) of the given depth, shown once the server has exposed it.
  Window window(int width, int height, int depth = 24, int x = 0, int y = 0,
                unsigned long background = 0) {
    XVisualInfo info{};
    if (!XMatchVisualInfo(display_, DefaultScreen(display_), depth, TrueColor, &info)) return 0;
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display_, root(), info.visual, AllocNone);
    attributes.background_pixel = background;
    attributes.border_pixel = 0;
    attributes.event_mask = ExposureMask;
    const Window made =
        XCreateWindow(display_, root(), x, y, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, depth, InputOutput, info.visual,
                      CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XMapWindow(display_, made);
    XEvent event;
    const bool shown =
        eventually([&] { return XCheckTypedWindowEvent(display_, made, Expose, &event) == True; });
    return shown ? made : 0;
  }

  // The colours of a part of a window as the screen shows them, row by row.
  std::vector<Colour> colours(Window window, int x, int y, int width, int height) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    XImage* image = XGetImage(display_, window, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    std::vector<Colour> result;
    if (!image) return result;
    for (int row = 0; row < height; ++row) {
      for (int column = 0; column < width; ++column) {
        result.push_back(colourOf(XGetPixel(image, column, row), attributes.visual));
      }
    }
    XDestroyImage(image);
    return result;
  }

  Colour colour(Window window, int x, int y) { return colours(window, x, y, 1, 1).at(0); }

  // The raw pixel values of the top left width x height of a window, row by row.
  std::vector<unsigned long> pixels(Window window, int width, int height) {
    std::vector<unsigned long> result;
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return result;
    for (int row = 0; row < height; ++row) {
      for (int column = 0; column < width; ++column)
        result.push_back(XGetPixel(image, column, row));
    }
    XDestroyImage(image);
    return result;
  }

 private:
  Display* display_;
};

// Presents `changed` the way the loop does, from what a fresh window shows (nothing yet).
void present(X11Target& target, const Canvas& canvas, const std::vector<Rect>& changed) {
  FramePlanner planner;
  target.present(canvas, planner.next(canvas, changed));
}

// What the canvas holds, row by row, for comparing with the screen.
std::vector<Colour> coloursOf(const Canvas& canvas) {
  std::vector<Colour> result;
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) result.push_back(canvas.Point(x, y));
  }
  return result;
}

// Paints a pattern that gives neighbouring pixels different values in every component.
void paintPattern(Canvas& canvas, int seed) {
  for (int y = 0; y < canvas.height(); ++y) {
    for (int x = 0; x < canvas.width(); ++x) {
      canvas.PSet(x, y, rgb((x * 7 + seed) & 255, (y * 13 + seed * 3) & 255, (x + y + seed) & 255));
    }
  }
}

// Presents whole canvases and then single changed pixels, and reads them back exactly; with
// `memory`, from a canvas that keeps its pixels there.
void expectExactColours(Client& client, Window window, X11Target& target,
                        PixelMemory* memory = nullptr) {
  const int width = target.width();
  const int height = target.height();
  Canvas canvas(width, height);
  canvas.keepPixelsIn(memory);
  paintPattern(canvas, 1);
  canvas.PSet(0, 0, rgb(255, 0, 0));
  canvas.PSet(width - 1, height - 1, rgb(0, 255, 0));
  canvas.PSet(width / 2, height / 2, rgb(0, 0, 255));
  present(target, canvas, canvas.takeChanged());
  EXPECT_TRUE(eventually([&] {
    return client.colours(window, 0, 0, width, height) == coloursOf(canvas);
  })) << width
      << "x" << height << ": first frame";

  // A second whole frame of other colours, then a few pixels sent alone.
  paintPattern(canvas, 77);
  present(target, canvas, canvas.takeChanged());
  const std::vector<std::pair<int, int>> spots{{width - 1, 0}, {0, height - 1}, {width / 3, 0}};
  for (const auto& [x, y] : spots) canvas.PSet(x, y, rgb(255, 255, 255));
  const auto changed = canvas.takeChanged();
  ASSERT_LE(changed.size(), 3u);
  present(target, canvas, changed);
  EXPECT_TRUE(eventually([&] {
    return client.colours(window, 0, 0, width, height) == coloursOf(canvas);
  })) << width
      << "x" << height << ": later frames";
}

class X11TargetTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new XServer("640x480x24"); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(server_->running()) << "Xvfb did not start";
    server_->use();
    ::unsetenv("XSCREENSAVER_WINDOW");
    client_ = std::make_unique<Client>();
    ASSERT_NE(client_->display(), nullptr);
  }
  void TearDown() override { ::unsetenv("XSCREENSAVER_WINDOW"); }

  static XServer* server_;
  std::unique_ptr<Client> client_;  // opened once DISPLAY names the suite's server
};

XServer* X11TargetTest::server_ = nullptr;

TEST(PixelLayout, WritesEveryPixelFormatExactly) {
  const std::uint32_t colours[] = {static_cast<std::uint32_t>(rgb(255, 0, 0)),
                                   static_cast<std::uint32_t>(rgb(0, 255, 0)),
                                   static_cast<std::uint32_t>(rgb(0, 0, 255)),
                                   static_cast<std::uint32_t>(rgb(0x12, 0x34, 0x56))};
  struct Format {
    unsigned long red, green, blue;
    int depth, bitsPerPixel, byteOrder;
    std::vector<unsigned long> pixels;
  };
  const Format formats[] = {
      {0xff0000, 0xff00, 0xff, 24, 32, LSBFirst, {0xff0000, 0xff00, 0xff, 0x123456}},
      {0xff0000, 0xff00, 0xff, 24, 32, MSBFirst, {0xff0000, 0xff00, 0xff, 0x123456}},
      {0xff, 0xff00, 0xff0000, 24, 32, LSBFirst, {0xff, 0xff00, 0xff0000, 0x563412}},
      {0xff0000, 0xff00, 0xff, 24, 24, LSBFirst, {0xff0000, 0xff00, 0xff, 0x123456}},
      {0xff0000,
       0xff00,
       0xff,
       32,
       32,
       LSBFirst,
       {0xffff0000, 0xff00ff00, 0xff0000ff, 0xff123456}},  // alpha set: shown opaque
      {0x3ff00000,
       0xffc00,
       0x3ff,
       32,
       32,
       MSBFirst,  // 10 bits a component
       {0xfff00000, 0xc00ffc00, 0xc00003ff, 0xc4834559}},
  };
  for (const Format& format : formats) {
    const PixelLayout layout(format.red, format.green, format.blue, format.depth);
    std::vector<char> data(64, 0);
    XImage image{};
    image.width = 5;
    image.height = 2;
    image.format = ZPixmap;
    image.data = data.data();
    image.byte_order = format.byteOrder;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = format.byteOrder;
    image.bitmap_pad = 32;
    image.depth = format.depth;
    image.bits_per_pixel = format.bitsPerPixel;
    image.red_mask = format.red;
    image.green_mask = format.green;
    image.blue_mask = format.blue;
    ASSERT_NE(XInitImage(&image), 0);
    layout.convertRow(colours, 4, image, 1, 1);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(XGetPixel(&image, 1 + i, 1), format.pixels[static_cast<std::size_t>(i)])
          << std::hex << "masks " << format.red << "/" << format.green << "/" << format.blue
          << " depth " << std::dec << format.depth << " bpp " << format.bitsPerPixel << " order "
          << format.byteOrder << " colour " << i;
    }
    EXPECT_EQ(XGetPixel(&image, 0, 1), 0u) << "pixels before the row's start stay untouched";
    EXPECT_EQ(XGetPixel(&image, 0, 0), 0u);
    EXPECT_EQ(layout.black(), format.depth == 32 ? format.pixels[0] & ~format.red : 0u);
  }
}

TEST_F(X11TargetTest, DrawsExactColoursOnEveryKindOfWindow) {
  const struct {
    int width, height, depth;
  } kinds[] = {{40, 30, 24}, {40, 30, 32}, {1, 1, 24}, {640, 480, 24}};
  for (const auto& kind : kinds) {
    const Window window = client_->window(kind.width, kind.height, kind.depth);
    ASSERT_NE(window, 0u) << kind.depth << "-bit window";
    X11Target target(X11Choice{false, window});
    EXPECT_TRUE(target.sharedMemory());
    EXPECT_EQ(target.window(), window);
    ASSERT_EQ(target.width(), kind.width);
    ASSERT_EQ(target.height(), kind.height);
    expectExactColours(*client_, window, target);
    // Only a window whose pixels are the colours with red and blue swapped shows the canvas's
    // own segments; the canvas stores that order there.
    ASSERT_EQ(target.pixelMemory() != nullptr, kind.depth == 24);
    if (target.pixelMemory()) expectExactColours(*client_, window, target, target.pixelMemory());
    // Nothing to draw, and a canvas of nothing: no request, no harm.
    present(target, Canvas(0, 0), {});
    target.present(Canvas(kind.width, kind.height), FramePlan{});
    EXPECT_EQ(target.pump(), X11Target::Event::kNone);
    XDestroyWindow(client_->display(), window);
  }
}

// A canvas in the target's segments grows into a new one; one whose growth was refused a segment
// grows in its own memory, keeps the segments' order, and is converted on the way.
TEST_F(X11TargetTest, DrawsACanvasKeptInSharedSegmentsThroughGrowth) {
  const Window window = client_->window(120, 90);
  X11Target target(X11Choice{false, window});
  PixelMemory* shared = target.pixelMemory();
  ASSERT_NE(shared, nullptr);
  struct Once : PixelMemory {
    PixelMemory* from = nullptr;
    bool given = false;
    std::uint32_t* allocate(std::size_t count) override {
      return std::exchange(given, true) ? nullptr : from->allocate(count);
    }
    void release(std::uint32_t* pixels, std::size_t count) override {
      from->release(pixels, count);
    }
    PixelOrder order() const override { return from->order(); }
  } once;
  once.from = shared;
  for (PixelMemory* memory : {shared, static_cast<PixelMemory*>(&once)}) {
    Canvas canvas(60, 45);
    canvas.keepPixelsIn(memory);
    ASSERT_EQ(canvas.order(), PixelOrder::kRedHigh);
    paintPattern(canvas, 4);
    present(target, canvas, canvas.takeChanged());
    canvas.resize(120, 90);
    paintPattern(canvas, 6);
    present(target, canvas, canvas.takeChanged());
    EXPECT_TRUE(
        eventually([&] { return client_->colours(window, 0, 0, 120, 90) == coloursOf(canvas); }));
  }
  // Clearing a large store hands its pages back, a shared segment's (which both sides then read
  // as zero) and a store too large to share alike; a small one is written.
  for (const int height : {1024, 5300}) {  // 32 MiB shared; 166 MiB in private pages
    Canvas large(8192, height);
    large.keepPixelsIn(shared);
    ASSERT_EQ(large.order(), PixelOrder::kRedHigh);
    const auto bytes = large.pixels().size_bytes();
    for (int y = 0; y < 512; ++y) {
      for (int x = 0; x < 8192; ++x) large.PSet(x, y, rgb(1, 2, 3));
    }
    EXPECT_GE(test::residentPages(large.pixels().data(), bytes), 8192u * 512 * 4 / 4096);
    large.Cls();
    EXPECT_EQ(test::residentPages(large.pixels().data(), bytes), 0u) << height;
    EXPECT_EQ(large.Point(8000, 500), kBlack);
  }
  Canvas small(10, 10);
  small.keepPixelsIn(shared);
  small.PSet(9, 9, rgb(1, 2, 3));
  small.Cls();
  EXPECT_EQ(small.Point(9, 9), kBlack);
}

TEST_F(X11TargetTest, DrawsExactColoursWithoutSharedMemory) {
  const XServer plain("640x480x24", {"-extension", "MIT-SHM"});
  ASSERT_TRUE(plain.running());
  plain.use();
  Client client;
  const Window window = client.window(640, 480);
  ASSERT_NE(window, 0u);
  X11Target target(X11Choice{false, window});
  EXPECT_FALSE(target.sharedMemory());
  expectExactColours(client, window, target);
}

TEST_F(X11TargetTest, FollowsResizesAndEndsWithTheWindow) {
  const Window window = client_->window(50, 40);
  X11Target target(X11Choice{false, window});
  EXPECT_EQ(target.pump(), X11Target::Event::kNone);
  XResizeWindow(client_->display(), window, 123, 45);
  XFlush(client_->display());
  ASSERT_TRUE(eventually([&] { return target.pump() == X11Target::Event::kResized; }));
  EXPECT_EQ(target.width(), 123);
  EXPECT_EQ(target.height(), 45);
  EXPECT_EQ(target.pump(), X11Target::Event::kNone);

  // Drawing into the window as it goes, and after: the failed requests only end it.
  Canvas canvas(123, 45);
  paintPattern(canvas, 5);
  present(target, canvas, canvas.takeChanged());
  XDestroyWindow(client_->display(), window);
  XSync(client_->display(), False);
  canvas.markChanged();
  present(target, canvas, canvas.takeChanged());
  ASSERT_TRUE(eventually([&] { return target.pump() == X11Target::Event::kGone; }));
  EXPECT_EQ(target.pump(), X11Target::Event::kGone);
  present(target, canvas, {{0, 0, 123, 45}});
  EXPECT_EQ(target.pump(), X11Target::Event::kGone);
}

TEST_F(X11TargetTest, RepaintsWhatAnotherWindowUncovered) {
  const Window window = client_->window(60, 40);
  X11Target target(X11Choice{false, window});
  Canvas canvas(60, 40);
  paintPattern(canvas, 9);
  present(target, canvas, canvas.takeChanged());
  ASSERT_TRUE(
      eventually([&] { return client_->colours(window, 0, 0, 60, 40) == coloursOf(canvas); }));

  // A white window over part of it, then gone: the server uncovers the part unpainted.
  const Window cover = client_->window(30, 20, 24, 10, 10, 0xffffff);
  ASSERT_NE(cover, 0u);
  XDestroyWindow(client_->display(), cover);
  XSync(client_->display(), False);
  FramePlanner planner;
  (void)planner.next(canvas, {});
  EXPECT_TRUE(eventually([&] {
    target.pump();
    if (const auto lost = target.takeLost()) {
      EXPECT_LE(lost->right, 40) << "more than the cover uncovered";
      planner.lost(*lost);
      target.present(canvas, planner.next(canvas, {}));
    }
    return client_->colours(window, 0, 0, 60, 40) == coloursOf(canvas);
  }));
  EXPECT_EQ(target.takeLost(), std::nullopt);
}

TEST_F(X11TargetTest, RefusesWindowsItCannotDrawOn) {
  const auto reason = [](const X11Choice& choice) -> std::string {
    try {
      X11Target target(choice);
    } catch (const X11Error& error) {
      return error.what();
    }
    return "no error";
  };
  EXPECT_EQ(reason({false, 0x7ffffff0}), "there is no window 0x7ffffff0");
  EXPECT_EQ(reason({false, 0}), "there is no window 0x0");

  XSetWindowAttributes attributes{};
  const Window inputOnly = XCreateWindow(client_->display(), client_->root(), 0, 0, 10, 10, 0, 0,
                                         InputOnly, CopyFromParent, 0, &attributes);
  XSync(client_->display(), False);
  EXPECT_EQ(reason({false, inputOnly}),
            "window " + hexId(inputOnly) + " is input-only: it has no pixels to draw on");

  ::setenv("XSCREENSAVER_WINDOW", "0x12zz", 1);
  EXPECT_EQ(reason({true, 0}), "XSCREENSAVER_WINDOW is not a window id: \"0x12zz\"");
  // Control bytes are escaped and a long value cut: the message stays one line.
  ::setenv("XSCREENSAVER_WINDOW", ("0x5\n\x1b[2J" + std::string(90, 'f')).c_str(), 1);
  EXPECT_EQ(reason({true, 0}), R"(XSCREENSAVER_WINDOW is not a window id: "0x5\n\x1b[2J)" +
                                   std::string(68, 'f') + "…\"");
  ::setenv("XSCREENSAVER_WINDOW", "536870896", 1);
  EXPECT_EQ(reason({true, 0}), "XSCREENSAVER_WINDOW names no window: 0x1ffffff0");
  ::unsetenv("XSCREENSAVER_WINDOW");

  // Without DISPLAY: the desktop's background could have been Wayland's too, a window by id not.
  ::unsetenv("DISPLAY");
  EXPECT_EQ(reason({true, 0}), "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
  EXPECT_EQ(reason({false, 0x200001}), "no display (DISPLAY is not set)");
  ::setenv("XSCREENSAVER_WINDOW", "0x200001", 1);
  EXPECT_EQ(reason({true, 0}), "no display (DISPLAY is not set)");
  ::unsetenv("XSCREENSAVER_WINDOW");
  ::setenv("DISPLAY", ":4242", 1);  // no server there: its socket says why
  EXPECT_EQ(reason({true, 0}),
            "cannot connect to display \":4242\": /tmp/.X11-unix/X4242: No such file or directory");
  // A display name is echoed like any other value: escaped, and cut short.
  ::setenv("DISPLAY", ":4242\nwalkers: fake line\x1b[2J", 1);
  EXPECT_EQ(reason({true, 0}), R"(cannot connect to display ":4242\nwalkers: fake line\x1b[2J")");
  ::setenv("DISPLAY", (":4242" + std::string(3000, 'x')).c_str(), 1);
  EXPECT_EQ(reason({false, 0x200001}),
            "cannot connect to display \":4242" + std::string(75, 'x') + "…\"");
}

TEST_F(X11TargetTest, RootMeansScreensaverWindowThenVirtualRootThenRoot) {
  {
    X11Target target(X11Choice{true, 0});
    EXPECT_EQ(target.window(), client_->root());
    EXPECT_EQ(target.width(), 640);
    EXPECT_EQ(target.height(), 480);
  }
  Display* display = client_->display();
  const Window virtualRoot = client_->window(640, 480);
  const long id = static_cast<long>(virtualRoot);
  XChangeProperty(display, virtualRoot, XInternAtom(display, "__SWM_VROOT", False), XA_WINDOW, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&id), 1);
  XSync(display, False);
  EXPECT_EQ(X11Target(X11Choice{true, 0}).window(), virtualRoot);

  const Window saver = client_->window(200, 100);
  ::setenv("XSCREENSAVER_WINDOW", hexId(saver).c_str(), 1);
  {
    X11Target target(X11Choice{true, 0});
    EXPECT_EQ(target.window(), saver);
    EXPECT_EQ(target.width(), 200);
    expectExactColours(*client_, saver, target);
  }
  ::setenv("XSCREENSAVER_WINDOW", std::to_string(saver).c_str(), 1);
  EXPECT_EQ(X11Target(X11Choice{true, 0}).window(), saver);
  ::setenv("XSCREENSAVER_WINDOW", "", 1);  // set but empty counts as not set
  EXPECT_EQ(X11Target(X11Choice{true, 0}).window(), virtualRoot);
  // A window named by id is that window, whatever the screensaver variable says.
  EXPECT_EQ(X11Target(X11Choice{false, saver}).window(), saver);
  XDestroyWindow(display, saver);
  XDestroyWindow(display, virtualRoot);
}

// A window manager restarting drops its virtual root and makes a new one: a wallpaper goes on on
// the root window meanwhile, then on the new virtual root. (Windows named by id or by
// XSCREENSAVER_WINDOW end the target instead: FollowsResizesAndEndsWithTheWindow.)
TEST_F(X11TargetTest, AWallpaperOutlivesItsVirtualRoot) {
  Display* display = client_->display();
  const auto virtualRoot = [&] {  // marked before it is mapped, as window managers do
    const Window made = XCreateSimpleWindow(display, client_->root(), 0, 0, 640, 480, 0, 0, 0);
    const long id = static_cast<long>(made);
    XChangeProperty(display, made, XInternAtom(display, "__SWM_VROOT", False), XA_WINDOW, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&id), 1);
    XMapWindow(display, made);
    XSync(display, False);
    return made;
  };
  const Window first = virtualRoot();
  X11Target target(X11Choice{true, 0});
  ASSERT_EQ(target.window(), first);
  XDestroyWindow(display, first);
  XSync(display, False);
  ASSERT_TRUE(eventually([&] {
    return target.pump() != X11Target::Event::kGone && target.window() == client_->root();
  }));
  EXPECT_EQ(target.takeLost(), (Rect{0, 0, 640, 480}));  // the root is drawn afresh
  expectExactColours(*client_, client_->root(), target);
  const Window second = virtualRoot();
  ASSERT_TRUE(eventually(
      [&] { return target.pump() != X11Target::Event::kGone && target.window() == second; }));
  expectExactColours(*client_, second, target);
  XDestroyWindow(display, second);
  XSync(display, False);
}

// A window far larger than the screen: black beyond the stored part, nothing past the canvas.
TEST_F(X11TargetTest, HugeWindowIsBlackBeyondTheStoredPart) {
  const Window window = client_->window(40000, 40000, 24, 0, 0, 0xffffff);
  ASSERT_NE(window, 0u);
  X11Target target(X11Choice{false, window});
  EXPECT_EQ(target.width(), 40000);
  Canvas canvas(600, 400, 64);
  canvas.PSet(10, 10, rgb(1, 2, 3));
  canvas.PSet(100, 100, rgb(4, 5, 6));  // beyond the stored part where the canvas caps it
  present(target, canvas, canvas.takeChanged());
  const Colour far = canvas.storedWidth() < canvas.width() ? kBlack : rgb(4, 5, 6);
  EXPECT_TRUE(eventually([&] {
    return client_->colour(window, 10, 10) == rgb(1, 2, 3) &&
           client_->colour(window, 100, 100) == far && client_->colour(window, 599, 399) == kBlack;
  }));
  EXPECT_EQ(client_->colour(window, 620, 10), rgb(255, 255, 255)) << "drawn outside the canvas";
  EXPECT_EQ(client_->colour(window, 10, 450), rgb(255, 255, 255)) << "drawn outside the canvas";
}

TEST(X11TargetOwnServer, RootFollowsTheScreenSize) {
  const XServer server("640x480x24");
  ASSERT_TRUE(server.running());
  server.use();
  Client client;
  X11Target target(X11Choice{true, 0});
  ASSERT_EQ(target.width(), 640);
  // A screen can only shrink below its monitor's mode with the monitor off.
  Display* display = client.display();
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, client.root());
  ASSERT_NE(resources, nullptr);
  ASSERT_GE(resources->ncrtc, 1);
  XRRSetCrtcConfig(display, resources, resources->crtcs[0], CurrentTime, 0, 0, None, RR_Rotate_0,
                   nullptr, 0);
  XRRFreeScreenResources(resources);
  XRRSetScreenSize(display, client.root(), 320, 200, 80, 50);
  XSync(display, False);
  EXPECT_TRUE(eventually([&] {
    return target.pump() == X11Target::Event::kResized && target.width() == 320 &&
           target.height() == 200;
  }));
}

// Presenting never waits for the server: a whole frame is handed over while another client
// holds the server grabbed, and shows once the grab ends.
TEST(X11TargetOwnServer, PresentingNeverWaitsForTheServer) {
  const XServer server("800x1000x24");
  ASSERT_TRUE(server.running());
  server.use();
  Client client;
  const Window window = client.window(800, 1000);
  ASSERT_NE(window, 0u);
  X11Target target(X11Choice{false, window});
  ASSERT_TRUE(target.sharedMemory());
  Canvas canvas(800, 1000);
  paintPattern(canvas, 3);
  Client grabber;
  XGrabServer(grabber.display());
  XSync(grabber.display(), False);
  std::atomic<bool> presented{false};
  std::atomic<bool> released{false};
  // Only this thread uses the grabbing connection from here on; it lets go once the frame was
  // handed over, or after 20 s.
  std::thread release([&, display = grabber.display()] {
    for (int wait = 0; wait < 2000 && !presented; ++wait)
      std::this_thread::sleep_for(milliseconds(10));
    released = true;
    XUngrabServer(display);
    XFlush(display);
  });
  present(target, canvas, canvas.takeChanged());
  const bool beforeTheServer = !released;
  presented = true;
  release.join();
  EXPECT_TRUE(beforeTheServer) << "present() waited for a grabbed server";
  EXPECT_TRUE(
      eventually([&] { return client.colours(window, 0, 0, 800, 1000) == coloursOf(canvas); }));
}

// Roots of every depth Xvfb offers: TrueColor ones show each colour as the visual stores it; an
// 8-bit PseudoColor one is refused in one line.
TEST(X11TargetOwnServer, DrawsOnEveryTrueColorDepthAndRefusesPseudoColor) {
  for (const int depth : {15, 16, 30, 8}) {
    const XServer server("64x48x" + std::to_string(depth));
    ASSERT_TRUE(server.running()) << depth;
    server.use();
    if (depth == 8) {
      try {
        X11Target target(X11Choice{true, 0});
        ADD_FAILURE() << "an 8-bit PseudoColor root was accepted";
      } catch (const X11Error& error) {
        EXPECT_NE(std::string(error.what())
                      .find(" has an 8-bit PseudoColor visual; walkers draws "
                            "only on TrueColor of 15 to 32 bits"),
                  std::string::npos)
            << error.what();
      }
      continue;
    }
    Client client;
    X11Target target(X11Choice{true, 0});
    const Visual* visual = DefaultVisual(client.display(), DefaultScreen(client.display()));
    const PixelLayout layout(visual->red_mask, visual->green_mask, visual->blue_mask, depth);
    Canvas canvas(64, 48);
    paintPattern(canvas, depth);
    present(target, canvas, canvas.takeChanged());
    std::vector<unsigned long> expected;
    for (const Colour colour : coloursOf(canvas)) {
      expected.push_back(layout.pixel(static_cast<std::uint32_t>(colour)));
    }
    EXPECT_TRUE(eventually([&] { return client.pixels(client.root(), 64, 48) == expected; }))
        << depth << "-bit root";
  }
}

// Draws on the root window, kills its server, and keeps drawing and reading events for 10 s.
void drawAfterKilling(pid_t server) {
  X11Target target(X11Choice{true, 0});
  Canvas canvas(64, 48);
  ::kill(server, SIGKILL);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    target.pump();
    canvas.markChanged();
    present(target, canvas, canvas.takeChanged());
    pollfd input{target.connection(), POLLIN, 0};
    ::poll(&input, 1, 100);
  }
}

TEST(X11TargetDeathTest, LosingTheServerEndsWithOneLineAndStatusOne) {
  XServer server("64x48x24");
  ASSERT_TRUE(server.running());
  server.use();
  EXPECT_EXIT(drawAfterKilling(server.pid()), testing::ExitedWithCode(1),
              "^walkers: lost the display: the X server \":[0-9]+\" closed the connection\n$");
}

}  // namespace
}  // namespace walkers
