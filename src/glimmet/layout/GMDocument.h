// The document object of the text engine: it owns one engine document shown in views and gives
// it to the draft view, its scroll view, the hosting window and the undo stack. Its parts:
// the core (life cycle, state, accessors, find and the hooks this program leaves empty), display
// and selection (GMDocument_Display.cpp, GMDocument_Select.cpp) and editing (GMDocument_Edit.cpp).
#pragma once

#include "platform/NotificationCenter.h"

#include "glimmet/layout/gmLineFormat.h"
#include "glimmet/storage/GlimmetDoc.h"

#include <QPointF>
#include <QSizeF>
#include <QStringList>
#include <Qt>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class FLImage;
class FLUndoManager;
class GMDraftView;
class QFont;
class QImage;
class QMimeData;
class QObject;
class QPainter;
class QRectF;
class QWidget;
struct KnotInfo;
struct LocatorRec;
struct Pane;
struct PropRecord;

// Selection types a view hands to startSelection.
enum : int32_t {
  kSelectNone = 0,
  kSelectDoubleClick = 3,
  kSelectExtend = 4,
  kSelectActivating = 5,
  kSelectPlain = 7,
  kSelectSentence = 8,
  kSelectCells = 9,
  kSelectColumnResize = 10,
};

// Engine modifier bits.
inline constexpr uint32_t kGMCapsLockBit = 1, kGMCommandBit = 2, kGMControlBit = 4, kGMNumericPadBit = 8,
                          kGMFunctionBit = 16, kGMOptionBit = 32, kGMShiftBit = 64;

// Selection mask bits.
inline constexpr uint32_t kSelMaskValid = 0x0001, kSelMaskKnotStart = 0x0080, kSelMaskEmpty = 0x0100,
                          kSelMaskRange = 0x0200, kSelMaskPicture = 0x0400, kSelMaskTable = 0x0800,
                          kSelMaskCells = 0x1000, kSelMaskList = 0x2000, kSelMaskEndGuard = 0x4000,
                          kSelMaskLink = 0x8000;

// Cursor shapes the document asks its view for.
enum class GMCursor { IBeam, Arrow, PointingHand, ResizeLeftRight };

class GMDocument {
 public:
  // A new document object with its engine document (kind 4); nullptr when that cannot be made.
  static std::unique_ptr<GMDocument> create();
  ~GMDocument();
  GMDocument(const GMDocument&) = delete;
  GMDocument& operator=(const GMDocument&) = delete;

  // ---- Core
  void awake();
  void documentWillClose();

  bool isDirty() const;
  bool isLocked() const { return locked_; }
  void setLocked(bool locked);
  int32_t userLength() const;
  int32_t totalLength() const;
  void setActive(bool active);
  void activate();
  void deactivate();
  void selectionChanged();
  void documentWillChange() {}
  void documentDidChange();
  QSizeF paperSize() const;
  // The text area in EMU: the paper less its margins.
  std::pair<int64_t, int64_t> pageSize() const;
  void wipeDocMemory();

  // Find in the current pane with the process-wide find settings; wipeDocMemory forgets a
  // picture search.
  bool performFind(bool fromStart, bool forward);
  bool findBrokenLink(bool forward);

