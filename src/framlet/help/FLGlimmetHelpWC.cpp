#include "framlet/help/FLGlimmetHelpWC.h"

#include "framlet/foundation/flBase.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/help/FLGlimmetHelpView.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "framlet/shell/FLSpeechManager.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "framlet/shell/FLToolbarView.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flStandardKeys.h"
#include "glimmet/layout/GMDocument.h"
#include "glimmet/layout/GMDraftScrollView.h"
#include "glimmet/layout/gmViewNotifications.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmFind.h"
#include "glimmet/storage/gmOpenNative.h"
#include "glimmet/storage/gmProperties.h"
#include "glimmet/storage/gmStyles.h"
#include "glimmet/storage/gmTables.h"
#include "platform/Appearance.h"
#include "platform/BundleInfo.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {

constexpr const char* kHelpToolbarGuid = "7A091856-3B39-44AD-AA25-9A12DBAB49B3";
constexpr const char* kExportGuid = "F05FD073-5679-4009-B36A-B326FE17A304";
constexpr const char* kSearchGuid = "50170EC9-71B7-44D1-985F-3D4964C86EF0";
constexpr const char* kFontsGuid = "DE9E1BCE-1DD2-43F3-90FD-B05F2A1D2B1F";
constexpr const char* kNavigateGuid = "3A5F84D3-F0C4-4AAB-99AE-84D96986BE74";
constexpr const char* kFindNextGuid = "AC66C744-A2D7-4DC2-8864-E3F7A17531CA";
constexpr const char* kTopicGuid = "45F90813-D4F5-46CA-A280-C7DE2E2CCBB4";
constexpr const char* kZoomGuid = "3BBC3052-1204-4511-8F39-255BD25967FA";

constexpr FLToolbarItem kHelpToolbarItems[] = {
    {kFLToolbarFlexibleSpaceItem, nullptr, nullptr, "Flexible Space"},
    {kExportGuid, "NSFolder", "Export", nullptr, "saveHelpFile:", "Save a copy of the help file in Tamsel Write format"},
    {kSearchGuid, kFLSearchFieldClass, nullptr, "Search", "quickSearch:", nullptr, 0, 1, 1, 0, false, true},
    {kFontsGuid, "FontTool", "Fonts", nullptr, "showFonts:", "Show or hide the font panel"},
    {kNavigateGuid, kFLToolbarSegmentsClass, "Navigate", nullptr, nullptr, nullptr, int64_t(kFLHelpNavigateBar), 61, 19},
    {kFindNextGuid, kFLToolbarSegmentsClass, "Find Next", nullptr, nullptr, nullptr, int64_t(kFLHelpFindBar), 61, 19},
    {kTopicGuid, kFLToolbarSegmentsClass, "Topic", nullptr, nullptr, nullptr, int64_t(kFLHelpTopicBar), 61, 19},
    {kZoomGuid, kFLPopUpButtonClass, "Zoom", nullptr, "changeZoom:", "Change page magnification", 0, 80, 25},
};
constexpr int kZoomPercents[] = {50, 75, 100, 125, 150, 175, 200, 250, 300, 400};
constexpr uint32_t kHelpPagePoints = 864;
constexpr float kHelpSideMargin = 8;
constexpr float kHelpTopGap = 6;
constexpr const char* kSaveFolderMessage = "Select a folder in which to save a copy of the help file";

std::vector<FLGlimmetHelpWC*>& Registry() {
  static std::vector<FLGlimmetHelpWC*> windows;
  return windows;
}

std::function<void()>& BeepHook() {
  static std::function<void()> hook;
  return hook;
}

// The open topics of the application's help, shared by its windows and loaded once.
struct OpenTopics {
  bool loaded = false;
  bool stored = false;  // the user defaults held a dictionary
  QVariantMap map;
};
OpenTopics& SharedOpenTopics() {
  static OpenTopics topics;
  return topics;
}

UserDefaults& Defaults() { return UserDefaults::standardUserDefaults(); }

// A command of the help window: its action name, title, menu, shortcut and tag.
struct HelpCommand {
  const char* action;
  const char* title;
  int menu;  // 0 File, 1 Edit, 2 View, 3 Find options
  QKeySequence::StandardKey standardKey;
  int key;
  int tag;
};
constexpr HelpCommand kCommands[] = {
    {"saveHelpFile:", "Save a Copy of the Help File…", 0, QKeySequence::UnknownKey, 0, 0},
    {"closeWindow:", "Close", 0, QKeySequence::Close, 0, 0},
    // The application's Quit, with its key, from the help in front as from any other window.
    {"terminate:", "Quit", 0, QKeySequence::UnknownKey, int(Qt::CTRL) | int(Qt::Key_Q), 0},
    {"copy:", "Copy", 1, QKeySequence::Copy, 0, 0},
    {"selectAll:", "Select All", 1, QKeySequence::SelectAll, 0, 0},
    {"find:", "Find…", 1, QKeySequence::Find, 0, 0},
    {"findNext:", "Find Next", 1, QKeySequence::FindNext, 0, 0},
    {"findPrevious:", "Find Previous", 1, QKeySequence::FindPrevious, 0, 0},
    {"findFromStart:", "Find from the Start", 1, QKeySequence::UnknownKey, 0, 0},
    {"useSelectionForFind:", "Use Selection for Find", 1, QKeySequence::UnknownKey, int(Qt::CTRL) | int(Qt::Key_E), 0},
    {"startSpeaking:", "Start Speaking", 1, QKeySequence::UnknownKey, 0, 0},
    {"setSearchOption:", "Whole Words", 3, QKeySequence::UnknownKey, 0, 0},
    {"setSearchOption:", "Ignore Case", 3, QKeySequence::UnknownKey, 0, 1},
    {"setSearchOption:", "Wrap Around", 3, QKeySequence::UnknownKey, 0, 2},
    {"setSearchOption:", "Search from the Start", 3, QKeySequence::UnknownKey, 0, 3},
    {"navigateBack:", "Back", 2, QKeySequence::Back, 0, 0},
    {"navigateForward:", "Forward", 2, QKeySequence::Forward, 0, 0},
    {"jumpPreviousChapter:", "Previous Topic", 2, QKeySequence::UnknownKey, int(Qt::CTRL) | int(Qt::Key_Up), 0},
    {"jumpNextChapter:", "Next Topic", 2, QKeySequence::UnknownKey, int(Qt::CTRL) | int(Qt::Key_Down), 0},
    {"zoomIn:", "Zoom In", 2, QKeySequence::ZoomIn, 0, 0},
    {"zoomOut:", "Zoom Out", 2, QKeySequence::ZoomOut, 0, 0},
    {"showFonts:", "Show Fonts", 2, QKeySequence::UnknownKey, int(Qt::CTRL) | int(Qt::Key_T), 0},
};

}  // namespace

