// The sheet, or the selection, as one XHTML 1.0 Strict page holding one table: an embedded style
// sheet carries the document-wide look, inline styles what differs per cell. Picture cells are
// written as files into an "images" folder beside the page.
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"

#include "calculator/fileformats/caPackageWriter.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"

#include <optional>
#include "framlet/foundation/flImageSaving.h"
#include "glimmet/storage/gmBorders.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char* kPageStart =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\" xml:lang=\"en\">\n"
    "<head>\n"
    "\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />\n";
constexpr const char* kGeneratorFormat = "\t<meta name=\"Generator\" content=\"%1 %2\" />\n";
constexpr const char* kTitlePlaceholder = "&###";
constexpr const char* kStyleStart = "\t<style type=\"text/css\">\n";
constexpr const char* kStyleEnd = "\t</style>";
constexpr const char* kBodyStart = "</head>\n\n<body>\n";
constexpr const char* kEmptyCell = "\t\t\t\t<br/>\n";
// "<td>", the empty cell's line break and "</td>", with their newlines, at least.
constexpr int64_t kEmptyTableCellLength = 20;
constexpr const char* kBackgroundFormat = "background-color:%1;";
constexpr const char* kPageFileName = "index.html";
constexpr const char* kImagesFolder = "images";
constexpr const char* kPictureFileFormat = "Picture%1";
constexpr const char* kUntitledTitle = "Untitled";

// One export: the page and where it goes.
struct HtmlExport {
  QString page;
  QString folder;          // null for the pasteboard
  QString picturesFolder;  // made on first use
  int pictureCount = 0;
  int checkboxCount = 0;
  int indent = 1;
  FLError* error = nullptr;
  int64_t x = 0, y = 0;
  GridRange range;
  double paddingX = 0, paddingY = 0;  // points
  Kolor defaultBackground = kNoKolor;
  bool border = true;
  bool ok = true;

  void tabs(int count) { page += QString(std::max(count, 0), u'\t'); }
};

QString Background(Kolor kolor) { return QLatin1String(kBackgroundFormat).arg(CssColorString(kolor)); }

// The declarations of a format: alignment and, for a cell, its background.
QStringList ParagraphDeclarations(const CADocument& document, const CAFormat& format, const CACell* cell) {
  QStringList css;
  int32_t alignment = format.alignment();
  if (alignment == kAlignmentAuto) alignment = cell ? cell->defaultAlignment(false) : kAlignmentLeft;
  const char* align = alignment == kAlignmentCenter ? "center" : alignment == kAlignmentRight ? "right" : "left";
  css << QStringLiteral("text-align:%1;").arg(QLatin1String(align));
  if (cell && format.hasPropertyForMask(kFormatBackground) && KolorIsColor(format.backgroundKolor()))
    css << Background(format.backgroundKolor());
  Q_UNUSED(document);
  return css;
}

// Character declarations: for a cell where it differs from the default format, for the
// default format (no cell) where it is set.
QStringList CharacterDeclarations(const CADocument& document, const CAFormat& format, const CACell* cell) {
  QStringList css;
  const CAFormat& defaults = document.defaultFormat();
  if (format.hasPropertyForMask(kFormatTextColor)) {
    const Kolor kolor = KolorIsColor(format.textKolor()) ? format.textKolor() : g_blackKolor;
    if (cell ? kolor != defaults.textKolor() : KolorIsColor(format.textKolor()))
      css << QStringLiteral("color:%1;").arg(CssColorString(kolor));
  }
  if (format.hasPropertyForMask(kFormatBold) && (cell ? format.bold() != defaults.bold() : format.bold()))
    css << QStringLiteral("font-weight:%1;").arg(QLatin1String(format.bold() ? "bold" : "normal"));
  if (format.hasPropertyForMask(kFormatItalic) && (cell ? format.italic() != defaults.italic() : format.italic()))
    css << QStringLiteral("font-style:%1;").arg(QLatin1String(format.italic() ? "italic" : "normal"));
  const bool underline = format.hasPropertyForMask(kFormatUnderline) ? format.underline() : defaults.underline();
  const bool strike = format.hasPropertyForMask(kFormatStrike) ? format.strike() : defaults.strike();
  const bool write = cell ? underline != defaults.underline() || strike != defaults.strike() : underline || strike;
  if (write) {
    const char* decoration = underline && strike ? "underline line-through"
                             : underline         ? "underline"
                             : strike            ? "line-through"
                                                 : "none";
    css << QStringLiteral("text-decoration:%1;").arg(QLatin1String(decoration));
  }
  return css;
}

