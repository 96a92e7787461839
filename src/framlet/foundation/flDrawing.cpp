#include "framlet/foundation/flDrawing.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"

#include <QColorSpace>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Contexts made current on this thread, innermost last.
std::vector<QPainter*>& ContextStack() {
  thread_local std::vector<QPainter*> stack;
  return stack;
}

FLScrollerDarkColorsSource& DarkColorsSource() {
  static FLScrollerDarkColorsSource source;
  return source;
}

FLScrollerDarkColors DarkColors() {
  if (const auto& source = DarkColorsSource()) return source();
  return {QColor(43, 43, 43), QColor(32, 32, 32), QColor(61, 61, 61)};
}

}  // namespace

void SetScrollerDarkColorsSource(FLScrollerDarkColorsSource source) {
  DarkColorsSource() = std::move(source);
}

QPainter* CurrentQuartzContext() {
  const auto& stack = ContextStack();
  return stack.empty() ? nullptr : stack.back();
}

void PushQuartzContext(QPainter* painter) {
  if (painter) ContextStack().push_back(painter);
}

void RemoveQuartzContext(QPainter* painter) {
  auto& stack = ContextStack();
  const auto found = std::find(stack.rbegin(), stack.rend(), painter);
  if (found != stack.rend()) stack.erase(std::next(found).base());
}

FLCurrentContextScope::FLCurrentContextScope(QPainter* painter) : painter_(painter) {
  PushQuartzContext(painter_);
}

FLCurrentContextScope::~FLCurrentContextScope() { RemoveQuartzContext(painter_); }

void FlipContext(QPainter& painter, const QRectF& rect) {
  painter.translate(rect.x(), rect.y() + rect.height());
  painter.scale(1, -1);
  painter.translate(-rect.x(), -rect.y());
}

void FlipContext(const QRectF& rect) {
  if (QPainter* painter = CurrentQuartzContext()) FlipContext(*painter, rect);
}

void CenterRectangle(QRectF& rect, const QRectF& frame) {
  FLAssert(frame.width() > 0 && frame.height() > 0, "Empty frame");
  FLAssert(rect.width() > 0 && rect.height() > 0, "Empty rect");
  double width = rect.width();
  double height = rect.height();
  if (width > frame.width() || height > frame.height()) {
    // Empty inputs were reported above; a zero side must not divide here.
    const double fitHeight = width > 0 ? frame.width() * height / width : frame.height() + 1;
    if (fitHeight <= frame.height()) {
      width = frame.width();
      height = fitHeight;
    } else {
      width = height > 0 ? frame.height() * width / height : 0;
      height = frame.height();
    }
  }
  const double x = (frame.width() - width) / 2 + frame.x();
  const double y = (frame.height() - height) / 2 + frame.y();
  // Whole points, as single precision rounded down, so that images land on pixel boundaries.
  rect = QRectF(std::floor(float(x)), std::floor(float(y)), std::floor(float(width)),
                std::floor(float(height)));
}

FLBitmapContext::~FLBitmapContext() {
  // The painter draws into the memory, so it ends before the memory goes.
  endPainting();
  image_ = QImage();
  std::free(data_);
}

QPainter& FLBitmapContext::painter() {
  if (!painter_) painter_ = std::make_unique<QPainter>(&image_);
  return *painter_;
}

void FLBitmapContext::endPainting() {
  if (painter_) {
    painter_->end();
    painter_.reset();
  }
}

QImage FLBitmapContext::copyImage() const { return image_.copy(); }

