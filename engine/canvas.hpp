// The pixel surface the walkers paint on and read back: ScaleWidth/ScaleHeight/Point/PSet/Cls.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace walkers {

// A colour value: red + 256 * green + 65536 * blue, each component 0..255. Black is 0.
using Colour = std::int32_t;

inline constexpr Colour kBlack = 0;
inline constexpr Colour kOutside = -1;  // what Point answers off the drawing area

// The longest side of the canvas that has pixels behind it (the largest displays sold are 7680
// wide); a larger window shows black beyond it.
inline constexpr int kMaxStoredSide = 8192;

constexpr Colour rgb(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

// A colour's components, three bytes in that order (as 8-bit RGB pictures hold them).
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};
static_assert(sizeof(Rgb) == 3);

// The components of a colour value: the one place that takes one apart.
constexpr Rgb toRgb(std::uint32_t colour) {
  return {static_cast<std::uint8_t>(colour & 0xff), static_cast<std::uint8_t>(colour >> 8 & 0xff),
          static_cast<std::uint8_t>(colour >> 16 & 0xff)};
}

// The pixels for a canvas could not be allocated; the message says how many, for instance "not
// enough memory for a 16384x16384 canvas (1.0 GiB)".
class OutOfMemoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A rectangle of pixels, right and bottom exclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const Rect&) const = default;
};

// How a canvas stores a colour. kRedLow stores the colour value itself (red + 256 green + 65536
// blue); kRedHigh swaps red and blue (blue + 256 green + 65536 red), the pixel of most 24-bit
// screens, so that a host can show the stored pixels without converting them. Point answers the
// colour value either way; what the rows hold is in the canvas's order.
enum class PixelOrder { kRedLow, kRedHigh };

// A colour value with red and blue swapped: kRedLow to kRedHigh and back.
constexpr std::uint32_t swapRedBlue(std::uint32_t value) {
  return (value & 0xff) << 16 | (value & 0xff00) | (value >> 16 & 0xff);
}

// A host's memory for canvas pixels, for a host that shows them straight from there (a segment
// shared with a display server). The contract: allocate returns zero-filled memory for `count`
// pixels, or nullptr when it cannot (the canvas then uses its own); release is called once for
// every block allocate gave, with its count; both are called on the canvas's thread; order is
// the same for every call. A PixelMemory must outlive every canvas that keeps pixels in it.
class PixelMemory {
 public:
  virtual ~PixelMemory() = default;
  virtual std::uint32_t* allocate(std::size_t count) = 0;
  virtual void release(std::uint32_t* pixels, std::size_t count) = 0;
  virtual PixelOrder order() const = 0;
  // Sets a block allocate gave back to zero in a way cheaper than writing it (handing its pages
  // back to the system, say) and answers true; false, the default, has the canvas write the zeros.
  virtual bool zero(std::uint32_t* /*pixels*/, std::size_t /*count*/) { return false; }
};

// Changes are tracked per square tile of this many pixels a side, so that presenting a frame
// converts and sends only the parts of the canvas that were painted since the last one. Each tile
// keeps which of its rows and which of its columns were painted, so a walker's short stroke
// through a tile is reported as the stroke, not as the whole tile.
inline constexpr int kTileShift = 4;
inline constexpr int kTileSide = 1 << kTileShift;
static_assert(kTileSide == 16, "a tile's marks are 16 row bits and 16 column bits");
using TileMarks = std::uint32_t;  // bit r: row r painted; bit 16 + c: column c painted
inline constexpr TileMarks kWholeTile = ~TileMarks{0};

// The mark PSet leaves on its tile for pixel (x, y).
constexpr TileMarks paintMark(int x, int y) {
  const TileMarks row = TileMarks{1} << (y & (kTileSide - 1));
  const TileMarks column = TileMarks{1} << (kTileSide + (x & (kTileSide - 1)));
  return row | column;
}

// How many tiles cover a run of this many pixels.
constexpr int tilesFor(int pixels) { return (pixels + kTileSide - 1) >> kTileShift; }

