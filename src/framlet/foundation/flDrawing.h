// Small drawing procedures that views, the image code and the text engine share: the current
// drawing context of a thread, flipping it, fitting a rectangle into a frame, off-screen bitmaps
// in the framework's pixel format, the checkbox and the corner between two scrollers.
#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QPainter;

// The drawing context that procedures without a painter argument draw into: the innermost
// painter made current on the calling thread, or nullptr. A view makes its painter current for
// the length of its paint event with FLCurrentContextScope; LockImageFocus makes an image's.
QPainter* CurrentQuartzContext();

// Makes a painter current on this thread while the scope lives (the saved "graphics state" of
// the drawing code: the previous context is current again afterwards).
class FLCurrentContextScope {
 public:
  explicit FLCurrentContextScope(QPainter* painter);
  ~FLCurrentContextScope();
  FLCurrentContextScope(const FLCurrentContextScope&) = delete;
  FLCurrentContextScope& operator=(const FLCurrentContextScope&) = delete;

 private:
  QPainter* painter_;
};

// The stack under FLCurrentContextScope, for code whose begin and end are separate calls
// (locking the focus on an image). Removing a painter that is not on the stack does nothing;
// one that is not on top is taken out where it is, so an unbalanced caller cannot leave a
// dangling context behind.
void PushQuartzContext(QPainter* painter);
void RemoveQuartzContext(QPainter* painter);

// Turns the context upside down within rect: translate by (x, y + height), scale by (1, -1),
// translate by (-x, -y).
void FlipContext(QPainter& painter, const QRectF& rect);
void FlipContext(const QRectF& rect);

// Replaces rect by a rectangle of its size, scaled down proportionally when it does not fit,
// centred in frame, with each coordinate rounded down to whole points. Callers that think of it
// as (frame, size in and out) pass the size in rect; the origin they pass is ignored.
void CenterRectangle(QRectF& rect, const QRectF& frame);

// An off-screen bitmap in the framework's pixel format: 8 bits per component, 4 bytes per
// pixel, premultiplied alpha, rows of width x 4 bytes rounded up to a multiple of 16. The pixel
// layout in memory is Qt's ARGB32_Premultiplied (a native 32-bit word a << 24 | r << 16 |
// g << 8 | b); FLPixmap converts to and from the packed pixel its callers see. The bitmap owns
// its cleared pixel memory and frees it after the painter that draws into it.
class FLBitmapContext {
 public:
  ~FLBitmapContext();
  FLBitmapContext(const FLBitmapContext&) = delete;
  FLBitmapContext& operator=(const FLBitmapContext&) = delete;

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  size_t bytesPerRow() const { return bytesPerRow_; }
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }

  // The pixels as an image that shares the memory: drawing into it changes the bitmap.
  QImage& image() { return image_; }
  const QImage& image() const { return image_; }
  // A painter on the bitmap, begun on first use and kept until endPainting() or the end.
  QPainter& painter();
  void endPainting();
  // A deep copy of the pixels, independent of the bitmap.
  QImage copyImage() const;

 private:
  friend std::unique_ptr<FLBitmapContext> CreateQuartzBitmap(uint32_t width, uint32_t height);
  FLBitmapContext() = default;

  uint32_t width_ = 0;
  uint32_t height_ = 0;
  size_t bytesPerRow_ = 0;
  uint8_t* data_ = nullptr;
  QImage image_;
  std::unique_ptr<QPainter> painter_;
};

// The largest side of a bitmap; Qt's raster painter cannot address more.
inline constexpr uint32_t kFLMaxBitmapSide = 32767;

// A bitmap of the given size with cleared pixels, or nullptr when a side is 0 or above
// kFLMaxBitmapSide or the memory cannot be had (the allocation failure is logged).
std::unique_ptr<FLBitmapContext> CreateQuartzBitmap(uint32_t width, uint32_t height);

// Draws a rounded checkbox in rect (nothing when rect is under 10 points either way); filled
// boxes get a white-to-blue gradient, checked ones a black tick. Coordinates are the painter's:
// the box stands at the bottom of rect in a top-down (flipped) view.
void DrawQuartzCheckbox(QPainter& painter, bool checked, bool filled, const QRectF& rect);
void DrawQuartzCheckbox(bool checked, bool filled, const QRectF& rect);

// The scroller's dark-appearance colours that the scroll-view corner matches. FLScroller owns
// them (its setupDarkGroove) and installs a source here; without one, the corner uses the
// framework's own dark greys.
struct FLScrollerDarkColors {
  QColor grooveFill;
  QColor noKnobFill;
  QColor grooveEdge;
};
using FLScrollerDarkColorsSource = std::function<FLScrollerDarkColors()>;
void SetScrollerDarkColorsSource(FLScrollerDarkColorsSource source);

// Fills the square between two scrollers and draws its L-shaped edge half a point inside rect:
// in the dark appearance with the groove fill (knob) or the no-knob fill and the groove edge,
// else white with the light grey edge.
void DrawScrollViewCorner(QPainter& painter, bool flipped, bool knob, const QRectF& rect);
void DrawScrollViewCorner(bool flipped, bool knob, const QRectF& rect);
