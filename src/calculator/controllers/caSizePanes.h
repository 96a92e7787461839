// What the column, row and document size panes share: a length field paired with a slider in
// points, a digit count box, the undo steps they fold, and telling the sheet its lines moved.
#pragma once

#include <cstdint>
#include <functional>

class CADocument;
class QGridLayout;
class QLineEdit;
class QObject;
class QSlider;
class QSpinBox;
class QString;
class QWidget;
struct GridRange;

// A labelled length field with a measure formatter and its slider (0 to maxPoints) in the
// grid's row. The formatter's maximum follows the slider's (TieLengthFieldToSlider).
QLineEdit* AddLengthRow(QGridLayout* grid, int row, const QString& label, const QString& name, int maxPoints,
                        QSlider** slider, QWidget* view);
// A labelled digit count box (0 to 99) in the grid's row; it reports only finished values.
QSpinBox* AddDigitRow(QGridLayout* grid, int row, const QString& name, QWidget* view);
// The field's measure formatter takes the slider's maximum in EMU; a field without one is
// reported and left as it is.
void TieLengthFieldToSlider(QLineEdit* field, const QSlider* slider);
// Field and slider show the length without sending their actions.
void ShowLength(QLineEdit* field, QSlider* slider, int64_t length);
// The field shows its length again, in the current unit.
void ShowLengthInNewUnit(QLineEdit* field);
// A length field calls `action` when an edit that began in it ends; the slider calls it as the
// user moves it, first taking the keyboard from the field.
void ConnectLengthPair(QLineEdit* field, QSlider* slider, QWidget* view, QObject* context,
                       const std::function<void(QWidget* sender)>& action);
// The length a control holds, rounded to the step of the current unit.
int64_t LengthFromControl(const QWidget* control);
// A column width of `digits` digits of the document's font, in EMU.
int64_t WidthForDigits(const CADocument& document, int64_t digits);
// Records a step for a pane: folded into the step in progress when `fold` and the pane's
// identifier is still current, else a new identifier is drawn. False when refused.
bool RecordPaneStep(CADocument& document, uint32_t* undoID, bool fold, uint32_t action, int32_t descriptor,
                    const GridRange& range, int32_t domain);
// A document pane's step over the selection: folded into the step in progress while it is the
// same control's (a null control always starts a new step), and the control remembered.
bool RecordDocumentPaneStep(CADocument& document, uint32_t* undoID, const QObject** undoControl,
                            const QObject* control, uint32_t action, int32_t descriptor);
// After a width or height change: the selection is redrawn by the caller; the page breaks
// move, the labels lay out again and the document is recalculated, which lays out again the
// overflowing texts a changed width reaches.
void SheetLinesChanged(CADocument& document);
// After the height of rows first to last changed (every row when first is negative): a text of
// several lines spreads as far as the lines its row shows, so those rows' texts are laid out
// again and the document recalculated.
void RowHeightsChanged(CADocument& document, int64_t first, int64_t last);