// Point and PSet over a buffer of fixed size. Copied into a local, its size and pointers stay in
// registers through a loop of many calls; valid until the canvas it came from is resized.
class PixelView {
 public:
  PixelView() = default;
  PixelView(std::uint32_t* pixels, TileMarks* changedTiles, int width, int height, int stride,
            PixelOrder order)
      : pixels_(pixels),
        changedTiles_(changedTiles),
        width_(width),
        height_(height),
        stride_(stride),
        tileColumns_(tilesFor(width)),
        redHigh_(order == PixelOrder::kRedHigh) {}

  Colour Point(int x, int y) const {
    if (!inside(x, y)) return kOutside;
    const std::uint32_t stored = pixels_[index(x, y)];
    return static_cast<Colour>(redHigh_ ? swapRedBlue(stored) : stored);
  }

  void PSet(int x, int y, Colour colour) const {
    if (!inside(x, y)) return;
    const auto value = static_cast<std::uint32_t>(colour);
    pixels_[index(x, y)] = redHigh_ ? swapRedBlue(value) : value;
    changedTiles_[tile(x, y)] |= paintMark(x, y);
  }

  int tileColumns() const { return tileColumns_; }

 private:
  bool inside(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(width_) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(height_);
  }
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_) +
           static_cast<std::size_t>(x);
  }
  std::size_t tile(int x, int y) const {
    return static_cast<std::size_t>(y >> kTileShift) * static_cast<std::size_t>(tileColumns_) +
           static_cast<std::size_t>(x >> kTileShift);
  }

  std::uint32_t* pixels_ = nullptr;
  TileMarks* changedTiles_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  int tileColumns_ = 0;
  bool redHigh_ = false;
};

// Zero-filled pixel memory: a host's (see PixelMemory) when one is given and it has some, else the
// C library's (std::calloc, whose large blocks cost no memory where nothing was painted).
class PixelStore {
 public:
  PixelStore() = default;
  // With `memory`, the store is memory's when it has some, else the system's unless onlyThere,
  // when the store is left empty.
  explicit PixelStore(std::size_t count, PixelMemory* memory = nullptr,
                      bool onlyThere = false);  // throws std::bad_alloc
  ~PixelStore();
  PixelStore(PixelStore&& other) noexcept { swap(other); }
  PixelStore& operator=(PixelStore&& other) noexcept {
    swap(other);
    return *this;
  }
  PixelStore(const PixelStore&) = delete;
  PixelStore& operator=(const PixelStore&) = delete;

  std::uint32_t* data() const { return data_; }
  std::size_t size() const { return count_; }
  void clear();  // every value back to 0

 private:
  void swap(PixelStore& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(count_, other.count_);
    std::swap(memory_, other.memory_);
  }
  std::uint32_t* data_ = nullptr;
  std::size_t count_ = 0;
  PixelMemory* memory_ = nullptr;  // where data_ came from; the system's when null
};

// The drawing area: width x height colour values, black when cleared. Reads and writes outside
// the area are not errors: Point answers -1, PSet does nothing.
//
// The pixels live in one row-major store at least as large as the biggest area seen since the
// canvas was made, up to maxStoredSide a side. Shrinking the area hides pixels without losing
// them: they show and read back again when it grows, until Cls clears them with the rest. An area
// wider or taller than the store is black beyond it, and Point answers -1 there.
class Canvas {
 public:
  Canvas() = default;
  explicit Canvas(int width, int height, int maxStoredSide = kMaxStoredSide)
      : maxStoredSide_(maxStoredSide) {
    resize(width, height);
  }
  Canvas(const Canvas& other) { *this = other; }
  Canvas& operator=(const Canvas& other);
  Canvas(Canvas&&) noexcept = default;  // the buffers, and so the view, move along
  Canvas& operator=(Canvas&&) noexcept = default;

  int width() const { return width_; }
  int height() const { return height_; }
  float ScaleWidth() const { return static_cast<float>(width_); }
  float ScaleHeight() const { return static_cast<float>(height_); }

  Colour Point(int x, int y) const { return view_.Point(x, y); }
  void PSet(int x, int y, Colour colour) { view_.PSet(x, y, colour); }