// ---- Opening -----------------------------------------------------------------------------------

FLGlimmetHelpWC::FLGlimmetHelpWC() {
  // The help's layout starts a little below the view's top, and its text keeps its colours in
  // the dark appearance.
  g_glimmetConfig.topGap = kHelpTopGap;
  g_glimmetConfig.darkText = 1;
  Registry().push_back(this);
}

FLGlimmetHelpWC::~FLGlimmetHelpWC() {
  NotificationCenter::defaultCenter().removeObserver(this);
  auto& windows = Registry();
  windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
  if (fontPanel_) delete fontPanel_.data();
  // The views go before the document they show.
  if (window_) window_->removeEventFilter(this);
  window_.reset();
}

std::vector<FLGlimmetHelpWC*> FLGlimmetHelpWC::helpWindows() { return Registry(); }

void FLGlimmetHelpWC::installHelpHook() {
  SetHelpHook([](int64_t topic, int64_t bookmark) { displayHelp(topic, bookmark); });
}

void FLGlimmetHelpWC::setBeepHook(std::function<void()> beep) { BeepHook() = std::move(beep); }

void FLGlimmetHelpWC::beep() {
  if (BeepHook()) BeepHook()();
  else QApplication::beep();
}

void FLGlimmetHelpWC::displayHelp(int64_t topic, int64_t bookmark) {
  // The newest window is the frontmost.
  for (auto it = Registry().rbegin(); it != Registry().rend(); ++it) {
    FLGlimmetHelpWC* open = *it;
    if (!open->isAppHelp() || open->closing_) continue;
    if (topic != kFLHelpNotGiven) open->jumpToTopic(topic, bookmark, true);
    open->showWindow();
    return;
  }
  const QString path = BundleResourcePath(QLatin1String(kFLHelpResourceName), QLatin1String(kFLHelpResourceType));
  if (path.isEmpty()) {
    LogText(QStringLiteral("Can't load help file"));
    return;
  }
  FLGlimmetHelpWC* controller = create(path, false);
  if (!controller) return;
  controller->jumpToTopic(topic, topic == kFLHelpNotGiven ? kFLHelpNotGiven : bookmark, true);
  controller->showWindow();
}

FLGlimmetHelpWC* FLGlimmetHelpWC::displayFileAsHelp(const QString& path) {
  for (FLGlimmetHelpWC* open : Registry()) {
    if (open->closing_ || open->filePath_ != path) continue;
    open->showWindow();
    return open;
  }
  FLGlimmetHelpWC* controller = create(path, !path.isEmpty());
  if (!controller) return nullptr;
  controller->jumpToTopic(0, kFLHelpNotGiven, true);
  controller->showWindow();
  return controller;
}

FLGlimmetHelpWC* FLGlimmetHelpWC::create(const QString& path, bool asFile) {
  auto* controller = new FLGlimmetHelpWC();
  controller->buildWindow();
  controller->document_ = GMDocument::create();
  QString error;
  if (controller->document_) controller->document_->glimmetDoc()->kind = kDocHelp;
  if (!controller->document_ || !ReadNativeFile(path, controller->doc(), &error)) {
    LogString("Can't read help file: %@", error);
    controller->closing_ = true;
    delete controller;
    return nullptr;
  }
  // Read-only, fitted to the window, on a square page without margins.
  GMDocument& document = *controller->document_;
  GlimmetDoc* doc = document.glimmetDoc();
  document.awake();
  document.setLocked(true);
  document.setBlockChanges(true);
  doc->fitToWindow = true;
  doc->paperWidth = doc->paperHeight = kHelpPagePoints;
  for (uint32_t margin : {DocField::left, DocField::top, DocField::right, DocField::bottom})
    doc->docProps.set<int64_t>(margin, 0);
  document.setHelpLinkFollower([controller](uint32_t cp) { controller->followLink(cp); });
  IdentifyBookmarks(doc);
  RebuildStyleList(doc);
  if (asFile) controller->filePath_ = path;
  controller->prepareToShow();
  return controller;
}

void FLGlimmetHelpWC::showWindow() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal && modal != window_.get()) window_->setWindowModality(Qt::ApplicationModal);
  window_->show();
  window_->raise();
  window_->activateWindow();
}

