// The format panel of a document window: five tabs ("Value", "Cell", "Col", "Row", "Doc") above
// a property view whose levels hold the formatting panes. The controller decides which panes a
// tab shows, makes them, remembers which are open (per window and in the preferences), and
// rebuilds the stack when the tab, the active cell's value type or the document changes.
#pragma once

#include "framlet/shell/FLPropertyView.h"
#include "framlet/shell/FLPropertyViewDelegate.h"
#include "framlet/shell/FLToolbarSegments.h"
#include "framlet/shell/FLToolbarSegmentsDelegate.h"

#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <cstdint>
#include <functional>

class CADocument;
class CAFormatBaseVC;
class CAWindowController;

// Posted (object: the document) before the panes are replaced or the document closes: every
// pane detaches itself.
inline constexpr const char* kDomainNotification = "numlet.domain";

// The panel's domains: the cell's value, then the format domains 1 to 4, and none.
enum CAPanelDomain : int32_t {
  kPanelValue = 0,
  kPanelCell = 1,
  kPanelColumn = 2,
  kPanelRow = 3,
  kPanelDocument = 4,
  kPanelNone = 5,
};

// One pane: its class, the layout it is built from (open states are remembered by this name),
// whether it starts open, and its header text.
struct CAPaneDescriptor {
  const char* className;
  const char* interfaceName;
  bool openByDefault;
  const char* title;
};
inline constexpr int kCAPaneCount = 17;
extern const CAPaneDescriptor kCAPaneDescriptors[kCAPaneCount];

// The view numbers of the panes of the value domain for a value type.
std::vector<int32_t> ValuePanesForType(int32_t valueType);
// The view numbers of a format domain's panes (1 to 4), top to bottom; none for another.
std::vector<int32_t> FormatPanesForDomain(int32_t domain);

class CAPropertyController : public QObject, public FLPropertyViewDelegate, public FLToolbarSegmentsDelegate {
  Q_OBJECT

 public:
  using PaneFactory = std::function<CAFormatBaseVC*()>;
  // The panes the program has, by class name.
  static void registerPaneClass(const QString& className, PaneFactory factory);
  static void unregisterPaneClass(const QString& className);

  CAPropertyController(CAWindowController* windowController, FLPropertyView* propertyView,
                       FLToolbarSegments* domainControl, QObject* parent = nullptr);
  ~CAPropertyController() override;

  CADocument* document() const { return document_; }
  CAWindowController* windowController() const { return windowController_; }
  FLPropertyView* propertyView() const { return propertyView_; }
  FLToolbarSegments* domainControl() const { return domainControl_; }
  int32_t domain() const { return domain_; }
  // The domain as a format domain: the value domain counts as the cell's.
  int32_t formatDomain() const { return domain_ == kPanelValue ? int32_t(kPanelCell) : domain_; }
  int32_t viewIDForLevel(int64_t level) const;
  const QVariantMap& openStatus() const { return openStatus_; }

  // Notification handlers.
  void selectionChanged();
  void shutDown();
  void clearDomain();
  void closeWindow();

  // ---- FLPropertyViewDelegate
  int64_t numberOfLevelsInPropertyView(FLPropertyView* view) override;
  FLViewController* controllerForLevel(FLPropertyView* view, int64_t level) override;
  QString nameForLevel(FLPropertyView* view, int64_t level) override;
  QString emptyMessage() override;
  bool shouldDrawTopLine(FLPropertyView*) override { return false; }
  bool shouldOpenLevel(FLPropertyView* view, int64_t level) override;
  void didOpenLevel(FLPropertyView*, int64_t level) override { recordOpen(level, true); }
  void didCloseLevel(FLPropertyView*, int64_t level) override { recordOpen(level, false); }

  // ---- FLToolbarSegmentsDelegate
  QVariantList tabsForSegments(FLToolbarSegments* segments) override;
  void tabWasSelected(int64_t index, FLToolbarSegments* segments) override;

 private:
  void recordOpen(int64_t level, bool open);
  bool isDocumentLocked() const;

  CADocument* document_ = nullptr;
  CAWindowController* windowController_ = nullptr;
  QPointer<FLPropertyView> propertyView_;
  QPointer<FLToolbarSegments> domainControl_;
  int32_t domain_ = kPanelNone;
  int32_t valueType_ = 0;
  QVariantMap openStatus_;
  bool domainChanging_ = false;
};