QString StyleSheet(const CADocument& document, const HtmlExport& state) {
  QString sheet = QStringLiteral("body\n{\n");
  const auto line = [&sheet](const QString& declaration) { sheet += u'\t' + declaration + u'\n'; };
  if (KolorIsColor(state.defaultBackground)) line(Background(state.defaultBackground));
  const CAFormat& defaults = document.defaultFormat();
  for (const QString& declaration : ParagraphDeclarations(document, defaults, nullptr)) line(declaration);
  for (const QString& declaration : CharacterDeclarations(document, defaults, nullptr)) line(declaration);
  sheet += QStringLiteral("}\n\n");
  sheet += QStringLiteral("table\n{\n\ttable-layout:fixed;\n\tborder-collapse:collapse;\n\tempty-cells:show;\n}\n\n");
  sheet += QStringLiteral("td\n{\n\tvertical-align:top;\n\ttext-align:left;\n");
  const bool padded = int(state.paddingX) != 0 || int(state.paddingY) != 0;
  if (padded) {
    sheet += QStringLiteral("\tpadding:%1px %2px %1px %2px;\n").arg(int(state.paddingY)).arg(int(state.paddingX));
  }
  if (state.border) {
    line(QStringLiteral("border-style:solid;"));
    line(QStringLiteral("border-width:1px;"));
    line(QStringLiteral("border-color:%1;").arg(QStringLiteral("rgb(%1,%2,%3)").arg(224).arg(224).arg(224)));
    if (!padded) line(QStringLiteral("padding:1px 1px 1px 1px;"));
  }
  sheet += QStringLiteral("}\n\n");
  sheet += QStringLiteral("p\n{\n\tmargin-top:0px;\n\tmargin-bottom:0px;\n");
  if (KolorIsColor(state.defaultBackground)) line(Background(state.defaultBackground));
  sheet += QStringLiteral("}\n");
  return sheet;
}

// The image element of a picture cell, after writing its file; the empty-cell line when it
// cannot be written.
void ExportPicture(const CADocument& document, HtmlExport& state, const CACell& cell) {
  const std::shared_ptr<CAPicture>& picture = cell.picture();
  if (!picture || !picture->image() || state.folder.isNull()) {
    state.page += QLatin1String(kEmptyCell);
    return;
  }
  if (state.picturesFolder.isNull()) {
    const QString folder = QDir(state.folder).filePath(QLatin1String(kImagesFolder));
    if (!CreatePackageFolder(folder, state.error)) {
      state.ok = false;
      state.page += QLatin1String(kEmptyCell);
      return;
    }
    state.picturesFolder = folder;
  }
  ++state.pictureCount;
  int32_t format = picture->imageFormat();
  if (format == 5) format = 2;  // TIFF, which browsers do not show, goes as JPEG
  const QString name = QString::fromLatin1(kPictureFileFormat).arg(state.pictureCount) + u'.' +
                       CAPicture::extensionForFormat(format);
  const QString written =
      SaveImage(picture->image().get(), QDir(state.picturesFolder).filePath(name), format < 1 || format > 9 ? 5 : format,
                state.error);
  if (written.isEmpty()) {
    state.ok = false;
    state.page += QLatin1String(kEmptyCell);
    return;
  }
  state.page += QStringLiteral("<img src=\"%1/%2\" alt=\"\" style=\"vertical-align:top;")
                    .arg(QLatin1String(kImagesFolder), createEscapedStringForHtml(QFileInfo(written).fileName()));
  const QSizeF size = picture->image()->size();
  const double room = document.widthOfColumn(cell.gridPoint().x) - 2 * state.paddingX;
  if (size.width() > room && size.width() > 0) {
    state.page += QStringLiteral(" width:%1px; height:%2px;").arg(int(room)).arg(int(size.height() * room / size.width()));
  }
  state.page += QStringLiteral("\" />");
}