// ---- The window --------------------------------------------------------------------------------

void FLGlimmetHelpWC::buildWindow() {
  window_ = std::make_unique<QMainWindow>();
  window_->setObjectName(QStringLiteral("FLGlimmetHelp"));
  window_->setAttribute(Qt::WA_DeleteOnClose, false);
  window_->resize(900, 640);
  auto* centre = new QWidget(window_.get());
  auto* layout = new QVBoxLayout(centre);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* splitter = new QSplitter(Qt::Horizontal, centre);
  topicList_ = new QTreeWidget(splitter);
  topicList_->setObjectName(QStringLiteral("topicList"));
  topicList_->setHeaderHidden(true);
  topicList_->setColumnCount(1);
  scrollView_ = new GMDraftScrollView(splitter);
  scrollView_->setup(false);
  textView_ = new FLGlimmetHelpView(scrollView_);
  textView_->setObjectName(QStringLiteral("helpView"));
  textView_->setWindowController(this);
  scrollView_->setDocumentView(textView_);
  splitter->addWidget(topicList_);
  splitter->addWidget(scrollView_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({220, 680});
  toolbarView_ = new FLToolbarView(centre);
  layout->addWidget(toolbarView_);
  layout->addWidget(splitter, 1);
  window_->setCentralWidget(centre);
  zoomMenu_ = new QMenu(window_.get());
  for (int percent : kZoomPercents) zoomMenu_->addAction(QStringLiteral("%1%").arg(percent))->setData(percent);
  toolbarView_->setUp(this, splitter);
  buildMenus();
  window_->installEventFilter(this);

  connect(topicList_, &QTreeWidget::itemSelectionChanged, this, [this] {
    const QList<QTreeWidgetItem*> selected = topicList_->selectedItems();
    if (selected.isEmpty() || navigationDepth_ > 0) return;
    // The outline reselects the current row when it is first shown: that is no move.
    const int64_t chapter = selected.front()->data(0, Qt::UserRole).toLongLong();
    if (chapter != currentTopic_) jumpToTopic(chapter, kFLHelpNotGiven, true);
  });
  const auto remember = [this](QTreeWidgetItem* item, bool open) {
    if (!isAppHelp()) return;
    SharedOpenTopics().map.insert(item->text(0), open);
  };
  connect(topicList_, &QTreeWidget::itemExpanded, this, [remember](QTreeWidgetItem* item) { remember(item, true); });
  connect(topicList_, &QTreeWidget::itemCollapsed, this, [remember](QTreeWidgetItem* item) { remember(item, false); });
  connect(textView_, &FLGlimmetHelpView::focused, this, &FLGlimmetHelpWC::focusView);
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kDarkModeNotification), nullptr,
                                                  [this](const Notification&) { changeDarkMode(); });
  changeDarkMode();
}

void FLGlimmetHelpWC::buildMenus() {
  QMenuBar* bar = window_->menuBar();
  QMenu* menus[4] = {bar->addMenu(tr("&File")), bar->addMenu(tr("&Edit")), bar->addMenu(tr("&View")), nullptr};
  menus[3] = menus[1]->addMenu(tr("Find Options"));
  for (const HelpCommand& command : kCommands) {
    QAction* action = menus[command.menu]->addAction(tr(command.title));
    action->setObjectName(QLatin1String(command.action) + (command.menu == 3 ? QString::number(command.tag) : QString()));
    action->setData(command.tag);
    if (command.standardKey != QKeySequence::UnknownKey) action->setShortcuts(StandardShortcuts(command.standardKey));
    else if (command.key) action->setShortcut(QKeySequence(command.key));
    action->setCheckable(command.menu == 3);
    const QString name = QLatin1String(command.action);
    if (command.menu == 3) {
      connect(action, &QAction::triggered, this, [this, tag = command.tag] { setSearchOption(tag); });
    } else {
      connect(action, &QAction::triggered, this, [this, name] { sendToolbarAction(name, nullptr); });
    }
    actions_.push_back(action);
  }
  for (QMenu* menu : menus) connect(menu, &QMenu::aboutToShow, this, &FLGlimmetHelpWC::validateMenus);
}

void FLGlimmetHelpWC::changeDarkMode() {
  if (!g_outlineViewBackground.isValid()) return;
  QPalette palette = topicList_->palette();
  palette.setColor(QPalette::Base, g_outlineViewBackground);
  topicList_->setPalette(palette);
}

void FLGlimmetHelpWC::validateMenus() {
  for (QAction* action : actions_) {
    QString name = action->objectName();
    if (name.startsWith(QLatin1String("setSearchOption:"))) {
      action->setChecked((searchOptionMask_ >> action->data().toInt()) & 1);
      continue;
    }
    action->setEnabled(validateAction(name));
  }
}

bool FLGlimmetHelpWC::validateAction(const QString& action) const {
  FLPopoverBaseVC::closePopovers();
  if (!document_ || textView_->selectionInProgress()) return false;
  const uint32_t mask = document_->selectionMask();
  if (action == QLatin1String("copy:")) return mask & kSelMaskRange;
  if (action == QLatin1String("startSpeaking:")) return !(mask & (kSelMaskEmpty | kSelMaskPicture));
  if (action == QLatin1String("jumpPreviousChapter:")) return currentTopic_ > 0;
  if (action == QLatin1String("jumpNextChapter:")) return currentTopic_ + 1 < topicTree_.chapterCount();
  if (action == QLatin1String("findNext:") || action == QLatin1String("findFromStart:") ||
      action == QLatin1String("findPrevious:"))
    return action == QLatin1String("findPrevious:") ? MayFindPrevious() : g_findSettings.type != 0;
  if (action == QLatin1String("navigateBack:")) return history_.canGoBack();
  if (action == QLatin1String("navigateForward:")) return history_.canGoForward();
  if (action == QLatin1String("plain:")) return false;
  return true;
}

