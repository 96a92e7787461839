#include "framlet/shell/flToolbarCustomizing.h"

#include "framlet/shell/FLToolbarLayout.h"

#include <QDrag>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPaletteRowHeight = 72;
constexpr double kPaletteCellGap = 16;
constexpr double kPaletteWrapMargin = 60;
constexpr double kPaletteMinimumContent = 275;
constexpr double kPaletteInset = 18;
constexpr double kDefaultBoxInset = 12;

struct RowPlacement {
  std::vector<QRectF> rects;
  std::vector<int> rows;
  int rowCount = 0;
  double widest = 0;
};

// Places cells left to right from x0, starting a new row when a cell would pass the wrap limit;
// each picture is centred in its cell, and vertically in the 32-point box when asked.
RowPlacement PlaceRows(const std::vector<FLPaletteCell>& cells, double x0, double y0, double rowHeight,
                       double wrapLimit, bool centreInBox) {
  RowPlacement placement;
  double x = x0;
  int row = 0;
  for (const FLPaletteCell& cell : cells) {
    if (x > x0 && x + cell.cellWidth > wrapLimit) {
      placement.widest = std::max(placement.widest, x - kPaletteCellGap - x0);
      x = x0;
      ++row;
    }
    const double top = y0 + row * rowHeight;
    const double dy = centreInBox ? std::floor((32 - cell.size.height()) / 2) : 0;
    placement.rects.emplace_back(x + std::floor((cell.cellWidth - cell.size.width()) / 2), top + dy, cell.size.width(),
                                 cell.size.height());
    placement.rows.push_back(row);
    x += cell.cellWidth + kPaletteCellGap;
  }
  if (!cells.empty()) {
    placement.widest = std::max(placement.widest, x - kPaletteCellGap - x0);
    placement.rowCount = row + 1;
  }
  return placement;
}

FLToolbarDragRunner& DragRunner() {
  static FLToolbarDragRunner runner;
  return runner;
}

double WidestOf(const FLToolbarTool& tool) { return std::max(tool.labelWidth, tool.rect.width()); }

}  // namespace

int64_t ToolbarInsertionIndex(const std::vector<FLToolbarTool>& tools, size_t visibleCount, double px,
                              const FLToolbarTool& dragging) {
  px = std::floor(px);
  const size_t count = std::min(visibleCount, tools.size());
  for (size_t i = 0; i < count; ++i) {
    const FLToolbarTool& tool = tools[i];
    if (tool.rect.x() + tool.rect.width() < px) continue;
    if (tool.sequenceID == dragging.sequenceID && dragging.sequenceID != 0) return int64_t(i);
    const double a = WidestOf(dragging);
    const double b = WidestOf(tool);
    if (a == b) return int64_t(i);
    return px < tool.rect.x() + std::min(a, b) ? int64_t(i) : int64_t(i + 1);
  }
  return int64_t(count);
}

int64_t IndexOfSequence(const std::vector<FLToolbarTool>& tools, uint64_t sequenceID) {
  for (size_t i = 0; i < tools.size(); ++i)
    if (tools[i].sequenceID == sequenceID) return int64_t(i);
  return kFLToolNotFound;
}

bool MoveDraggingTool(std::vector<FLToolbarTool>& tools, const FLToolbarTool& dragging, int64_t pos,
                      int64_t& dragToIndex) {
  const int64_t cur = IndexOfSequence(tools, dragging.sequenceID);
  dragToIndex = cur;
  if (pos == cur) return false;
  if (cur != kFLToolNotFound) {
    tools.erase(tools.begin() + cur);
    if (cur < pos) --pos;
  }
  pos = std::clamp<int64_t>(pos, 0, int64_t(tools.size()));
  tools.insert(tools.begin() + pos, dragging);
  dragToIndex = pos;
  return true;
}

double WiggleOffset(int64_t w, int64_t drawnBefore) {
  const int64_t b = w & 1;
  int64_t u = (w & 2) ? 2 - b : b;
  if (w & 4) u = -u;
  if (drawnBefore & 1) u = -u;
  return double(u);
}

FLPaletteLayout LayoutPalette(QSizeF bounds, const std::vector<FLPaletteCell>& tools,
                              const std::vector<FLPaletteCell>& defaults, const FLPaletteMetrics& metrics) {
  FLPaletteLayout layout;
  layout.layoutSize = bounds;
  const double wrap = bounds.width() - kPaletteWrapMargin;
  const double t = metrics.textHeight;
  const double drh = metrics.defaultRowHeight;

  RowPlacement palette = PlaceRows(tools, 0, 0, kPaletteRowHeight, wrap, true);
  const double pw = palette.widest + 12;
  RowPlacement box = PlaceRows(defaults, kDefaultBoxInset, kDefaultBoxInset, drh, wrap, false);
  const double dw = defaults.empty() ? 8 : box.widest + 2 * kDefaultBoxInset;
  layout.toolRects = std::move(palette.rects);
  layout.toolRows = std::move(palette.rows);
  layout.toolRowCount = palette.rowCount;
  layout.defaultRects = std::move(box.rects);
  layout.defaultRows = std::move(box.rows);
  layout.defaultRowCount = box.rowCount;

  const double c = std::max({pw, dw, kPaletteMinimumContent}) + 2;
  const double panelWidth = c + 2 * kPaletteInset;
  const double paletteHeight = kPaletteRowHeight * layout.toolRowCount;
  const double boxRows = drh * layout.defaultRowCount;
  const double panelHeight = 2 * t + paletteHeight + boxRows + 144;
  auto& r = layout.rects;
  r[kPalettePanel] = QRectF(std::floor((bounds.width() - panelWidth) / 2), 0, panelWidth, panelHeight);
  r[kPaletteFirstText] = QRectF(kPaletteInset, kPaletteInset, c, t);
  r[kPaletteArea] = QRectF(kPaletteInset, t + 30, c, paletteHeight);
  const double secondTextY = paletteHeight + t + 42;
  r[kPaletteSecondText] = QRectF(kPaletteInset, secondTextY, c, t);
  r[kPaletteDefaultBox] = QRectF(kPaletteInset, secondTextY + t + 12, c, boxRows + 12);
  r[kPaletteSeparator] = QRectF(kPaletteInset, r[kPaletteDefaultBox].bottom() + 12, c, 1);
  const QSizeF done = metrics.doneSize;
  r[kPaletteDoneButton] =
      QRectF(panelWidth - kPaletteInset - done.width(), r[kPaletteSeparator].top() + 13, done.width(), done.height());
  const double buttonY = r[kPaletteDoneButton].top();
  r[kPaletteShowLabel] = QRectF(kPaletteInset, buttonY + 6, metrics.showLabelWidth, t);
  r[kPaletteModePopup] = QRectF(kPaletteInset + metrics.showLabelWidth + 6, buttonY + 5, 135, metrics.popupHeight);
  return layout;
}

FLToolbarDragSession& CurrentToolbarDrag() {
  static FLToolbarDragSession session;
  return session;
}

void SetToolbarDragRunner(FLToolbarDragRunner runner) { DragRunner() = std::move(runner); }

Qt::DropAction RunToolbarDrag(QDrag* drag, Qt::DropActions actions, QObject* source, const QString& string) {
  FLToolbarDragSession& session = CurrentToolbarDrag();
  session.source = source;
  session.string = string;
  Qt::DropAction result = Qt::IgnoreAction;
  if (DragRunner()) {
    result = DragRunner()(drag, actions);
    drag->deleteLater();  // as QDrag::exec does with its drag
  } else {
    result = drag->exec(actions);
  }
  session = FLToolbarDragSession{};
  return result;
}
