// The save panel's format accessory: the panel's list of file types is the format pop-up, and
// the name in the panel keeps in step with the chosen format: every known extension is stripped
// from the end of the typed name and the chosen one appended. A subclass adds its per-format
// option controls (optionsView) and stores them into the document (saveOtherOptions).
#pragma once

#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStringList>

class FLDocument;
class QFileDialog;
class QWidget;

// The tag of the format items offered to advanced users only.
inline constexpr int kAdvancedFormatTag = 55555;

class FLDocumentSaveFormatVC : public QObject {
  Q_OBJECT

 public:
  FLDocumentSaveFormatVC();
  ~FLDocumentSaveFormatVC() override;

  // The name `name` becomes for the format `extension`: known extensions (saveTypes, ignoring
  // case) stripped from its end, "Untitled" when nothing is left, then ".extension".
  static QString EnforcedName(const QString& name, const QStringList& saveTypes, const QString& extension);

  void setSavePanel(QFileDialog* panel);
  QFileDialog* savePanel() const { return savePanel_; }
  const QStringList& saveTypes() const { return saveTypes_; }
  void setSaveTypes(const QStringList& types);
  const QString& originalPath() const { return originalPath_; }
  void setOriginalPath(const QString& path) { originalPath_ = path; }
  qsizetype formatIndex() const { return formatIndex_; }
  void setFormatIndex(qsizetype index);
  QString selectedExtension() const { return saveTypes_.value(formatIndex_); }
  // Gives the format of an extension a tag; kAdvancedFormatTag keeps it out of the list unless
  // the advanced-user marker is present or the panel is on that format (the document's own).
  void setFormatTag(const QString& extension, int tag);
  // The formats the list offers, in order.
  QStringList offeredTypes() const;

  // Chooses the format of the extension; false when it is not one of the save types.
  bool setExtension(const QString& extension);
  // The same, then enforces the format on the name (null: the panel's name field); null when
  // the extension is not a save type.
  QString setExtension(const QString& extension, const QString& fileName);
  // Puts the enforced name in the panel's name field and answers it.
  QString enforceFormat(const QString& name);
  // Offers an extension that is not among the save types as one more format.
  void ensureExtensionAllowed(const QString& extension);
  // The format pop-up changed.
  void changeFormat(qsizetype index);
  void goToOriginalPath();
  // The name the confirmed panel saves under.
  QString panelUserEnteredFilename(const QString& name);
  // The panel's name field's text.
  QString panelFileName() const;

  // ---- Hooks
  // Per-format options shown under the panel; null: none.
  virtual QWidget* optionsView() { return nullptr; }
  virtual void saveOtherOptions(FLDocument* /*document*/) {}

 protected:
  // The chosen format changed (by the program or by the user).
  virtual void formatChanged() {}

 private:
  void updateFilters();

  QPointer<QFileDialog> savePanel_;
  void holdFormatRows();
  QStringList saveTypes_;
  QHash<QString, int> tags_;  // by lower-case extension
  QString originalPath_;
  qsizetype formatIndex_ = 0;
  bool updating_ = false;
  // Every row of the panel's list of formats, held (holdFormatRows).
  QList<QPersistentModelIndex> heldFormatRows_;
};