std::unique_ptr<FLBitmapContext> CreateQuartzBitmap(uint32_t width, uint32_t height) {
  const QColorSpace& colorSpace = g_genericColorSpace;
  FLAssert(colorSpace.isValid(), "InitializeFramlet or FLKernel not called");
  if (width == 0 || height == 0 || width > kFLMaxBitmapSide || height > kFLMaxBitmapSide)
    return nullptr;
  const size_t bytesPerRow = (size_t(width) * 4 + 15) & ~size_t(15);
  auto* data = static_cast<uint8_t*>(AllocateAndClearMemory(bytesPerRow * height));
  if (!data) return nullptr;
  std::unique_ptr<FLBitmapContext> bitmap(new FLBitmapContext);
  bitmap->width_ = width;
  bitmap->height_ = height;
  bitmap->bytesPerRow_ = bytesPerRow;
  bitmap->data_ = data;
  bitmap->image_ = QImage(data, int(width), int(height), qsizetype(bytesPerRow),
                          QImage::Format_ARGB32_Premultiplied);
  if (bitmap->image_.isNull()) return nullptr;  // the destructor frees the memory
  bitmap->image_.setColorSpace(colorSpace.isValid() ? colorSpace : QColorSpace(QColorSpace::SRgb));
  return bitmap;
}

void DrawQuartzCheckbox(QPainter& painter, bool checked, bool filled, const QRectF& rect) {
  if (rect.width() < 10 || rect.height() < 10) return;
  const double scale = std::abs(painter.deviceTransform().m11());
  const double devicePixel = scale > 0 ? 1.0 / scale : 1.0;
  const double side = rect.height() - 2;
  const double sx = rect.x();
  const double sy = rect.y() + 2;
  const QRectF box(sx, sy, side, side);

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  double lineWidth = 1.0;
  if (filled) {
    // Made once for the process; only the geometry changes from box to box.
    static const QGradientStops checkedStops{{0.0, QColor(255, 255, 255)},
                                             {1.0, QColor(109, 129, 255)}};
    static const QGradientStops uncheckedStops{{0.0, QColor(255, 255, 255)},
                                               {1.0, QColor(217, 227, 255)}};
    // A 90-degree gradient runs from the box's smaller y to its larger one.
    QLinearGradient gradient(box.topLeft(), box.bottomLeft());
    gradient.setStops(checked ? checkedStops : uncheckedStops);
    QPainterPath rounded;
    rounded.addRoundedRect(box, 2, 2);
    painter.fillPath(rounded, gradient);
    lineWidth = devicePixel;
  }
  QPainterPath outline;
  const double inset = lineWidth / 2;
  outline.addRoundedRect(box.adjusted(inset, inset, -inset, -inset), 2, 2);
  painter.strokePath(outline, QPen(QColor(128, 128, 128), lineWidth));

  if (checked) {
    QPainterPath tick;
    tick.moveTo(sx + side * 0.25, sy + side * 0.33);
    tick.lineTo(sx + side * 0.5, sy + side * 0.66);
    tick.lineTo(sx + side + 0.5, sy - 0.5);
    painter.strokePath(tick, QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  }
  painter.restore();
}

void DrawQuartzCheckbox(bool checked, bool filled, const QRectF& rect) {
  if (QPainter* painter = CurrentQuartzContext()) DrawQuartzCheckbox(*painter, checked, filled, rect);
}

void DrawScrollViewCorner(QPainter& painter, bool flipped, bool knob, const QRectF& rect) {
  const bool dark = g_darkMode;
  const FLScrollerDarkColors darkColors = dark ? DarkColors() : FLScrollerDarkColors{};
  painter.save();
  painter.fillRect(rect, dark ? (knob ? darkColors.grooveFill : darkColors.noKnobFill) : GrayColor(1));
  QPainterPath edge;
  const double x = rect.x() + 0.5;
  if (flipped) {
    edge.moveTo(x, rect.y() + rect.height());
    edge.lineTo(x, rect.y() + 0.5);
    edge.lineTo(rect.x() + rect.width(), rect.y() + 0.5);
  } else {
    edge.moveTo(x, rect.y());
    edge.lineTo(x, rect.y() + rect.height() - 0.5);
    edge.lineTo(rect.x() + rect.width(), rect.y() + rect.height() - 0.5);
  }
  painter.strokePath(edge, QPen(dark ? darkColors.grooveEdge : GrayColor(2), 1));
  painter.restore();
}

void DrawScrollViewCorner(bool flipped, bool knob, const QRectF& rect) {
  if (QPainter* painter = CurrentQuartzContext()) DrawScrollViewCorner(*painter, flipped, knob, rect);
}
