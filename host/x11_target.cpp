// The Xlib side of drawing on a foreign window: finding it, following it, and sending frames.
#include "host/x11_target.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/x11_pixels.hpp"

namespace walkers {

namespace {

constexpr std::chrono::nanoseconds kFallbackPeriod{1'000'000'000 / 60};

// Frames go through a ring of shared segments: while the server reads one, the next is filled.
constexpr int kSegments = 2;
constexpr std::size_t kSegmentBytes = std::size_t{1} << 20;
// Without shared memory, images are built in a buffer of this size and copied into the request.
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

// Window coordinates in drawing requests are 16-bit signed: a request may start at most here,
// and reaches further through its (16-bit unsigned) width and height.
constexpr int kLastStart = 32767;

std::string hex(unsigned long id) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", id);
  return text;
}

const char* visualClassName(int visualClass) {
  switch (visualClass) {
    case StaticGray:
      return "StaticGray";
    case GrayScale:
      return "GrayScale";
    case StaticColor:
      return "StaticColor";
    case PseudoColor:
      return "PseudoColor";
    case TrueColor:
      return "TrueColor";
    case DirectColor:
      return "DirectColor";
    default:
      return "unknown";
  }
}

// Writes one line on stderr and ends the process: Xlib allows no return from a lost connection,
// and nothing drawn by then needs saving.
[[noreturn]] void lostDisplay(const std::string& reason) {
  const std::string line = "walkers: lost the display: " + reason + "\n";
  const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  static_cast<void>(written);  // nothing more can be done about a failed write here
  ::_exit(1);
}

}  // namespace

struct X11Target::State {
  Display* display = nullptr;
  Window window = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  int bitsPerPixel = 0;
  Visual* visual = nullptr;
  GC gc = nullptr;
  PixelLayout layout;
  std::chrono::nanoseconds framePeriod = kFallbackPeriod;

  bool gone = false;
  std::optional<Rect> lostPicture;  // bounds of the parts exposed since the last present

  // While set, X errors are only counted (checks at start-up, and the closing).
  bool trapping = false;
  int trappedError = 0;

  struct Segment {
    XShmSegmentInfo info{};
    std::size_t used = 0;  // bytes filled since the segment was last free
    int outstanding = 0;   // completion events still to come for it
  };
  bool shared = false;
  int completionType = -1;
  std::array<Segment, kSegments> segments{};
  int current = 0;
  // The last image put in the current segment, sent once it is known whether it is the last.
  std::optional<std::pair<XImage, Rect>> pending;
  std::vector<char> buffer;

  explicit State(const X11Choice& choice);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Runs f with X errors trapped, and answers the first error's code (0 for none).
  template <typename F>
  int trapped(F f) {
    XSync(display, False);
    trapping = true;
    trappedError = 0;
    f();
    XSync(display, False);
    trapping = false;
    return trappedError;
  }

  void open(const X11Choice& choice);
  void close();
  int onError(const XErrorEvent& error);

  Window chooseWindow(const X11Choice& choice);
  Window virtualRoot();
  void checkWindow(Window candidate, const std::string& missing);
  void findFramePeriod();
  void attachSharedMemory();
  void detachSharedMemory();