  bool backgroundChanges() const { return backgroundChanges_; }
  void setBackgroundChanges(bool value) { backgroundChanges_ = value; }
  bool blockChanges() const { return blockChanges_; }
  void setBlockChanges(bool value) { blockChanges_ = value; }
  bool blockSelection() const { return blockSelection_; }
  void setBlockSelection(bool value) { blockSelection_ = value; }
  uint64_t changeLockCount() const { return changeLockCount_; }
  // A change lock is held while a change is under way and released by documentDidChange.
  void lockChanges() { ++changeLockCount_; }
  bool everEdited() const { return everEdited_; }
  uint32_t findSequenceID() const { return findSequenceID_; }
  void setFindSequenceID(uint32_t value) { findSequenceID_ = value; }
  GlimmetDoc* glimmetDoc() const { return glimmetDoc_; }
  int32_t linkCandidate() const { return linkCandidate_; }
  bool isLoading() const { return loading_; }
  void setLoading(bool value) { loading_ = value; }
  const QStringList& localDictionary() const { return localDictionary_; }
  void setLocalDictionary(const QStringList& words) { localDictionary_ = words; }
  int32_t spellCandidate() const { return spellCandidate_; }
  int64_t spellerTag() const { return spellerTag_; }
  void setSpellerTag(int64_t tag) { spellerTag_ = tag; }
  bool suppressUndo() const { return suppressUndo_; }
  void setSuppressUndo(bool value) { suppressUndo_ = value; }
  FLUndoManager* undoManager() const { return undoManager_; }
  void setUndoManager(FLUndoManager* manager) { undoManager_ = manager; }
  int32_t undoDomain() const { return undoDomain_; }
  bool isClosing() const { return closing_; }
  bool selectionBegun() const { return selectionBegun_; }
  // Follows a help link to the bookmark that starts at the cp: the help window's, for a
  // document of the help kind.
  using HelpLinkFollower = std::function<void(uint32_t cp)>;
  void setHelpLinkFollower(HelpLinkFollower follower) { helpLinkFollower_ = std::move(follower); }

  // Hooks this program leaves empty.
  void bounceOutOfSubtextPane() {}
  void showBadWord(uint32_t) {}
  void redrawDocument() {}
  bool registerPrivatePictures() { return false; }
  bool shouldFindLinks() { return false; }
  bool shouldCheckSpelling() { return false; }
  bool shouldCorrectSpelling() { return false; }
  bool replace(bool /*findAgain*/, bool /*forward*/, bool /*setUndo*/) { return false; }
  bool insertOrChangeLevel(const PropRecord*, const KnotInfo*, bool /*backup*/) { return false; }
  void* spellChecker() { return nullptr; }
  bool skipNotesWhenSpelling() { return true; }

  // ---- Panes and display
  Pane* paneForView(const GMDraftView* view) const;
  Pane* currentPane() const;
  GMDraftView* currentPaneView() const;
  void closeAllPanes();
  // Attaches a view: a new pane for it, made current.
  bool addView(GMDraftView* view);
  void focusView(GMDraftView* view);
  void focusPane(uint32_t index);
  void unfocusView(GMDraftView* view);
  uint32_t paneRange(GMDraftView* view) const;
  float leftPaneEdge(GMDraftView* view) const;
  int64_t draftWidth(GMDraftView* view) const;
  double maxDraftWidth(GMDraftView* view) const;
  bool draftFitsToWindow(GMDraftView* view) const;
  void trashDisplay(GMDraftView* view);
  void blinkInsertionPoint();
  void hideInsertionPoint();
  bool showingBounds() const;
  void toggleShowBounds();
  bool showingMarks() const;
  void toggleShowMarks();
  uint32_t draftCpExtent(GMDraftView* view, uint32_t cp) const;
  void scrollDraft(GMDraftView* view, int64_t position, int32_t unit, bool vertical);
  void scrollByPage(bool back, GMDraftView* view);
  int32_t lineCountForDelta(double delta, GMDraftView* view);
  // Fills the locator and answers the cursor for the point; nothing without a pane.
  std::optional<GMCursor> setCursor(QPointF point, GMDraftView* view, LocatorRec* locator);
  void drawView(GMDraftView* view, QPainter& painter, const QRectF& dirty);

  // ---- Selection
  static uint32_t convertModifiers(Qt::KeyboardModifiers modifiers);
  uint32_t selectionMask() const;
  // (first cp, 0), or (FLNotFound, 0) for a frame selection.
  std::pair<uint64_t, uint64_t> selectionRange() const;
  void setSelection(uint64_t first, uint64_t length);
  void showSelection();
  void performSelectionKey(uint32_t key, uint32_t forcedModifiers, GMDraftView* view);
  void startSelection(QPointF point, GMDraftView* view, int32_t selectionType, Qt::KeyboardModifiers modifiers);
  void continueSelection(QPointF point);
  void endSelection();

