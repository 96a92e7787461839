// The help window: the application's help file (or another file of the text engine's stored
// form, shown as help) read-only, with an outline of its chapters as topics, a history of the
// places visited, a quick search, zoom and a help font shared with the maker's other
// applications. The application's help remembers its topic, place, open topics and zoom.
#pragma once

#include "framlet/foundation/flHelpHook.h"
#include "framlet/shell/FLToolbarDelegate.h"
#include "framlet/shell/FLToolbarSegmentsDelegate.h"
#include "framlet/help/flHelpNavigation.h"
#include "glimmet/layout/GMViewService.h"
#include "glimmet/storage/GlimmetDoc.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class FLGlimmetHelpView;
class GMDocument;
class GMDraftScrollView;
class FLToolbarSegments;
class FLToolbarView;
class QAction;
class QComboBox;
class QFontDialog;
class QLineEdit;
class QMainWindow;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

inline constexpr const char* kFLHelpResourceName = "Help";
inline constexpr const char* kFLHelpResourceType = "glimmet";
inline constexpr const char* kFLHelpTopicKey = "fl.helpTopic";
inline constexpr const char* kFLHelpPositionKey = "fl.helpPosition";
inline constexpr const char* kFLHelpOpenTopicsKey = "fl.helpOpenTopics";
inline constexpr const char* kFLHelpZoomKey = "fl.helpZoom";
inline constexpr const char* kFLHelpSearchKey = "fl.help.search";
inline constexpr const char* kFLHelpFontKey = "com.orvandel.shared.helpfont";
inline constexpr const char* kFLHelpFoundNotification = "gmb.helpFound";

// Toolbar segment bars.
inline constexpr uint64_t kFLHelpNavigateBar = 1, kFLHelpTopicBar = 2, kFLHelpFindBar = 3;

class FLGlimmetHelpWC : public QObject,
                        public FLToolbarDelegate,
                        public FLToolbarSegmentsDelegate,
                        public GMReadOnlyViewService {
  Q_OBJECT

 public:
  ~FLGlimmetHelpWC() override;

  // Shows the application's help at the topic (kFLHelpNotGiven: the remembered place, or where an
  // open help window is) and the bookmark within it.
  static void displayHelp(int64_t topic, int64_t bookmark = kFLHelpNotGiven);
  // Shows a file of the help's form in a help window of its own; nullptr when it can't be read.
  static FLGlimmetHelpWC* displayFileAsHelp(const QString& path);
  // The open help windows (tests, and finding the application's help).
  static std::vector<FLGlimmetHelpWC*> helpWindows();
  // Installs displayHelp as the help hook of the lower layers.
  static void installHelpHook();
  // Tests count beeps here (nullptr: the desktop's beep).
  static void setBeepHook(std::function<void()> beep);

  QMainWindow* window() const { return window_.get(); }
  GMDocument* document() const { return document_.get(); }
  GlimmetDoc* doc() const;
  const QString& filePath() const { return filePath_; }
  int64_t currentTopic() const { return currentTopic_; }
  const FLHelpTopicTree& topicTree() const { return topicTree_; }
  const FLHelpHistory& history() const { return history_; }
  QTreeWidget* topicList() const { return topicList_; }
  FLGlimmetHelpView* textView() const { return textView_; }
  GMDraftScrollView* scrollView() const { return scrollView_; }
  FLToolbarView* toolbarView() const { return toolbarView_; }
  const QFont& font() const { return font_; }
  const QString& searchString() const { return searchString_; }
  uint64_t searchOptionMask() const { return searchOptionMask_; }

  void jumpToTopic(int64_t topic, int64_t bookmark, bool record);
  void followLink(uint32_t cp);
  void saveSelection();
  void navigate(bool back);
  void ensureCurrentTopic();
  void showFindResult(const DocRange& range);
  // The help view became first responder: the document focuses it and the zoom tool follows it.
  void focusView();

  // ---- Commands (menu and toolbar)
  void copy();
  void selectAll();
  void closeWindow();
  void find();
  void quickSearch(const QString& text);
  void findFromStart();
  bool findNext(bool forward);
  void setSearchOption(int tag);
  void useSelectionForFind();
  void jumpNextChapter();
  void jumpPreviousChapter();
  void changeZoom(int percent);
  void zoomIn();
  void zoomOut();
  double zoom() const;
  void showFonts();
  void changeFont(const QFont* chosen);
  void startSpeaking();
  void saveHelpFile();
  // Whether the command (an action name such as "findPrevious:") is enabled now.
  bool validateAction(const QString& action) const;

  // ---- FLToolbarDelegate
  QString toolbarGuid() const override;
  const FLToolbarItem* toolbarItems() const override;
  uint64_t numberOfToolbarItems() const override;
  QStringList defaultToolbarItems() const override;
  bool canCustomize() const override { return false; }
  QMenu* menuForPopup(const FLToolbarItem& item, FLToolbarView* toolbar) override;
  QString recentSearchKey(const FLToolbarItem& item, FLToolbarView* toolbar) override;
  void setupCompleteForToolbar(FLToolbarView* toolbar) override;
  void sendToolbarAction(const QString& action, FLToolbarView* toolbar) override;

  // ---- FLToolbarSegmentsDelegate
  QVariantList tabsForSegments(FLToolbarSegments* segments) override;
  void tabWasSelected(int64_t index, FLToolbarSegments* segments) override;

  // ---- GMViewService: a read-only view without menus, undo or spelling
  void selectAll(QObject*) override { selectAll(); }
  bool dragAndDrop() override { return true; }
  bool useStandardKeys() override;
  double verticalRulerWidth() override { return 0; }
  bool mayRespond() override { return true; }

  FLToolbarSegments* segmentsWithTag(uint64_t barTag) const;
  QLineEdit* searchField() const;
  QComboBox* zoomTool() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool findInOtherTopics(bool forward);
  FLGlimmetHelpWC();
  static FLGlimmetHelpWC* create(const QString& path, bool asFile);
  static void beep();
  void buildWindow();
  void buildMenus();
  void prepareToShow();
  void takePreferenceStyles();
  void expandTopic(FLHelpTopic* topic, bool haveOpenStatus);
  void showWindow();
  void windowWillClose();
  void updateNavTool();
  void updateTopicTool();
  void updateZoomTool();
  void updateWindowTitle();
  void validateMenus();
  void changeDarkMode();
  void setSelection(uint32_t first, uint32_t limit);
  bool isAppHelp() const { return filePath_.isEmpty(); }
  QTreeWidgetItem* itemForTopic(const FLHelpTopic* topic) const;

  std::unique_ptr<QMainWindow> window_;
  FLToolbarView* toolbarView_ = nullptr;
  QMenu* zoomMenu_ = nullptr;
  std::unique_ptr<GMDocument> document_;
  QTreeWidget* topicList_ = nullptr;
  GMDraftScrollView* scrollView_ = nullptr;
  FLGlimmetHelpView* textView_ = nullptr;
  FLHelpTopicTree topicTree_;
  QString filePath_;
  int64_t currentTopic_ = 0;
  FLHelpHistory history_;
  uint64_t navigationDepth_ = 0;
  QFont font_;
  QString searchString_;
  uint64_t searchOptionMask_ = kFLHelpIgnoreCase | kFLHelpFromStart;
  QPointer<QFontDialog> fontPanel_;
  std::vector<QAction*> actions_;
  bool closing_ = false;
  bool ready_ = false;  // prepared: the zoom tool may write the zoom preference
};