  void handle(const XEvent& event);
  void takeCompletions();
  XImage makeImage(char* data, int imageWidth, int imageHeight, XShmSegmentInfo* info) const;
  std::size_t bytesPerLine(int imageWidth) const {
    return ((static_cast<std::size_t>(imageWidth) * static_cast<std::size_t>(bitsPerPixel) + 31) /
            32) *
           4;
  }
  void drawStored(const Canvas& canvas, Rect part);
  char* reserve(std::size_t bytes);
  void sendPending(bool last);
  void fillBlack(Rect part) const;
};

namespace {

// The live targets: Xlib's error handlers are per process, so they find their target by display.
std::vector<X11Target::State*>& targets() {
  static std::vector<X11Target::State*> live;
  return live;
}

XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

X11Target::State* targetOf(Display* display) {
  for (X11Target::State* state : targets()) {
    if (state->display == display) return state;
  }
  return nullptr;
}

int onXError(Display* display, XErrorEvent* error) {
  if (X11Target::State* state = targetOf(display)) return state->onError(*error);
  return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

int onXIOError(Display* display) {
  const int code = errno;
  if (!targetOf(display)) return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
  const std::string name = DisplayString(display);
  // A connection the server closed reads as end of file; Xlib leaves EAGAIN or EPIPE behind.
  if (code == 0 || code == EAGAIN || code == EPIPE || code == ECONNRESET) {
    lostDisplay("the X server \"" + name + "\" closed the connection");
  }
  lostDisplay(std::string(std::strerror(code)) + " on the X server \"" + name + "\"");
}

void enlist(X11Target::State* state) {
  if (targets().empty()) {
    previousErrorHandler = XSetErrorHandler(onXError);
    previousIOErrorHandler = XSetIOErrorHandler(onXIOError);
  }
  targets().push_back(state);
}

void delist(X11Target::State* state) {
  auto& live = targets();
  live.erase(std::remove(live.begin(), live.end(), state), live.end());
  if (live.empty()) {
    XSetErrorHandler(previousErrorHandler);
    XSetIOErrorHandler(previousIOErrorHandler);
  }
}

}  // namespace

X11Target::State::State(const X11Choice& choice) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) throw X11Error("no display (DISPLAY is not set)");
  errno = 0;
  display = XOpenDisplay(nullptr);
  if (!display) {
    // Out of descriptors or memory, the display itself is fine: say so rather than blame it.
    const int code = errno;
    std::string why = std::string("cannot connect to display \"") + name + "\"";
    if (code == EMFILE || code == ENFILE || code == ENOMEM)
      why += ": " + std::string(std::strerror(code));
    throw X11Error(why);
  }
  enlist(this);
  try {
    open(choice);
  } catch (...) {
    close();
    throw;
  }
}

void X11Target::State::open(const X11Choice& choice) {
  const bool fromEnvironment =
      choice.root && std::getenv("XSCREENSAVER_WINDOW") && *std::getenv("XSCREENSAVER_WINDOW");
  const Window candidate = chooseWindow(choice);
  checkWindow(candidate, fromEnvironment ? "XSCREENSAVER_WINDOW names no window: " + hex(candidate)
                                         : "there is no window " + hex(candidate));
  window = candidate;
  gc = XCreateGC(display, window, 0, nullptr);
  XSetForeground(display, gc, layout.black());
  findFramePeriod();
  attachSharedMemory();
  XFlush(display);
}

X11Target::State::~State() { close(); }

void X11Target::State::close() {
  if (!display) return;
  trapping = true;  // the window may be gone: nothing said now matters
  detachSharedMemory();
  if (gc) XFreeGC(display, gc);
  gc = nullptr;
  XCloseDisplay(display);
  delist(this);
  display = nullptr;
}

int X11Target::State::onError(const XErrorEvent& error) {
  if (trapping) {
    if (trappedError == 0) trappedError = error.error_code;
    return 0;
  }
  // Requests already on their way when the window was destroyed fail; that is its end.
  if ((error.error_code == BadWindow || error.error_code == BadDrawable) &&
      error.resourceid == window) {
    gone = true;
    return 0;
  }
  char text[160] = "";
  XGetErrorText(display, error.error_code, text, sizeof text);
  lostDisplay("X error " + std::string(text) + " from request " +
              std::to_string(static_cast<int>(error.request_code)) + "." +
              std::to_string(static_cast<int>(error.minor_code)));
}

Window X11Target::State::chooseWindow(const X11Choice& choice) {
  if (!choice.root) return choice.windowId;
  const char* named = std::getenv("XSCREENSAVER_WINDOW");
  if (named && *named) {
    const auto id = parseWindowId(named);
    if (!id)
      throw X11Error(std::string("XSCREENSAVER_WINDOW is not a window id: \"") + named + "\"");
    return *id;
  }
  return virtualRoot();
}

// A window manager that pans a desktop larger than the screen draws it on a child of the root
// window marked __SWM_VROOT; what is drawn on the root itself would stay hidden behind it.
Window X11Target::State::virtualRoot() {
  const Window root = DefaultRootWindow(display);
  const Atom marker = XInternAtom(display, "__SWM_VROOT", True);  // no atom: nobody marks one
  if (marker == None) return root;
  Window found = root;
  trapped([&] {
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root, &rootReturn, &parent, &children, &count)) return;
    for (unsigned int i = 0; i < count && found == root; ++i) {
      Atom type = None;
      int format = 0;
      unsigned long items = 0;
      unsigned long after = 0;
      unsigned char* value = nullptr;
      // A child may vanish meanwhile: the trapped BadWindow just skips it.
      if (XGetWindowProperty(display, children[i], marker, 0, 1, False, XA_WINDOW, &type, &format,
                             &items, &after, &value) == Success &&
          type == XA_WINDOW && format == 32 && items == 1) {
        found = children[i];
      }
      if (value) XFree(value);
    }
    if (children) XFree(children);
  });
  return found;
}

