// Feeds arbitrary bytes to the program's HTML reader, and what it builds to the text engine and
// the sheet; and opens the page as a file, where the sheet's own reader of long tables reads it
// along with the rich text. The input is a page, and after a line "--css--" a style sheet and after a line
// "--png--" a picture, written as files beside the page ("beside.css", "beside.png"), so that
// the page can link, import and name them: the reading of linked sheets and pictures is reached
// too. Any crash, hang, sanitizer report or reading past its budget here is a fault; a refusal
// is not. Where the open made the lines a paragraph keeps itself, the cells must be those the
// rich text alone makes of the page.
#include "FuzzApplication.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/flBase.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// A budget small enough that pages reaching it are found, large enough for every seed.
constexpr int64_t kFuzzBudget = int64_t(256) << 20;

bool WriteBytes(const QString& path, QByteArrayView bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), bytes.size()) == bytes.size();
}

// The part of the input after the line `mark` up to the next such line or the end.
QByteArrayView Part(QByteArrayView input, QByteArrayView mark, qsizetype* pageEnd) {
  const qsizetype at = input.indexOf(mark);
  if (at < 0) return {};
  *pageEnd = std::min(*pageEnd, at);
  const qsizetype from = at + mark.size();
  qsizetype to = input.size();
  for (QByteArrayView other : {QByteArrayView("\n--css--\n"), QByteArrayView("\n--png--\n")}) {
    const qsizetype next = input.indexOf(other, from);
    if (next >= 0) to = std::min(to, next);
  }
  return input.sliced(from, to - from);
}

// Each cell's place, what it holds as entered and what it shows.
QString CellTexts(const CADocument& sheet) {
  QString texts;
  for (const std::unique_ptr<CARow>& row : sheet.rows())
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &sheet);
      texts += QStringLiteral("%1,%2=").arg(cell->gridPoint().x).arg(cell->gridPoint().y) + cell->formula() + u'=' +
               cell->displayText(true) + u'|';
    }
  return texts;
}

}  // namespace

int FuzzHtmlReader(const uint8_t* data, size_t size) {
  if (size > (1 << 18) || !HaveGuiApplication()) return 0;
  static QTemporaryDir folder;
  if (!folder.isValid()) return 0;
  const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
  qsizetype pageEnd = input.size();
  const QByteArrayView css = Part(input, "\n--css--\n", &pageEnd);
  const QByteArrayView png = Part(input, "\n--png--\n", &pageEnd);
  if (!WriteBytes(folder.filePath(QStringLiteral("beside.css")), css) ||
      !WriteBytes(folder.filePath(QStringLiteral("beside.png")), png))
    return 0;
  const QString page = QString::fromUtf8(input.first(pageEnd));
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  {
    g_glimmetConfig.tableOption = 1;
    GMImportTextDocument text;
    text.setBaseUrl(QUrl::fromLocalFile(folder.path() + QLatin1Char('/')));
    text.setPictureBudget(kFuzzBudget);
    const GMHtmlReading reading = ReadHtmlPage(page, &text, kFuzzBudget);
    // A page read whole kept within the budget. (A refused one tells what it had come to when
    // it stopped, which may be one large charge past the budget: a span widening every row
    // before it is charged at once, and refused before a cell of it is made.)
    if (reading.read() && reading.cost > kFuzzBudget) std::abort();
    if (!reading.read() && !text.isEmpty()) std::abort();
    // Counted without building, the page costs the same.
    if (reading.read() && HtmlPageReadingCost(page, kFuzzBudget) > reading.cost + int64_t(css.size()) * 64 + 4096)
      std::abort();
    // Read with nothing beside the page, as the news page is: no picture is placed.
    {
      QTextDocument bare;
      bare.setBaseUrl(text.baseUrl());
      if (ReadHtmlPage(page, &bare, kFuzzBudget, nullptr, 0, GMHtmlResources::None).read())
        for (QTextBlock block = bare.begin(); block.isValid(); block = block.next())
          for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) std::abort();
    }
    CADocument sheet;
    if (reading.read() && sheet.loadAttributedString(text)) {
      sheet.setSelectionRange(sheet.extent());
      sheet.htmlFromSelection();
    }
    // Opened as a file, within the open's budget: the rows the sheet's reader takes are built
    // by no one else, and a page it gives up is read again whole. Only a page that fits the
    // budget here is opened, so that no input takes the open's whole budget.
    if (reading.read()) {
      const QString path = folder.filePath(QStringLiteral("page.html"));
      if (WriteBytes(path, input.first(pageEnd))) {
        CADocument opened;
        FLError error;
        const uint64_t kept = KeptLinesRead();
        opened.openFile(path, &error);
        if (KeptLinesRead() != kept) {
          const bool plain = SetPlainTableReading(false);
          CADocument rich;
          rich.openFile(path, &error);
          SetPlainTableReading(plain);
          if (CellTexts(opened) != CellTexts(rich)) std::abort();
        }
      }
      // Priced as the export prices it, the rows read and not kept.
      PlainTableReadingCost(input.first(pageEnd).toByteArray());
    }
  }
  SetLogHandler(previous);
  return 0;
}
