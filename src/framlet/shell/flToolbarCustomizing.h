// The sums behind customising a toolbar, apart from any widget: where a dragged tool goes in
// the bar, how the icons wiggle, how the palette lays out its tools, its default box and its
// controls, and the one drag of a tool that can be under way at a time.
#pragma once

#include "framlet/shell/FLToolbarTool.h"

#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QDrag;
class QObject;

// The drag string that stands for the whole default set.
inline constexpr const char* kFLToolbarDefaultSetDrag = "-default-";

// The index at which a tool dragged to px (toolbar x) goes, among the first `visibleCount`
// tools. The dragged tool, when it is in the bar, is found by its sequence ID; its label and
// picture widths decide how far into a neighbour's cell the point must reach.
int64_t ToolbarInsertionIndex(const std::vector<FLToolbarTool>& tools, size_t visibleCount, double px,
                              const FLToolbarTool& dragging);
// Puts the dragged tool at pos: takes it out where it is (cur, or kFLToolNotFound) and inserts
// it. Answers whether the bar changed; dragToIndex becomes its index.
bool MoveDraggingTool(std::vector<FLToolbarTool>& tools, const FLToolbarTool& dragging, int64_t pos,
                      int64_t& dragToIndex);
// The index of the record with the sequence ID, or kFLToolNotFound.
int64_t IndexOfSequence(const std::vector<FLToolbarTool>& tools, uint64_t sequenceID);
// The horizontal offset of a wiggling icon at animation step w: 0, 1, 2, 1, 0, -1, -2, -1 over
// eight steps, every second icon drawn in opposite phase.
double WiggleOffset(int64_t w, int64_t drawnBefore);

// ---- The palette's geometry ----------------------------------------------------------------------

// Indexes of the palette's rectangles.
enum FLPaletteRect : int {
  kPalettePanel = 0,
  kPaletteDefaultBox = 1,
  kPaletteDoneButton = 2,
  kPaletteFirstText = 3,
  kPaletteSecondText = 4,
  kPaletteSeparator = 5,
  kPaletteModePopup = 6,
  kPaletteShowLabel = 7,
  kPaletteArea = 9,
  kPaletteRectCount = 10,
};

struct FLPaletteCell {
  double cellWidth = 0;  // the toolbar's width of the tool for the palette
  QSizeF size;           // its picture's size
};

struct FLPaletteMetrics {
  double textHeight = 0;        // T: a line of the system font
  double defaultRowHeight = 0;  // a row of the default box
  QSizeF doneSize;              // the Done button, already 96 wide
  double showLabelWidth = 0;    // room for the "Show" label before the pop-up
  double popupHeight = 25;
};

struct FLPaletteLayout {
  QSizeF layoutSize;
  // The panel in view coordinates; the others in panel coordinates.
  std::array<QRectF, kPaletteRectCount> rects{};
  std::vector<QRectF> toolRects;     // in the palette area
  std::vector<int> toolRows;
  std::vector<QRectF> defaultRects;  // in the default box
  std::vector<int> defaultRows;
  int toolRowCount = 0;
  int defaultRowCount = 0;
};

// Tools wrap onto rows 60 points short of the view's width; the panel is never narrower than
// 275 points of content and is centred at the top of the view.
FLPaletteLayout LayoutPalette(QSizeF bounds, const std::vector<FLPaletteCell>& tools,
                              const std::vector<FLPaletteCell>& defaults, const FLPaletteMetrics& metrics);

// ---- The drag under way ------------------------------------------------------------------------------

// A customised toolbar takes drags only from itself and from its palette; the drag's source and
// string are kept here for the length of the drag, since a drop target of another kind cannot
// see the source of a drag that Qt runs.
struct FLToolbarDragSession {
  QPointer<QObject> source;
  QString string;
};
FLToolbarDragSession& CurrentToolbarDrag();
// Runs the drag (QDrag::exec unless a test has put its own runner in) with the session set.
using FLToolbarDragRunner = std::function<Qt::DropAction(QDrag* drag, Qt::DropActions actions)>;
Qt::DropAction RunToolbarDrag(QDrag* drag, Qt::DropActions actions, QObject* source, const QString& string);
void SetToolbarDragRunner(FLToolbarDragRunner runner);
