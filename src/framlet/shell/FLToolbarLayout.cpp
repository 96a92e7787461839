#include "framlet/shell/FLToolbarLayout.h"

#include "framlet/shell/flToolbarGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kIconBox = 32;
// The gap around a cell as wide as its label.
constexpr double kWideGap = 16;

bool HalfOpenContains(const QRectF& rect, QPointF point) {
  return point.x() >= rect.left() && point.x() < rect.right() && point.y() >= rect.top() && point.y() < rect.bottom();
}

}  // namespace

double FLToolbarLayout::spacing() const { return ToolbarModeMetrics(state_.displayMode).spacing; }
double FLToolbarLayout::top() const { return ToolbarModeMetrics(state_.displayMode).top; }

double FLToolbarLayout::labelWidth(const FLToolbarTool& tool, bool forPalette, bool* hasLabel) const {
  double width = 0;
  if (forPalette) {
    width = tool.paletteLabelWidth > 0 ? tool.paletteLabelWidth : tool.labelWidth;
  } else if (!tool.isSpace()) {
    if (tool.labelWidth > 0)
      width = tool.labelWidth;
    else if (state_.displayMode == kFLToolbarTextOnly || state_.customizing)
      width = tool.paletteLabelWidth;
  }
  if (hasLabel) *hasLabel = width > 0;
  return width > 0 ? width : kIconBox;
}

double FLToolbarLayout::widthOfTool(const FLToolbarTool& tool, bool forPalette, double* labelWidthOut) const {
  const double label = labelWidth(tool, forPalette);
  if (labelWidthOut) *labelWidthOut = label;
  if (state_.displayMode == kFLToolbarTextOnly) return label;
  const double base = tool.toolType == kFLToolView ? tool.rect.width() : kIconBox;
  return state_.displayMode == kFLToolbarIconAndText ? std::max(base, label) : base;
}

bool FLToolbarLayout::isWide(double width, double label) const {
  return state_.displayMode == kFLToolbarIconAndText && width == label;
}

void FLToolbarLayout::layout(bool noFlex) {
  overflowIndex_ = kFLToolNotFound;
  overflowRect_ = QRectF();
  const double s = spacing();
  const size_t count = tools_.size();
  size_t limit = count == 0 ? 0 : 1;
  for (size_t i = count; i-- > 1;) {
    if (!tools_[i].isSpace()) {
      limit = i + 1;
      break;
    }
  }
  double x = s;
  int64_t flexCount = 0;
  bool flexLaidOut = false;
  bool previousWide = false;
  for (size_t i = 0; i < count; ++i) {
    FLToolbarTool& tool = tools_[i];
    tool.x = x;
    tool.rect.moveLeft(x);
    double label = 0;
    const double width = widthOfTool(tool, false, &label);
    if (tool.toolType == kFLToolFlexibleSpace) {
      if (!noFlex) {
        const double flex = widthOfFlex(i, x, flexCount);
        tool.rect.setWidth(flex);
        previousWide = false;
        flexLaidOut = true;
        x += flex + (state_.customizing ? s : 0);
        continue;
      }
      tool.rect.setWidth(kIconBox);
    }
    double gap = s;
    const bool wide = state_.displayMode != kFLToolbarTextOnly && isWide(width, label);
    if (wide || previousWide) {
      tool.x += kWideGap - s;
      tool.rect.translate(kWideGap - s, 0);
      gap = kWideGap;
    }
    previousWide = wide;
    if (wide)
      tool.rect.translate(std::floor((label - tool.rect.width()) / 2), 0);
    else if (tool.toolType != kFLToolView)
      tool.rect.translate(std::floor((kIconBox - tool.rect.width()) / 2), 0);
    if (x + width > state_.layoutWidth - s && i < limit) {
      if (!noFlex && flexLaidOut) {
        layout(true);
        return;
      }
      addOverflowTool(i, x);
      break;
    }
    x += width + gap;
  }
  if (state_.preferences) {
    const double d = std::floor((state_.layoutWidth - x) / 2);
    if (d != 0) {
      for (FLToolbarTool& tool : tools_) {
        tool.x += d;
        tool.rect.translate(d, 0);
      }
    }
  }
}