void FLGlimmetHelpWC::prepareToShow() {
  QStringList names;
  GlimmetDoc* doc = this->doc();
  for (uint32_t i = 0; i < doc->chapterCps.count(); ++i) names << ChapterName(doc, i);
  topicTree_.build(names);

  OpenTopics& open = SharedOpenTopics();
  if (!open.loaded) {
    open.loaded = true;
    const QVariant stored = Defaults().objectForKey(QLatin1String(kFLHelpOpenTopicsKey));
    open.stored = stored.isValid();
    open.map = stored.toMap();
  }

  // One pane, for the help view, with a narrow side margin.
  document_->closeAllPanes();
  scrollView_->setDocument(document_.get());
  textView_->setDocument(document_.get());
  textView_->setViewService(this);
  document_->addView(textView_);
  if (Pane* pane = document_->paneForView(textView_)) {
    pane->sideMargin = kHelpSideMargin;
    pane->chapterIndex = 0;
  }
  // A hand-edited zoom is kept within the steps the window offers: 1 % shows a blank view and a
  // million takes seconds to lay out.
  const int64_t percent = Defaults().integerForKey(QLatin1String(kFLHelpZoomKey));
  const int64_t shown = percent > 0 ? std::clamp<int64_t>(percent, std::begin(kZoomPercents)[0],
                                                          std::end(kZoomPercents)[-1])
                                    : 100;
  textView_->setZoomValue(double(shown) / 100);
  updateZoomTool();
  textView_->setFocus();

  // The outline: each record's item carries its chapter, so that two entries of the same name
  // stay distinct.
  topicList_->clear();
  const std::function<void(QTreeWidgetItem*, const FLHelpTopic*)> addChildren = [&](QTreeWidgetItem* item,
                                                                                     const FLHelpTopic* topic) {
    for (const FLHelpTopic* child : topic->topics) {
      auto* childItem = new QTreeWidgetItem(item, {child->name});
      childItem->setData(0, Qt::UserRole, qlonglong(child->index));
      addChildren(childItem, child);
    }
  };
  for (const FLHelpTopic* topic : topicTree_.topics()) {
    auto* item = new QTreeWidgetItem(topicList_, {topic->name});
    item->setData(0, Qt::UserRole, qlonglong(topic->index));
    addChildren(item, topic);
  }
  ++navigationDepth_;
  for (FLHelpTopic* topic : topicTree_.topics()) expandTopic(topic, open.stored);
  --navigationDepth_;
  open.stored = true;
  ensureCurrentTopic();
  if (isAppHelp()) changeFont(nullptr);
  else takePreferenceStyles();
  // The engine's find announces a match in the help here, since it may lie in another topic.
  NotificationCenter::defaultCenter().addObserver(
      this, QLatin1String(kGMHelpFoundNotification), window_.get(), [this](const Notification& note) {
        const QVariantList range = note.userInfo.value(QLatin1String(kGMFoundRangeKey)).toList();
        if (range.size() == 2) showFindResult({this->doc(), range[0].toUInt(), range[1].toUInt()});
      });
  ready_ = true;
}

// A file shown as help takes the application's chapter, table and list defaults and its styles,
// as far as they go in.
void FLGlimmetHelpWC::takePreferenceStyles() {
  GlimmetDoc* doc = this->doc();
  if (!g_prefDoc || !doc) return;
  uint32_t* const targets[] = {&doc->defaultChapterProps, &doc->defaultTableProps, &doc->defaultListProps};
  const uint32_t sources[] = {g_prefDoc->defaultChapterProps, g_prefDoc->defaultTableProps,
                              g_prefDoc->defaultListProps};
  for (size_t i = 0; i < std::size(targets); ++i) {
    const PropRecord* record = PropertiesAtIndex(g_prefDoc, sources[i]);
    if (!record) break;
    PropRecord copy = *record;
    const uint32_t index = IndexForProperties(doc, &copy);
    if (index == kGMNone) break;
    *targets[i] = index;
  }
  ResetCopySlots(g_prefDoc);
  for (uint32_t i = 1; i < g_prefDoc->styles.size(); ++i) {
    if (g_prefDoc->styles[i].kind == kPropUnusedStyle) continue;
    if (ImportStyle(doc, g_prefDoc, i) == kGMNone) break;
  }
  ResetCopySlots(g_prefDoc);
  RebuildStyleList(doc);
}

QTreeWidgetItem* FLGlimmetHelpWC::itemForTopic(const FLHelpTopic* topic) const {
  if (!topic || !FLHelpTopicTree::inOutline(topic)) return nullptr;
  std::vector<const FLHelpTopic*> path;
  for (const FLHelpTopic* t = topic; t; t = t->level > 0 ? t->parent : nullptr) path.push_back(t);
  QTreeWidgetItem* item = nullptr;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    const FLHelpTopic* step = *it;
    const std::vector<FLHelpTopic*>& siblings = step->level == 0 ? topicTree_.topics() : step->parent->topics;
    const int row = int(std::find(siblings.begin(), siblings.end(), step) - siblings.begin());
    item = item ? item->child(row) : topicList_->topLevelItem(row);
    if (!item) return nullptr;
  }
  return item;
}

