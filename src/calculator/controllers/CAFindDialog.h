// The application's one find-and-replace panel. It works on the document of the frontmost
// spreadsheet window and keeps its texts and options in step with the preferences, which every
// window's quick search and the application's find menu share.
#pragma once

#include "framlet/shell/FLTeardownSilencer.h"

#include <QDialog>

#include <cstdint>

class CADocument;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// Tags of the panel's buttons: find backward (0) or forward (1); replace (0), replace all (1),
// replace and find (2).
enum : int {
  kFindPrevious = 0,
  kFindNext = 1,
  kReplaceOne = 0,
  kReplaceAll = 1,
  kReplaceAndFind = 2,
};

class CAFindDialog : public QDialog {
  Q_OBJECT

 public:
  // The panel, made ("FindDialog") on first use and kept until the process ends.
  static CAFindDialog& sharedInstance();
  // Whether the panel was made.
  static bool exists();
  // Brings the panel front and makes it key.
  static void showFind();

  CAFindDialog(const CAFindDialog&) = delete;
  CAFindDialog& operator=(const CAFindDialog&) = delete;

  const QString& findString() const { return findString_; }
  const QString& replaceString() const { return replaceString_; }
  void setFindString(const QString& text);
  void setReplaceString(const QString& text);
  bool ignoreCase() const { return ignoreCase_; }
  bool wholeWords() const { return wholeWords_; }
  bool wrap() const { return wrap_; }
  bool fromStart() const { return fromStart_; }
  int32_t scope() const { return scope_; }
  // The document the panel acts on; null when no spreadsheet window is open.
  CADocument* document() const { return document_; }

  // The buttons' actions.
  void find(int tag);
  void replace(int tag);
  // An option control changed: the options become the preferences' and the next find is new.
  void updateSearchOption();
  // The texts and options are taken from the preferences, without announcing them.
  void updateSettings();
  // The target becomes the document of the frontmost spreadsheet window.
  void windowDidBecomeKey();
  bool isNewFind() const { return newFind_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  CAFindDialog();
  void buildWindow();
  void enableButtons();
  void documentClosing(const CADocument* document);
  // The panel hides; it is never closed.
  void orderOut();
  // The panel stays above the spreadsheet window whose document it works on, as the window
  // manager keeps a window above the one it is transient for.
  void keepAbove(QWidget* window);

  QLineEdit* findField_ = nullptr;
  QLineEdit* replaceField_ = nullptr;
  QCheckBox* ignoreCaseButton_ = nullptr;
  QCheckBox* wholeWordsButton_ = nullptr;
  QCheckBox* wrapButton_ = nullptr;
  QCheckBox* fromStartButton_ = nullptr;
  QComboBox* scopeControl_ = nullptr;
  QProgressBar* spinner_ = nullptr;
  QLabel* countField_ = nullptr;
  QPushButton* findNextButton_ = nullptr;
  QPushButton* findPreviousButton_ = nullptr;
  QPushButton* replaceButton_ = nullptr;
  QPushButton* replaceFindButton_ = nullptr;
  QPushButton* replaceAllButton_ = nullptr;

  QString findString_;
  QString replaceString_;
  CADocument* document_ = nullptr;
  bool ignoreCase_ = false;
  bool wholeWords_ = false;
  bool wrap_ = false;
  bool fromStart_ = false;
  int32_t scope_ = 0;
  bool suppressNotify_ = false;
  bool newFind_ = true;
  // Last: its children signal nothing into this once it starts to go.
  FLTeardownSilencer teardownSilencer_{this};
};