double FLToolbarLayout::widthOfFlex(size_t index, double x, int64_t& flexCount) const {
  const double s = spacing();
  const double minimum = kIconBox + s;
  if (state_.customizing) return kIconBox;
  if (index + 1 >= tools_.size()) return 0;
  ++flexCount;
  if (flexCount >= 3 || (index > 0 && tools_[index - 1].toolType == kFLToolFlexibleSpace)) return minimum;
  double sum = 0;
  bool previousWide = false;
  bool lastWide = false;
  size_t j = index + 1;
  for (; j < tools_.size() && tools_[j].toolType != kFLToolFlexibleSpace; ++j) {
    double label = 0;
    const double width = widthOfTool(tools_[j], false, &label);
    const bool wide = state_.displayMode != kFLToolbarTextOnly && isWide(width, label);
    const double gap = state_.displayMode == kFLToolbarTextOnly ? s : ((wide || previousWide) ? kWideGap : s);
    sum += width + gap;
    previousWide = wide;
    lastWide = wide;
  }
  if (lastWide) sum += kWideGap - s;
  const bool flexFollows = j < tools_.size();
  double width = minimum;
  if (flexFollows && flexCount == 1)
    width = std::floor((state_.layoutWidth - sum) / 2) - x;
  else if (!flexFollows)
    width = state_.layoutWidth - sum - x;
  return double(std::max(float(width), float(minimum)));
}

void FLToolbarLayout::addOverflowTool(size_t index, double x) {
  const double s = spacing();
  if (!state_.chevronSize.isEmpty() && state_.canZoom) {
    const double chevronX = state_.layoutWidth - s - state_.chevronSize.width();
    overflowRect_ = QRectF(QPointF(chevronX, top()), state_.chevronSize);
    if (index >= 2) {
      size_t j = index;
      double toolX = x;
      for (;;) {
        if (toolX + widthOfTool(tools_[j], false) + s <= chevronX) {
          index = j + 1;
          break;
        }
        if (j == 1) {
          index = 1;
          break;
        }
        --j;
        toolX = tools_[j].x;
      }
    }
  }
  overflowIndex_ = int64_t(index);
}

size_t FLToolbarLayout::visibleCount() const {
  return overflowIndex_ == kFLToolNotFound ? tools_.size() : std::min(size_t(overflowIndex_), tools_.size());
}

int64_t FLToolbarLayout::toolIndexAtPoint(QPointF point, double labelHeight) const {
  double runningX = kWideGap;
  for (size_t i = 0; i < visibleCount(); ++i) {
    const FLToolbarTool& tool = tools_[i];
    QRectF hit = tool.rect;
    if (state_.displayMode == kFLToolbarTextOnly) {
      const double label = labelWidth(tool, false);
      hit = QRectF(runningX, 3, label, labelHeight);
      runningX += label + kWideGap;
    }
    if (hit.left() > point.x()) return kFLToolNotFound;
    if (!HalfOpenContains(hit, point)) continue;
    if (state_.customizing) return int64_t(i);
    if (!tool.isEnabled || tool.isSpace()) return kFLToolNotFound;
    return int64_t(i);
  }
  return kFLToolNotFound;
}

QRectF FLToolbarLayout::toolColumn(size_t index, double toolbarHeight) const {
  if (index >= tools_.size()) return {};
  if (state_.displayMode == kFLToolbarTextOnly) {
    double x = kWideGap;
    for (size_t i = 0; i < index; ++i) x += labelWidth(tools_[i], false) + kWideGap;
    return QRectF(x, 0, labelWidth(tools_[index], false), toolbarHeight - 1);
  }
  QRectF column = tools_[index].rect;
  if (state_.displayMode == kFLToolbarIconAndText) {
    const double label = labelWidth(tools_[index], false);
    if (label > column.width()) {
      column.setLeft(column.left() - std::ceil((label - column.width()) / 2));
      column.setWidth(label);
    }
  }
  return QRectF(column.left(), 0, column.width(), toolbarHeight - 1);
}