void FLGlimmetHelpWC::expandTopic(FLHelpTopic* topic, bool haveOpenStatus) {
  if (!topic->expandable()) return;
  QTreeWidgetItem* item = itemForTopic(topic);
  if (!item) return;
  if (!isAppHelp()) {
    item->setExpanded(true);
  } else if (haveOpenStatus) {
    if (SharedOpenTopics().map.value(topic->name).toBool()) item->setExpanded(true);
  } else {
    SharedOpenTopics().map.insert(topic->name, true);
    item->setExpanded(true);
  }
  for (FLHelpTopic* child : topic->topics) expandTopic(child, haveOpenStatus);
}

// ---- Topics and places -------------------------------------------------------------------------

void FLGlimmetHelpWC::jumpToTopic(int64_t topic, int64_t bookmark, bool record) {
  if (!document_ || !document_->paneForView(textView_)) {
    beep();
    return;
  }
  GlimmetDoc* doc = this->doc();
  const int64_t count = int64_t(doc->chapterCps.count());
  std::optional<uint32_t> place;
  if (topic == kFLHelpNotGiven) {
    topic = Defaults().integerForKey(QLatin1String(kFLHelpTopicKey));
    // A remembered topic from another edition of the help may be gone.
    if (topic < 0 || topic >= count) topic = 0;
    const int64_t offset = Defaults().integerForKey(QLatin1String(kFLHelpPositionKey));
    place = uint32_t(std::clamp<int64_t>(int64_t(doc->chapterCps.cpAt(uint32_t(topic))) + offset, 0,
                                         int64_t(FLHelpChapterLimit(doc, uint32_t(topic)))));
  } else if (topic < 0 || topic >= count) {
    beep();
    return;
  }
  const auto chapter = uint32_t(topic);
  currentTopic_ = topic;
  textView_->showChapter(chapter);
  ensureCurrentTopic();
  updateWindowTitle();

  const uint32_t start = doc->chapterCps.cpAt(chapter);
  const uint32_t limit = FLHelpChapterLimit(doc, chapter);
  bool selected = false;
  if (bookmark != kFLHelpNotGiven && bookmark >= 0) {
    const uint32_t first = doc->bookmarkCps.indexOfCpAfter(start);
    if (first < doc->bookmarkCps.count() && bookmark < int64_t(doc->bookmarkCps.count() - first) &&
        doc->bookmarkCps.cpAt(first + uint32_t(bookmark)) < limit) {
      const uint32_t cp = doc->bookmarkCps.cpAt(first + uint32_t(bookmark));
      const uint32_t knotLimit = KnotLimitCp(doc, cp);
      const uint32_t from = knotLimit == kGMNone ? cp : knotLimit;
      setSelection(from, std::max(from, FLHelpSentenceLimit(doc, from)));
      selected = true;
    }
  }
  if (!selected) {
    const uint32_t at = place ? std::clamp(*place, textView_->firstCp(), textView_->limitCp()) : textView_->firstCp();
    setSelection(at, at);
  }
  if (!place) {
    QTimer::singleShot(0, textView_, [view = textView_] { view->showSelection(); });
  } else {
    textView_->setScrollCp(*place);
  }
  if (record) saveSelection();
  if (QTreeWidgetItem* item = itemForTopic(topicTree_.chapter(topic))) topicList_->scrollToItem(item);
  updateTopicTool();
}

void FLGlimmetHelpWC::setSelection(uint32_t first, uint32_t limit) {
  textView_->selectCps(first, limit);
}

void FLGlimmetHelpWC::updateWindowTitle() {
  const FLHelpTopic* topic = topicTree_.chapter(currentTopic_);
  const QString name = topic ? topic->name : QString();
  if (isAppHelp()) {
    // The opening topic is named after the application, which the title names already.
    const QString help = QStringLiteral("%1 Help").arg(BundleName());
    window_->setWindowTitle(name.isEmpty() || name == BundleName() ? help
                                                                   : QStringLiteral("%1 — %2").arg(help, name));
  } else {
    const QFileInfo file(filePath_);
    window_->setWindowTitle(name.isEmpty() ? file.fileName()
                                           : QStringLiteral("%1 — %2").arg(file.completeBaseName(), name));
  }
}

void FLGlimmetHelpWC::ensureCurrentTopic() {
  ++navigationDepth_;
  for (FLHelpTopic* record : topicTree_.recordsToExpandFor(currentTopic_)) {
    if (QTreeWidgetItem* item = itemForTopic(record)) item->setExpanded(true);
  }
  if (QTreeWidgetItem* item = itemForTopic(topicTree_.chapter(currentTopic_))) {
    topicList_->setCurrentItem(item);
    topicList_->scrollToItem(item, QAbstractItemView::PositionAtCenter);
  } else {
    topicList_->clearSelection();
  }
  --navigationDepth_;
}

void FLGlimmetHelpWC::followLink(uint32_t cp) {
  GlimmetDoc* doc = this->doc();
  if (!doc) return;
  const uint32_t chapter = FLHelpChapterOfCp(doc, cp);
  const uint32_t first = doc->bookmarkCps.indexOfCpAfter(doc->chapterCps.cpAt(chapter));
  const uint32_t holding = doc->bookmarkCps.indexOfCp(cp);
  if (first >= doc->bookmarkCps.count() || holding == kGMNone || holding < first) return;
  jumpToTopic(chapter, int64_t(holding - first), true);
}