  // ---- Editing
  bool copySelection();
  // Copies to the data instead of the clipboard; the caller owns the answered clip document.
  GlimmetDocPtr copyToPasteboard(QMimeData* data);
  bool isTableSelected(Pane* pane, KnotInfo* info) const;
  void selectList();
  void selectTable();
  void selectTableRows();
  bool insertList(const PropRecord* props);
  void convertList() { insertList(nullptr); }
  void changeListIndent(bool increase);
  void getDefaultProps(PropRecord* props, char16_t listType) const;
  uint32_t pictureCount() const;
  // Each picture's bitmap, a null image where a picture has none.
  QList<QImage> pictures() const;
  QImage pictureForIndex(uint32_t index) const;
  uint32_t addPicture(std::shared_ptr<FLImage> image);
  bool addAndInsertPicture(std::shared_ptr<FLImage> image);
  bool insertPictureWithIndex(uint32_t index);
  void copyLink(int kinkIndex);
  void openLinkFile(int kinkIndex);
  // What a context menu recorded about the kinks under the pointer; a menu item's tag picks one.
  void saveKinkInfo(const KinkInfo* infos, int count, GMDraftView* view);
  const std::array<KinkInfo, kMaxKinkInfos>& kinkInfos() const { return kinkInfos_; }
  void setNormalFont(const QFont& font, bool force);
  bool lookupInDictionary();
  void executeSpecial(int) {}

  // Editing entry points that do nothing in a read-only program.
  void cut() {}
  void insertCheckbox() {}
  void insertDivider(int, bool) {}
  void changeCase() {}
  void insertOrObeyTab(bool) {}
  void insertOrObeyForcedTab(bool) {}
  void handleFkey(int, uint32_t) {}
  void paste(bool) {}
  void renumber() {}
  void changeParaIndent(bool) {}
  bool deleteForward(bool /*forward*/, bool /*byWord*/, bool /*preserveStructure*/) { return false; }
  bool deleteForwardByParagraph(bool /*forward*/, bool /*byParagraph*/) { return false; }
  bool insert(const QString&, bool /*typed*/, bool /*checkControl*/) { return false; }
  uint32_t newUndoID() { return 0; }

 private:
  GMDocument() = default;
  QWidget* windowOf(GMDraftView* view) const;

  GlimmetDoc* glimmetDoc_ = nullptr;
  FLUndoManager* undoManager_ = nullptr;
  int32_t colorApplication_ = 0;
  uint32_t undoID_ = 0;
  int32_t undoDomain_ = 6;
  int32_t undoProperty_ = 0;
  uint64_t undoFrameIndex_ = 0xFFFFFFFF;
  int32_t undoStartCp_ = -1;
  int32_t undoLimitCp_ = -1;
  bool suppressUndo_ = false;
  bool selectionBegun_ = false;
  bool blockSelection_ = false;
  bool blockChanges_ = false;
  bool locked_ = false;
  bool everEdited_ = false;
  bool loading_ = true;
  bool closing_ = false;
  uint64_t changeLockCount_ = 0;
  std::array<KinkInfo, kMaxKinkInfos> kinkInfos_{};
  int64_t spellerTag_ = 0;
  QStringList localDictionary_;
  int32_t spellCandidate_ = 0;
  int32_t linkCandidate_ = 0;
  int32_t linkInvalidation_ = 0;
  uint32_t findSequenceID_ = 0;
  bool backgroundEnabled_ = false;
  bool backgroundChanges_ = false;

  HelpLinkFollower helpLinkFollower_;
  NotificationObserver selectionObserver_;
  NotificationObserver redrawObserver_;
  std::unique_ptr<QObject> applicationContext_;
};