void X11Target::State::checkWindow(Window candidate, const std::string& missing) {
  if (candidate == 0) throw X11Error(missing);
  XWindowAttributes attributes{};
  Status known = 0;
  // Selecting before reading the size: no resize can fall between the two unseen.
  const int error = trapped([&] {
    XSelectInput(display, candidate, StructureNotifyMask | ExposureMask);
    known = XGetWindowAttributes(display, candidate, &attributes);
  });
  if (error != 0 || known == 0) throw X11Error(missing);
  if (attributes.c_class == InputOnly) {
    throw X11Error("window " + hex(candidate) + " is input-only: it has no pixels to draw on");
  }
  const Visual* found = attributes.visual;
  if (found->c_class != TrueColor || (attributes.depth != 24 && attributes.depth != 32)) {
    throw X11Error("window " + hex(candidate) + " has a " + std::to_string(attributes.depth) +
                   "-bit " + visualClassName(found->c_class) +
                   " visual; walkers draws only on 24- or 32-bit TrueColor");
  }
  int formats = 0;
  XPixmapFormatValues* list = XListPixmapFormats(display, &formats);
  for (int i = 0; i < formats; ++i) {
    if (list[i].depth == attributes.depth) bitsPerPixel = list[i].bits_per_pixel;
  }
  if (list) XFree(list);
  if (bitsPerPixel != 24 && bitsPerPixel != 32) {
    throw X11Error("window " + hex(candidate) + " stores " + std::to_string(attributes.depth) +
                   "-bit pixels in " + std::to_string(bitsPerPixel) +
                   " bits; walkers draws only 24- or 32-bit pixels");
  }
  visual = attributes.visual;
  depth = attributes.depth;
  width = attributes.width;
  height = attributes.height;
  layout = PixelLayout(visual->red_mask, visual->green_mask, visual->blue_mask, depth);
}

// The shortest refresh period among the monitors the window overlaps, from RandR; the fallback
// where the server has no RandR 1.3 or reports no timings (as virtual servers do).
void X11Target::State::findFramePeriod() {
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
      !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 103) {
    return;
  }
  const Window root = DefaultRootWindow(display);
  trapped([&] {
    int left = 0;
    int top = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window, root, 0, 0, &left, &top, &child)) return;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (!resources) return;
    std::chrono::nanoseconds best{0};
    for (int c = 0; c < resources->ncrtc; ++c) {
      XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
      if (!crtc) continue;
      const bool overlaps = crtc->mode != None && crtc->x < left + width &&
                            left < crtc->x + static_cast<int>(crtc->width) &&
                            crtc->y < top + height &&
                            top < crtc->y + static_cast<int>(crtc->height);
      for (int m = 0; overlaps && m < resources->nmode; ++m) {
        const XRRModeInfo& mode = resources->modes[m];
        if (mode.id != crtc->mode || mode.dotClock == 0) continue;
        std::uint64_t lines = mode.vTotal;
        if (mode.modeFlags & RR_DoubleScan) lines *= 2;
        if (mode.modeFlags & RR_Interlace) lines /= 2;
        const std::uint64_t dots = std::uint64_t{mode.hTotal} * lines;
        if (dots == 0) continue;
        const std::chrono::nanoseconds period{dots * 1'000'000'000ULL / mode.dotClock};
        if (period.count() > 0 && (best.count() == 0 || period < best)) best = period;
      }
      XRRFreeCrtcInfo(crtc);
    }
    XRRFreeScreenResources(resources);
    if (best.count() > 0) framePeriod = best;
  });
}