void ExportContents(const CADocument& document, HtmlExport& state, const CACell& cell, const CAFormat& format) {
  const QStringList css = ParagraphDeclarations(document, format, &cell) + CharacterDeclarations(document, format, &cell);
  state.tabs(state.indent);
  state.page += QStringLiteral("<p");
  const bool styled = !css.isEmpty();
  if (styled) state.page += QStringLiteral(" style=\"") + css.join(u' ') + u'"';
  state.page += u'>';
  if (styled) {
    state.page += u'\n';
    state.tabs(state.indent + 1);
  }
  switch (cell.valueType()) {
    case kValueLink: {
      const QString shown = cell.displayTextField().isEmpty() ? cell.formula() : cell.displayTextField();
      // The address is escaped too: a bare "&" or quote would break the page.
      state.page += QStringLiteral("<a href=\"%1\">").arg(createEscapedStringForHtml(cell.formula())) +
                    EscapeCellTextForHtml(shown) + QStringLiteral("</a>");
      break;
    }
    case kValuePicture:
      ExportPicture(document, state, cell);
      break;
    case kValueCheckbox:
      ++state.checkboxCount;
      state.page += QStringLiteral("<input type=\"checkbox\" name=\"checkboxes\" value=\"checkbox%1\"")
                        .arg(state.checkboxCount);
      if (cell.isChecked()) state.page += QStringLiteral(" checked=\"checked\"");
      state.page += QStringLiteral(" />");
      break;
    default: {
      const QString text = cell.displayText(false);
      state.page += text.isEmpty() ? QLatin1String(kEmptyCell) : EscapeCellTextForHtml(text);
      break;
    }
  }
  if (styled) {
    state.page += u'\n';
    state.tabs(state.indent);
  } else {
    state.tabs(state.indent + 1);
  }
  state.page += QStringLiteral("</p>\n");
}

void ExportRow(const CADocument& document, HtmlExport& state) {
  state.tabs(state.indent++);
  state.page += QStringLiteral("<tr>\n");
  for (state.x = state.range.startPoint.x; state.x <= state.range.endPoint.x; ++state.x) {
    state.tabs(state.indent++);
    // Read where it is: exporting makes no cell of a plain number.
    const CARow* sheetRow = document.row(state.y);
    const CACellEntry* entry = sheetRow ? sheetRow->entryAt(state.x) : nullptr;
    std::optional<CACellReading> reading;
    if (entry) reading.emplace(*entry, state.y, &document);
    const CACell* cell = reading ? reading->get() : nullptr;
    CAFormat format;
    Kolor background = state.defaultBackground;
    if (cell) {
      format = document.formatForCell(cell, false);
    } else {
      if (document.shouldStripeRow(state.y)) background = document.stripeKolor();
      if (const CAFormat* column = document.formatForColumn(state.x);
          column && column->hasPropertyForMask(kFormatBackground))
        background = column->backgroundKolor();
      if (const CAFormat* row = document.formatForRow(state.y)) format = *row;
    }
    if (format.hasPropertyForMask(kFormatBackground)) background = format.backgroundKolor();
    const bool ownBackground = KolorIsColor(background) && background != state.defaultBackground;
    if (!ownBackground && state.y != 0) {
      state.page += QStringLiteral("<td>\n");
    } else {
      state.page += QStringLiteral("<td style=\"");
      if (state.y == 0) state.page += QStringLiteral("width:%1px; ").arg(int(document.widthOfColumn(state.x)));
      if (ownBackground) state.page += Background(background) + u' ';
      state.page += QStringLiteral("\">\n");
    }
    if (cell) ExportContents(document, state, *cell, format);
    else state.page += QLatin1String(kEmptyCell);
    state.tabs(--state.indent);
    state.page += QStringLiteral("</td>\n");
  }
  state.tabs(--state.indent);
  state.page += QStringLiteral("</tr>\n");
}

// The title: the file's name without its extensions, or "Untitled".
QString PageTitle(const CADocument& document) {
  if (document.filePath().isEmpty()) return QLatin1String(kUntitledTitle);
  QString name = QFileInfo(document.filePath()).completeBaseName();
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot > 0) name.truncate(dot);
  return name;
}

}  // namespace

