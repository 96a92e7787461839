// HTML into the sheet: the HTML reader makes rich text, the text engine takes it in, and the
// engine document becomes cells. Relative references (pictures) are found next to the file.
#include "calculator/fileformats/caGlimmetImport.h"

#include "calculator/fileformats/caReadFile.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "platform/FLError.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QTextDocument>
#include <QUrl>

namespace {

constexpr const char* kHtmlUnreadable = "I can't interpret the HTML file.";

// The page's text: a byte-order mark or a declared character set decides, else UTF-8 when the
// bytes are valid UTF-8, else Latin-1.
QString HtmlTextOfBytes(const QByteArray& bytes) {
  QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
  if (decoder.isValid() && QByteArrayView(decoder.name()) != "UTF-8") return decoder.decode(bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes);
}

}  // namespace

bool CADocument::loadHtmlFile(const QString& path, FLError* error) {
  QByteArray bytes;
  if (!ReadWholeFile(path, &bytes, error)) return false;
  const QString html = HtmlTextOfBytes(bytes);
  if (!HtmlNestingWithinLimit(html)) {
    SetError(error, -50, QLatin1String(kHtmlUnreadable));
    return false;
  }
  GMImportTextDocument text;
  text.setBaseUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath() + u'/'));
  text.setHtml(html);
  if (loadAttributedString(text)) return true;
  if (error && error->domain.isEmpty()) SetError(error, -50, QLatin1String(kHtmlUnreadable));
  return false;
}

bool CADocument::loadAttributedString(const QTextDocument& text) {
  if (!NewImportDocument()) return false;
  if (!ImportAttributedText(g_glimmetDoc, text)) {
    DestroyImportDocument();
    return false;
  }
  return loadFromGlimmet();
}
