// What the framework's toolbar asks of the window controller that owns it: the tool table, the
// default set, and the optional hooks around layout, visibility and customisation.
#pragma once

#include "framlet/shell/FLToolbarItem.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class FLToolbarView;
class QMenu;
class QWidget;

class FLToolbarDelegate {
 public:
  virtual ~FLToolbarDelegate() = default;

  virtual QString toolbarGuid() const = 0;
  virtual const FLToolbarItem* toolbarItems() const = 0;
  virtual uint64_t numberOfToolbarItems() const = 0;
  virtual QStringList defaultToolbarItems() const = 0;

  virtual bool canCustomize() const { return true; }
  virtual bool isPreferences() const { return false; }
  virtual void customizationWillBeginForToolbar(FLToolbarView* /*toolbar*/) {}
  virtual void customizationDidEndForToolbar(FLToolbarView* /*toolbar*/) {}
  virtual QMenu* menuForPopup(const FLToolbarItem& /*item*/, FLToolbarView* /*toolbar*/) { return nullptr; }
  virtual QString recentSearchKey(const FLToolbarItem& /*item*/, FLToolbarView* /*toolbar*/) { return {}; }
  // A view for a descriptor naming a class the toolbar does not build; the toolbar takes it.
  virtual QWidget* viewForItem(const FLToolbarItem& /*item*/, FLToolbarView* /*toolbar*/) { return nullptr; }
  virtual void setupCompleteForToolbar(FLToolbarView* /*toolbar*/) {}
  virtual void toolbarBecameVisible(FLToolbarView* /*toolbar*/) {}
  virtual void toolbarItemsChanged(FLToolbarView* /*toolbar*/) {}
  virtual void toolbarResizedContainer(QWidget* /*container*/) {}
  // A tool was clicked (or a view tool acted): the action goes on to whoever handles it;
  // toolbar->tag() tells the clicked tool's tag meanwhile.
  virtual void sendToolbarAction(const QString& /*action*/, FLToolbarView* /*toolbar*/) {}
};