void FLGlimmetHelpWC::saveSelection() {
  if (navigationDepth_ > 0 || !textView_) return;
  const DocRange selection = textView_->selectedCps();
  history_.record({doc(), selection.first, selection.limit});
  updateNavTool();
}

void FLGlimmetHelpWC::navigate(bool back) {
  const std::optional<FLHelpPlace> place = back ? history_.back() : history_.forward();
  if (!place || place->doc != doc()) {
    updateNavTool();
    return;
  }
  ++navigationDepth_;
  textView_->setFocus();
  jumpToTopic(FLHelpChapterOfCp(doc(), place->first), kFLHelpNotGiven, false);
  setSelection(place->first, place->limit);
  textView_->showSelection();
  --navigationDepth_;
  updateNavTool();
}

void FLGlimmetHelpWC::showFindResult(const DocRange& range) {
  if (!doc() || range.doc != doc()) return;
  ++navigationDepth_;
  jumpToTopic(FLHelpChapterOfCp(doc(), range.first), kFLHelpNotGiven, false);
  --navigationDepth_;
  setSelection(range.first, range.limit);
  textView_->showSelection();
  saveSelection();
}

// ---- Commands ----------------------------------------------------------------------------------

void FLGlimmetHelpWC::copy() { document_->copySelection(); }

GlimmetDoc* FLGlimmetHelpWC::doc() const { return document_ ? document_->glimmetDoc() : nullptr; }

bool FLGlimmetHelpWC::useStandardKeys() { return g_advancedUser; }

void FLGlimmetHelpWC::focusView() {
  if (!document_) return;
  document_->focusView(textView_);
  updateZoomTool();
}

void FLGlimmetHelpWC::selectAll() {
  setSelection(textView_->firstCp(), textView_->limitCp());
  textView_->setFocus();
}

void FLGlimmetHelpWC::closeWindow() { window_->close(); }

void FLGlimmetHelpWC::find() {
  if (QLineEdit* field = searchField()) field->setFocus();
}

void FLGlimmetHelpWC::quickSearch(const QString& text) {
  if (text.isEmpty()) {
    searchString_.clear();
    return;
  }
  document_->focusView(textView_);
  searchString_ = text;
  const FLHelpFind find = FLHelpQuickSearch(text);
  g_findSettings.type = find.findType;
  g_findSettings.string = find.findString;
  g_findSettings.knotIndex = 1;
  g_findSettings.options = int32_t(searchOptionMask_ & ~kFLHelpFromStart);
  textView_->setFocus();
  if (!document_->performFind(searchOptionMask_ & kFLHelpFromStart, true) && !findInOtherTopics(true)) beep();
}

void FLGlimmetHelpWC::findFromStart() { document_->performFind(true, true); }

bool FLGlimmetHelpWC::findNext(bool forward) {
  const bool found = document_->performFind(false, forward);
  if (!found) beep();
  textView_->setFocus();
  return found;
}

// The view shows one topic, and the engine finds within what is shown; a new search the topic
// cannot answer goes on through the other topics in order, wrapping round, to the first with a
// match. Finding again stays in the topic, whose last match is its end.
bool FLGlimmetHelpWC::findInOtherTopics(bool forward) {
  GlimmetDoc* doc = this->doc();
  if (!doc || !document_) return false;
  const int64_t count = int64_t(doc->chapterCps.count());
  const int64_t start = currentTopic_;
  // A text search skips, without showing them, the topics whose text cannot hold it.
  const QString needle = g_findSettings.type == kFindText ? g_findSettings.string : QString();
  for (int64_t step = 1; step < count; ++step) {
    const int64_t topic = ((start + (forward ? step : -step)) % count + count) % count;
    if (!needle.isEmpty()) {
      const uint32_t first = doc->chapterCps.cpAt(uint32_t(topic));
      const uint32_t limit = std::min(FLHelpChapterLimit(doc, uint32_t(topic)), uint32_t(doc->userLength));
      QString text;
      text.reserve(qsizetype(limit > first ? limit - first : 0));
      for (uint32_t cp = first; cp < limit; ++cp) text.append(QChar(doc->text.at(cp)));
      if (!text.contains(needle, Qt::CaseInsensitive)) continue;
    }
    jumpToTopic(topic, kFLHelpNotGiven, true);
    if (document_->performFind(true, true)) return true;
  }
  if (currentTopic_ != start) jumpToTopic(start, kFLHelpNotGiven, false);
  return false;
}

void FLGlimmetHelpWC::setSearchOption(int tag) {
  if (tag < 0 || tag > 63) return;
  searchOptionMask_ ^= uint64_t(1) << tag;
  g_findSettings.options = int32_t(searchOptionMask_ & ~kFLHelpFromStart);
  validateMenus();
}

void FLGlimmetHelpWC::useSelectionForFind() {
  QString text = textView_->selectedPlainText();
  if (g_findSettings.options & kFindWholeWord) text = text.trimmed();
  g_findSettings.string = text;
  g_findSettings.type = text.isEmpty() ? kFLHelpFindNone : kFindText;
  g_findSettings.knotIndex = 1;
  searchString_ = FLHelpCaretCodedString(text);
  if (QLineEdit* field = searchField()) field->setText(searchString_);
}

void FLGlimmetHelpWC::jumpNextChapter() {
  if (currentTopic_ + 1 < topicTree_.chapterCount()) jumpToTopic(currentTopic_ + 1, kFLHelpNotGiven, true);
}

void FLGlimmetHelpWC::jumpPreviousChapter() {
  if (currentTopic_ > 0) jumpToTopic(currentTopic_ - 1, kFLHelpNotGiven, true);
}