// Shared memory needs the server on this machine and allowed to attach the segments; a remote
// or unwilling server refuses the attach, and frames then travel inside the requests.
void X11Target::State::attachSharedMemory() {
  if (!XShmQueryExtension(display)) return;
  int attached = 0;
  for (Segment& segment : segments) {
    segment.info.shmid = shmget(IPC_PRIVATE, kSegmentBytes, IPC_CREAT | 0600);
    if (segment.info.shmid < 0) break;
    void* address = shmat(segment.info.shmid, nullptr, 0);
    if (reinterpret_cast<std::intptr_t>(address) == -1) {  // shmat's failure value
      shmctl(segment.info.shmid, IPC_RMID, nullptr);
      segment.info.shmid = -1;
      break;
    }
    segment.info.shmaddr = static_cast<char*>(address);
    segment.info.readOnly = True;
    const int error = trapped([&] { XShmAttach(display, &segment.info); });
    // Once both sides hold it, the segment can be marked for removal: it goes when they let go,
    // however this process ends.
    shmctl(segment.info.shmid, IPC_RMID, nullptr);
    if (error != 0) {
      shmdt(segment.info.shmaddr);
      segment.info = XShmSegmentInfo{};
      break;
    }
    ++attached;
  }
  if (attached < kSegments) {
    detachSharedMemory();
    return;
  }
  shared = true;
  completionType = XShmGetEventBase(display) + ShmCompletion;
}

void X11Target::State::detachSharedMemory() {
  for (Segment& segment : segments) {
    if (!segment.info.shmaddr) continue;
    if (segment.info.shmseg) XShmDetach(display, &segment.info);
    XSync(display, False);
    shmdt(segment.info.shmaddr);
    segment = Segment{};
  }
  shared = false;
}

void X11Target::State::handle(const XEvent& event) {
  switch (event.type) {
    case ConfigureNotify:
      if (event.xconfigure.window == window) {
        width = event.xconfigure.width;
        height = event.xconfigure.height;
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window) gone = true;
      break;
    case Expose: {
      const XExposeEvent& exposed = event.xexpose;
      const Rect part{exposed.x, exposed.y, exposed.x + exposed.width, exposed.y + exposed.height};
      if (!lostPicture) {
        lostPicture = part;
      } else {
        lostPicture = Rect{
            std::min(lostPicture->left, part.left), std::min(lostPicture->top, part.top),
            std::max(lostPicture->right, part.right), std::max(lostPicture->bottom, part.bottom)};
      }
      break;
    }
    default:
      if (event.type == completionType) {
        const auto& done = reinterpret_cast<const XShmCompletionEvent&>(event);
        for (Segment& segment : segments) {
          if (segment.info.shmseg == done.shmseg && segment.outstanding > 0) --segment.outstanding;
        }
      }
      break;
  }
}

// Handles the completion events that have arrived, leaving every other event queued for pump().
void X11Target::State::takeCompletions() {
  XEvent event;
  const auto isCompletion = [](Display*, XEvent* candidate, XPointer type) -> Bool {
    return candidate->type == *reinterpret_cast<int*>(type) ? True : False;
  };
  while (
      XCheckIfEvent(display, &event, isCompletion, reinterpret_cast<XPointer>(&completionType))) {
    handle(event);
  }
}

XImage X11Target::State::makeImage(char* data, int imageWidth, int imageHeight,
                                   XShmSegmentInfo* info) const {
  XImage image{};
  image.width = imageWidth;
  image.height = imageHeight;
  image.format = ZPixmap;
  image.data = data;
  image.byte_order = ImageByteOrder(display);
  image.bitmap_unit = BitmapUnit(display);
  image.bitmap_bit_order = BitmapBitOrder(display);
  image.bitmap_pad = 32;
  image.depth = depth;
  image.bytes_per_line = static_cast<int>(bytesPerLine(imageWidth));
  image.bits_per_pixel = bitsPerPixel;
  image.red_mask = visual->red_mask;
  image.green_mask = visual->green_mask;
  image.blue_mask = visual->blue_mask;
  image.obdata = reinterpret_cast<XPointer>(info);
  XInitImage(&image);
  return image;
}

// Room for an image of this many bytes in the current segment, moving on to the next segment
// (and waiting until the server has read it) when the current one is full.
char* X11Target::State::reserve(std::size_t bytes) {
  Segment* segment = &segments[static_cast<std::size_t>(current)];
  if (segment->outstanding == 0 && !pending) segment->used = 0;
  if (segment->used + bytes > kSegmentBytes) {
    sendPending(true);
    current = (current + 1) % kSegments;
    segment = &segments[static_cast<std::size_t>(current)];
    XFlush(display);
    while (segment->outstanding > 0 && !gone) {
      takeCompletions();
      if (segment->outstanding == 0 || gone) break;
      pollfd input{ConnectionNumber(display), POLLIN, 0};
      ::poll(&input, 1, 1000);
    }
    segment->used = 0;
  }
  char* room = segment->info.shmaddr + segment->used;
  segment->used += bytes;
  return room;
}

