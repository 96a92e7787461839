#include "framlet/shell/FLHelpTextView.h"

#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/flLengths.h"
#include "framlet/shell/flHelpNavigation.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmProperties.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

constexpr double kBodyPoints = 13.0;  // the help's body size, against which the help font scales

}  // namespace

FLHelpTextView::FLHelpTextView(QWidget* parent) : QTextBrowser(parent) {
  setReadOnly(true);
  setOpenLinks(false);
  setUndoRedoEnabled(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  document()->setDocumentMargin(8);
}

void FLHelpTextView::showChapter(GlimmetDoc* doc, uint32_t chapter) {
  doc_ = doc;
  chapter_ = chapter;
  rebuild();
}

void FLHelpTextView::setZoom(double zoom) {
  if (zoom <= 0 || zoom == zoom_) return;
  const DocRange selection = selectedCps();
  const uint32_t top = scrollCp();
  zoom_ = zoom;
  rebuild();
  selectCps(selection.first, selection.limit);
  setScrollCp(top);
}

void FLHelpTextView::setHelpFont(const QFont& font) {
  helpFont_ = font;
  haveHelpFont_ = true;
  const DocRange selection = selectedCps();
  rebuild();
  selectCps(selection.first, selection.limit);
}

// Walks the chapter's shown text run by run, giving each paragraph the engine's spacing and
// indents and each run its face and size.
void FLHelpTextView::rebuild() {
  cps_.clear();
  clear();
  limit_ = 0;
  if (!doc_ || chapter_ >= doc_->chapterCps.count()) return;
  const uint32_t first = FLHelpChapterBodyStart(doc_, chapter_);
  limit_ = std::min(FLHelpChapterLimit(doc_, chapter_), uint32_t(doc_->userLength));
  const QString shown = FLHelpShownText(doc_);
  const double scale = zoom_ * (haveHelpFont_ && helpFont_.pointSizeF() > 0 ? helpFont_.pointSizeF() / kBodyPoints : 1.0);

  QTextCursor cursor(document());
  // Paragraphs are looked up within the chapter shown, whatever the document's pane shows.
  Pane pane = *CurrentPane(doc_);
  pane.chapterIndex = chapter_;
  pane.paraCacheFirst = pane.paraCacheLimit = -1;
  const auto blockFormatAt = [&](uint32_t cp) {
    PropRecord para;
    FetchParaProps(doc_, &pane, cp, nullptr, &para);
    QTextBlockFormat format;
    format.setTopMargin(double(para.get<int64_t>(ParaField::spaceBefore)) / kEmuPerPoint * zoom_);
    format.setBottomMargin(double(para.get<int64_t>(ParaField::spaceAfter)) / kEmuPerPoint * zoom_);
    format.setLeftMargin(double(para.get<int64_t>(ParaField::leftIndent)) / kEmuPerPoint * zoom_);
    format.setTextIndent(double(para.get<int64_t>(ParaField::firstIndent)) / kEmuPerPoint * zoom_);
    return format;
  };
  bool blockStarted = false;
  for (uint32_t cp = first; cp < limit_;) {
    PropRecord chars;
    DocRange run{doc_, cp, cp + 1};
    FetchCharProps(doc_, cp, &run, &chars);
    const uint32_t runLimit = std::clamp(run.limit, cp + 1, limit_);
    QTextCharFormat format;
    QFont font = haveHelpFont_ ? helpFont_ : QFont(FontNameAtIndex(chars.get<uint16_t>(CharField::font)));
    const int16_t quarters = chars.get<int16_t>(CharField::size);
    font.setPointSizeF(std::max(1.0, (quarters > 0 ? quarters / 4.0 : kBodyPoints) * scale));
    font.setBold(chars.body[CharField::bold] != 0);
    font.setItalic(chars.body[CharField::italic] != 0);
    font.setUnderline(chars.body[CharField::underline] != 0);
    font.setStrikeOut(chars.body[CharField::strike] != 0);
    format.setFont(font);
    QString piece;
    for (; cp < runLimit; ++cp) {
      const char16_t c = shown[qsizetype(cp)].unicode();
      if (c == kFLHelpHiddenChar) continue;
      if (!blockStarted) {
        cursor.setBlockFormat(blockFormatAt(cp));
        blockStarted = true;
      }
      if (IsParaMarkChar(c) || c == 0x2028) {
        cursor.insertText(piece, format);
        piece.clear();
        cps_.push_back(cp);
        if (cp + 1 < limit_) {
          cursor.insertBlock(blockFormatAt(cp + 1), format);
        } else {
          cursor.insertText(QStringLiteral(" "), format);  // the last paragraph mark
        }
        continue;
      }
      piece += QChar(c == u'\t' ? u'\t' : c);
      cps_.push_back(cp);
    }
    cursor.insertText(piece, format);
  }
  cps_.push_back(limit_);
  moveCursor(QTextCursor::Start);
}

int FLHelpTextView::positionOfCp(uint32_t cp) const {
  const auto it = std::lower_bound(cps_.begin(), cps_.end(), cp);
  return int(std::min<ptrdiff_t>(it - cps_.begin(), ptrdiff_t(cps_.empty() ? 0 : cps_.size() - 1)));
}

uint32_t FLHelpTextView::cpOfPosition(int position) const {
  if (cps_.empty()) return 0;
  return cps_[size_t(std::clamp<int64_t>(position, 0, int64_t(cps_.size()) - 1))];
}

void FLHelpTextView::selectCps(uint32_t first, uint32_t limit) {
  QTextCursor cursor(document());
  cursor.setPosition(positionOfCp(first));
  if (limit > first) cursor.setPosition(positionOfCp(limit), QTextCursor::KeepAnchor);
  setTextCursor(cursor);
}

DocRange FLHelpTextView::selectedCps() const {
  const QTextCursor cursor = textCursor();
  return {doc_, cpOfPosition(cursor.selectionStart()), cpOfPosition(cursor.selectionEnd())};
}

QString FLHelpTextView::selectedPlainText() const {
  QString text = textCursor().selectedText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return text;
}

void FLHelpTextView::showSelection() { ensureCursorVisible(); }

uint32_t FLHelpTextView::scrollCp() const { return cpOfPosition(cursorForPosition(QPoint(0, 0)).position()); }

void FLHelpTextView::setScrollCp(uint32_t cp) {
  QTextCursor cursor(document());
  cursor.setPosition(positionOfCp(cp));
  const QTextBlock block = cursor.block();
  const QRectF box = document()->documentLayout()->blockBoundingRect(block);
  verticalScrollBar()->setValue(int(box.top()));
}

void FLHelpTextView::focusInEvent(QFocusEvent* event) {
  QTextBrowser::focusInEvent(event);
  emit focused();
}