double FLGlimmetHelpWC::zoom() const { return textView_ ? textView_->zoom() : 1.0; }

void FLGlimmetHelpWC::changeZoom(int percent) {
  if (percent <= 0) return;
  textView_->setZoomValue(double(percent) / 100);
  updateZoomTool();
}

void FLGlimmetHelpWC::zoomIn() {
  if (const std::optional<double> step = FLHelpZoomIn(zoom())) {
    textView_->setZoomValue(*step);
    updateZoomTool();
  }
}

void FLGlimmetHelpWC::zoomOut() {
  if (const std::optional<double> step = FLHelpZoomOut(zoom())) {
    textView_->setZoomValue(*step);
    updateZoomTool();
  }
}

void FLGlimmetHelpWC::showFonts() {
  if (fontPanel_ && fontPanel_->isVisible()) {
    fontPanel_->hide();
    return;
  }
  if (!fontPanel_) {
    fontPanel_ = new QFontDialog(font_, window_.get());
    fontPanel_->setOption(QFontDialog::NoButtons);
    fontPanel_->setModal(false);
    connect(fontPanel_, &QFontDialog::currentFontChanged, this, [this](const QFont& chosen) { changeFont(&chosen); });
  }
  fontPanel_->setCurrentFont(font_);
  fontPanel_->show();
}

void FLGlimmetHelpWC::changeFont(const QFont* chosen) {
  QFont font;
  if (chosen) {
    font = *chosen;
  } else {
    const QString stored = UserDefaults::sharedDefaults().stringForKey(QLatin1String(kFLHelpFontKey));
    if (stored.isEmpty() || !font.fromString(stored)) return;
  }
  if (font == font_) return;
  textView_->setHelpFont(font);
  if (chosen) UserDefaults::sharedDefaults().setString(font.toString(), QLatin1String(kFLHelpFontKey));
  font_ = font;
}

void FLGlimmetHelpWC::startSpeaking() {
  const QString text = textView_->selectedPlainText();
  if (text.trimmed().isEmpty()) return;
  FLSpeechManager::sharedInstance().speakString(text + u' ');
}

void FLGlimmetHelpWC::saveHelpFile() {
  const QString resource =
      BundleResourcePath(QLatin1String(kFLHelpResourceName), QLatin1String(kFLHelpResourceType));
  if (resource.isEmpty()) {
    beep();
    return;
  }
  auto* panel = new QFileDialog(window_.get(), tr(kSaveFolderMessage));
  panel->setFileMode(QFileDialog::Directory);
  panel->setOption(QFileDialog::ShowDirsOnly);
  panel->setAttribute(Qt::WA_DeleteOnClose);
  connect(panel, &QFileDialog::fileSelected, this, [resource](const QString& folder) {
    if (folder.isEmpty()) return;
    const QString target =
        UniqueFileNameCore(folder, QStringLiteral("%1 Help").arg(BundleName()), QLatin1String(kFLHelpResourceType));
    if (!QFile::copy(resource, target)) {
      beep();
      return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) beep();
  });
  panel->open();
}

// ---- Toolbar -----------------------------------------------------------------------------------

QString FLGlimmetHelpWC::toolbarGuid() const { return QLatin1String(kHelpToolbarGuid); }

const FLToolbarItem* FLGlimmetHelpWC::toolbarItems() const { return kHelpToolbarItems; }

uint64_t FLGlimmetHelpWC::numberOfToolbarItems() const { return std::size(kHelpToolbarItems); }

QStringList FLGlimmetHelpWC::defaultToolbarItems() const {
  return {QLatin1String(kNavigateGuid), QLatin1String(kZoomGuid),   QLatin1String(kFontsGuid),
          QLatin1String(kTopicGuid),    QLatin1String(kExportGuid), QLatin1String(kFLToolbarFlexibleSpaceItem),
          QLatin1String(kFindNextGuid), QLatin1String(kSearchGuid)};
}

QMenu* FLGlimmetHelpWC::menuForPopup(const FLToolbarItem&, FLToolbarView*) { return zoomMenu_; }

QString FLGlimmetHelpWC::recentSearchKey(const FLToolbarItem&, FLToolbarView*) {
  return QLatin1String(kFLHelpSearchKey);
}

void FLGlimmetHelpWC::setupCompleteForToolbar(FLToolbarView*) {
  updateNavTool();
  updateTopicTool();
  updateZoomTool();
}

void FLGlimmetHelpWC::sendToolbarAction(const QString& action, FLToolbarView*) {
  using Command = void (FLGlimmetHelpWC::*)();
  static const std::pair<const char*, Command> kPlain[] = {
      {"saveHelpFile:", &FLGlimmetHelpWC::saveHelpFile},     {"closeWindow:", &FLGlimmetHelpWC::closeWindow},
      {"copy:", &FLGlimmetHelpWC::copy},                     {"selectAll:", &FLGlimmetHelpWC::selectAll},
      {"find:", &FLGlimmetHelpWC::find},                     {"jumpToSearch:", &FLGlimmetHelpWC::find},
      {"findFromStart:", &FLGlimmetHelpWC::findFromStart},   {"useSelectionForFind:", &FLGlimmetHelpWC::useSelectionForFind},
      {"startSpeaking:", &FLGlimmetHelpWC::startSpeaking},   {"jumpPreviousChapter:", &FLGlimmetHelpWC::jumpPreviousChapter},
      {"jumpNextChapter:", &FLGlimmetHelpWC::jumpNextChapter}, {"zoomIn:", &FLGlimmetHelpWC::zoomIn},
      {"zoomOut:", &FLGlimmetHelpWC::zoomOut},               {"showFonts:", &FLGlimmetHelpWC::showFonts},
  };
  if (!validateAction(action)) {
    beep();
    return;
  }
  for (const auto& [name, command] : kPlain) {
    if (action == QLatin1String(name)) {
      (this->*command)();
      return;
    }
  }
  if (action == QLatin1String("terminate:")) {
    if (FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate()) delegate->terminate();
  } else if (action == QLatin1String("findNext:") || action == QLatin1String("findPrevious:")) {
    findNext(action == QLatin1String("findNext:"));
  } else if (action == QLatin1String("navigateBack:") || action == QLatin1String("navigateForward:")) {
    navigate(action == QLatin1String("navigateBack:"));
  } else if (action == QLatin1String("quickSearch:")) {
    if (QLineEdit* field = searchField()) quickSearch(field->text());
  } else if (action == QLatin1String("changeZoom:")) {
    if (QComboBox* popUp = zoomTool()) changeZoom(popUp->currentData().toInt());
  }
}