// Sends the image held back; with `last`, the server reports when it has read the segment.
void X11Target::State::sendPending(bool last) {
  if (!pending) return;
  auto& [image, where] = *pending;
  XShmPutImage(display, window, gc, &image, 0, 0, where.left, where.top,
               static_cast<unsigned>(where.right - where.left),
               static_cast<unsigned>(where.bottom - where.top), last ? True : False);
  if (last) ++segments[static_cast<std::size_t>(current)].outstanding;
  pending.reset();
}

// Converts and sends a part that lies wholly within the stored pixels, in strips of rows.
void X11Target::State::drawStored(const Canvas& canvas, Rect part) {
  const int partWidth = part.right - part.left;
  const std::size_t line = bytesPerLine(partWidth);
  const std::size_t capacity = shared ? kSegmentBytes : kBufferBytes;
  const int rowsPerStrip = static_cast<int>(std::max<std::size_t>(1, capacity / line));
  for (int top = part.top; top < part.bottom; top += rowsPerStrip) {
    const int rows = std::min(rowsPerStrip, part.bottom - top);
    const std::size_t bytes = line * static_cast<std::size_t>(rows);
    char* data = nullptr;
    if (shared) {
      data = reserve(bytes);
      if (gone) return;
    } else {
      if (buffer.size() < bytes) buffer.resize(bytes);
      data = buffer.data();
    }
    XImage image = makeImage(data, partWidth, rows,
                             shared ? &segments[static_cast<std::size_t>(current)].info : nullptr);
    for (int y = 0; y < rows; ++y) {
      layout.convertRow(canvas.row(top + y) + part.left, partWidth, image, 0, y);
    }
    const Rect where{part.left, top, part.right, top + rows};
    if (shared) {
      sendPending(false);
      pending.emplace(image, where);
    } else {
      XPutImage(display, window, gc, &image, 0, 0, where.left, where.top,
                static_cast<unsigned>(partWidth), static_cast<unsigned>(rows));
    }
  }
}

void X11Target::State::fillBlack(Rect part) const {
  part.left = std::min(part.left, kLastStart);
  part.top = std::min(part.top, kLastStart);
  XFillRectangle(display, window, gc, part.left, part.top,
                 static_cast<unsigned>(part.right - part.left),
                 static_cast<unsigned>(part.bottom - part.top));
}

X11Target::X11Target(const X11Choice& choice) : state_(std::make_unique<State>(choice)) {}

X11Target::~X11Target() = default;

int X11Target::connection() const { return ConnectionNumber(state_->display); }
int X11Target::width() const { return state_->width; }
int X11Target::height() const { return state_->height; }
unsigned long X11Target::window() const { return state_->window; }
bool X11Target::sharedMemory() const { return state_->shared; }
std::optional<Rect> X11Target::takeLost() {
  auto lost = state_->lostPicture;
  state_->lostPicture.reset();
  return lost;
}
std::chrono::nanoseconds X11Target::framePeriod() const { return state_->framePeriod; }

X11Target::Event X11Target::pump() {
  State& state = *state_;
  if (state.gone) return Event::kGone;
  const int width = state.width;
  const int height = state.height;
  while (!state.gone && XPending(state.display) > 0) {
    XEvent event;
    XNextEvent(state.display, &event);
    state.handle(event);
  }
  if (state.gone) return Event::kGone;
  return width != state.width || height != state.height ? Event::kResized : Event::kNone;
}

void X11Target::present(const Canvas& canvas, const FramePlan& plan) {
  State& state = *state_;
  if (state.gone) return;
  if (state.shared) state.takeCompletions();
  // Black first: a black part that starts beyond a request's reach is drawn from its limit on.
  for (const Rect& part : plan.black) {
    if (!state.gone) state.fillBlack(part);
  }
  for (const Rect& part : plan.copy) {
    if (!state.gone) state.drawStored(canvas, part);
  }
  if (!state.gone) state.sendPending(true);
  state.pending.reset();
  XFlush(state.display);
}

}  // namespace walkers