  // Sets every pixel to the background colour.
  void Cls();

  // Changes the size of the drawing area. Pixels keep their colour through any sequence of
  // resizes (those outside the area are hidden, not lost); pixels never painted are black.
  // Negative sizes count as 0. Throws OutOfMemoryError if a larger store cannot be had.
  void resize(int width, int height);
  // Like resize, but when a larger store cannot be had the canvas keeps the one it has: the area
  // takes the new size and is black beyond the store. Answers why then (OutOfMemoryError's words).
  std::optional<std::string> resizeKeepingStore(int width, int height);

  // Point and PSet for a tight loop, with the same effects as the canvas's own.
  PixelView view() { return view_; }

  // Moves the pixels into memory from `memory` (back to the canvas's own when null) and stores
  // them in its order from then on; a store that grows later grows there too, or in the canvas's
  // own memory, in the same order, when `memory` has none to give then. When it has none to give
  // now, nothing changes. Throws OutOfMemoryError.
  void keepPixelsIn(PixelMemory* memory);
  PixelOrder order() const { return order_; }

  // The stored part of the drawing area: columns 0..storedWidth()-1 of rows 0..storedHeight()-1.
  // A side is stored up to kMaxStoredSide pixels; the drawing area beyond that is black, and
  // Point answers -1 there.
  int storedWidth() const { return std::min(width_, storedColumns_); }
  int storedHeight() const { return std::min(height_, storedRows_); }
  // Pixel (x, y) of the stored part is row(y)[x], in order(); rows are stride() values apart.
  const std::uint32_t* row(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride());
  }
  int stride() const { return storedColumns_; }

  // Writes row y of the drawing area to out[0..width()): each stored pixel as convert(value), the
  // value in order(), and convert(kBlack) beyond the stored part.
  template <typename Pixel, typename Convert>
  void copyRow(int y, Pixel* out, Convert convert) const {
    int x = 0;
    if (y < storedHeight()) {
      const std::uint32_t* in = row(y);
      for (const int stored = storedWidth(); x < stored; ++x) out[x] = convert(in[x]);
    }
    std::fill(out + x, out + width_, convert(static_cast<std::uint32_t>(kBlack)));
  }

  // All stored pixels, rows stride() apart (including any kept beyond the drawing area).
  std::span<const std::uint32_t> pixels() const { return {pixels_.data(), pixels_.size()}; }

  // Marks the whole area as changed (for instance when the screen lost the picture).
  void markChanged();

  // Rectangles covering every pixel changed since the last call (none if nothing changed), in
  // rows of tiles from the top, one per run of neighbouring changed tiles, trimmed to the rows and
  // columns painted in it; clears the marks.
  std::vector<Rect> takeChanged();

 private:
  int width_ = 0;
  int height_ = 0;
  int maxStoredSide_ = kMaxStoredSide;
  int storedColumns_ = 0;
  int storedRows_ = 0;
  PixelMemory* memory_ = nullptr;  // where the store comes from; the canvas's own if null
  PixelOrder order_ = PixelOrder::kRedLow;
  PixelStore pixels_;                    // storedRows_ rows of storedColumns_
  std::vector<TileMarks> changedTiles_;  // over the stored part of the area; PSet's marks only
  bool allChanged_ = true;               // the whole area counts as changed, marks or not
  // Over the whole store, storedColumns_ by storedRows_ in tiles: 1 where a tile may hold paint
  // (marked since the last Cls), so that a store that grows copies those tiles alone and the
  // pages of the new one that would only hold black are never touched.
  std::vector<std::uint8_t> paintedTiles_;
  PixelView view_;  // always over pixels_ and changedTiles_; see rebindView()

  bool growStore(int width, int height);  // false if the memory cannot be had
  void setArea(int width, int height);
  void notePaint();  // records the tiles PSet marked so far in paintedTiles_
  void copyPaintedTiles(PixelStore& to, int columns) const;

  void rebindView() {
    view_ = PixelView(pixels_.data(), changedTiles_.data(), storedWidth(), storedHeight(),
                      storedColumns_, order_);
  }
};

}  // namespace walkers