QVariantList FLGlimmetHelpWC::tabsForSegments(FLToolbarSegments* segments) {
  switch (segments->barTag()) {
    case kFLHelpNavigateBar: {
      // The arrows as text where the application has no images of them.
      QVariantList tabs;
      for (const auto& [image, arrow] : {std::pair{"NSGoLeftTemplate", "◀"}, std::pair{"NSGoRightTemplate", "▶"}}) {
        if (const std::unique_ptr<FLImage> found = FLImage::imageNamed(QLatin1String(image)))
          tabs << FLToolbarView::imageNamed(QLatin1String(image));
        else
          tabs << QString::fromUtf8(arrow);
      }
      return tabs;
    }
    case kFLHelpTopicBar:
    case kFLHelpFindBar:
      return {QStringLiteral("⬆︎"), QStringLiteral("⬇︎")};
    default:
      LogAssert("Unknown control", __func__, __FILE__, __LINE__);
      return {};
  }
}

void FLGlimmetHelpWC::tabWasSelected(int64_t index, FLToolbarSegments* segments) {
  switch (segments->barTag()) {
    case kFLHelpNavigateBar:
      navigate(index == 0);
      break;
    case kFLHelpTopicBar:
      if (index == 1) jumpNextChapter();
      else jumpPreviousChapter();
      break;
    case kFLHelpFindBar:
      findNext(index == 1);
      break;
    default:
      LogAssert("Unknown control", __func__, __FILE__, __LINE__);
      break;
  }
}

FLToolbarSegments* FLGlimmetHelpWC::segmentsWithTag(uint64_t barTag) const {
  return toolbarView_ ? toolbarView_->segmentsWithTag(barTag) : nullptr;
}

QLineEdit* FLGlimmetHelpWC::searchField() const {
  return toolbarView_ ? qobject_cast<QLineEdit*>(toolbarView_->viewForGuid(QLatin1String(kSearchGuid))) : nullptr;
}

QComboBox* FLGlimmetHelpWC::zoomTool() const {
  return toolbarView_ ? qobject_cast<QComboBox*>(toolbarView_->viewForGuid(QLatin1String(kZoomGuid))) : nullptr;
}

void FLGlimmetHelpWC::updateNavTool() {
  if (FLToolbarSegments* segments = segmentsWithTag(kFLHelpNavigateBar)) {
    segments->setEnabled(history_.canGoBack(), 0);
    segments->setEnabled(history_.canGoForward(), 1);
  }
}

void FLGlimmetHelpWC::updateTopicTool() {
  if (FLToolbarSegments* segments = segmentsWithTag(kFLHelpTopicBar)) {
    segments->setEnabled(currentTopic_ > 0, 0);
    segments->setEnabled(currentTopic_ + 1 < topicTree_.chapterCount(), 1);
  }
}

void FLGlimmetHelpWC::updateZoomTool() {
  const int percent = FLHelpZoomPercent(zoom());
  if (isAppHelp() && ready_) Defaults().setInteger(percent, QLatin1String(kFLHelpZoomKey));
  if (QComboBox* popUp = zoomTool()) popUp->setCurrentIndex(popUp->findData(percent));
}

// ---- Window life -------------------------------------------------------------------------------

bool FLGlimmetHelpWC::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_.get()) {
    switch (event->type()) {
      case QEvent::Close:
        windowWillClose();
        break;
      case QEvent::WindowActivate:
        if (document_) document_->setActive(true);
        break;
      case QEvent::WindowDeactivate:
        if (document_) document_->setActive(false);
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

void FLGlimmetHelpWC::windowWillClose() {
  if (closing_) return;
  closing_ = true;
  if (isAppHelp() && document_) {
    UserDefaults& defaults = Defaults();
    defaults.setInteger(currentTopic_, QLatin1String(kFLHelpTopicKey));
    const int64_t chapterStart = currentTopic_ < int64_t(doc()->chapterCps.count())
                                     ? int64_t(doc()->chapterCps.cpAt(uint32_t(currentTopic_)))
                                     : 0;
    defaults.setInteger(int64_t(textView_->scrollCp()) - chapterStart, QLatin1String(kFLHelpPositionKey));
    defaults.setObject(SharedOpenTopics().map, QLatin1String(kFLHelpOpenTopicsKey));
  }
  if (fontPanel_) fontPanel_->close();
  if (document_) document_->documentWillClose();
  ClosePanels();
  deleteLater();
}