QString EscapeCellTextForHtml(const QString& text) {
  QString out;
  out.reserve(text.size());
  qsizetype runStart = 0;
  const auto flush = [&](qsizetype i) {
    out += QStringView(text).mid(runStart, i - runStart);
    runStart = i + 1;
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t ch = text.at(i).unicode();
    const char* entity = nullptr;
    switch (ch) {
      case u'&': entity = "&amp;"; break;
      case u'<': entity = "&lt;"; break;
      case u'>': entity = "&gt;"; break;
      case u'"': entity = "&quot;"; break;
      case 0x00A0:
      case 0x202F: entity = "&#160;"; break;
      case 0x2028:
      case 0x0B:
      case 0x0C: entity = "<br />"; break;
      default:
        // Controls, and the two non-characters XML cannot hold, become spaces.
        if ((ch < 32 && ch != u'\t') || ch == 0xFFFE || ch == 0xFFFF) entity = "&#032;";
        break;
    }
    if (!entity) continue;
    flush(i);
    out += QLatin1String(entity);
  }
  flush(text.size());
  return out;
}

bool ExportRangeAsHtml(const CADocument& document, const GridRange& range, const QString& folder, QString* page,
                       FLError* error) {
  // Every cell of the range is a table cell, an empty one too.
  if (!TextOfRangeFits(range, kEmptyTableCellLength, error)) return false;
  HtmlExport state;
  state.folder = folder;
  state.error = error;
  state.range = range;
  state.paddingX = document.cellPadding().x / 12700.0;
  state.paddingY = document.cellPadding().y / 12700.0;
  state.defaultBackground = document.defaultFormat().backgroundKolor();

  state.page = QLatin1String(kPageStart) + QLatin1String(kGeneratorFormat).arg(createEscapedStringForHtml(g_appName),
                                                                              createEscapedStringForHtml(g_appVersionString));
  state.page += QStringLiteral("\t<title>%1</title>\n").arg(QLatin1String(kTitlePlaceholder));
  state.page += QLatin1String(kStyleStart) + QLatin1String(kStyleEnd) + u'\n';
  state.page += QLatin1String(kBodyStart);

  state.tabs(state.indent++);
  if (KolorIsColor(state.defaultBackground))
    state.page += QStringLiteral("<table style=\"") + Background(state.defaultBackground) + QStringLiteral(" \">\n");
  else
    state.page += QStringLiteral("<table>\n");
  for (state.y = range.startPoint.y; state.y <= range.endPoint.y && state.ok; ++state.y) ExportRow(document, state);
  if (!state.ok) return false;
  state.tabs(state.indent - 1);
  state.page += QStringLiteral("</table>\n</body>\n</html>\n");

  const qsizetype title = state.page.indexOf(QLatin1String(kTitlePlaceholder));
  if (title < 0) LogAssert("Title placeholder not found", __func__, __FILE__, __LINE__);
  else state.page.replace(title, qsizetype(std::strlen(kTitlePlaceholder)), createEscapedStringForHtml(PageTitle(document)));
  const qsizetype style = state.page.indexOf(QLatin1String(kStyleEnd));
  if (style < 0) LogAssert("useEmbeddedStyles not specified", __func__, __FILE__, __LINE__);
  else state.page.insert(style, QStringLiteral("\t\t<!--\n") + StyleSheet(document, state) + QStringLiteral("\t\t-->\n"));
  *page = std::move(state.page);
  return true;
}

bool CADocument::saveToHtmlFile(const QString& path, FLError* error) {
  // Refused before the page's folder is made.
  if (!TextOfRangeFits(extent(), kEmptyTableCellLength, error)) return false;
  QString file = path;
  QString folder = QFileInfo(path).absolutePath();
  if (!keepHtmlExtension()) {
    if (!QDir().mkpath(path)) {
      const int code = errno ? errno : EACCES;
      SetError(error, code, QString::fromLocal8Bit(std::strerror(code)), kFLPosixErrorDomain);
      return false;
    }
    folder = path;
    file = QDir(path).filePath(QLatin1String(kPageFileName));
  }
  QString page;
  if (!ExportRangeAsHtml(*this, extent(), folder, &page, error)) return false;
  return WritePackageTextFile(file, page, error);
}

QString CADocument::htmlFromSelection() {
  GridRange range;
  if (normalSelection(&range) == kRangeInvalid) return QString();
  const GridPoint last = maxGridPoint();
  range.endPoint.x = std::min(range.endPoint.x, std::max(last.x, range.startPoint.x));
  range.endPoint.y = std::min(range.endPoint.y, std::max(last.y, range.startPoint.y));
  QString page;
  return ExportRangeAsHtml(*this, range, QString(), &page, nullptr) ? page : QString();
}
