// Finding an entry in a file panel's list as a user sees it, once the panel has read its folder,
// so that tests can click and double-click it.
#pragma once

#include <QAbstractItemModel>
#include <QFileDialog>
#include <QListView>
#include <QPoint>
#include <QTest>

struct FileDialogEntry {
  QListView* list = nullptr;  // the panel's list; clicks go to its viewport
  QPoint centre;              // the entry's centre in the viewport
  bool found = false;
};

// The entry named so, scrolled into view; not found when the list never shows it.
inline FileDialogEntry FindFileDialogEntry(QFileDialog* panel, const QString& name) {
  FileDialogEntry result;
  result.list = panel->findChild<QListView*>(QStringLiteral("listView"));
  if (!result.list) return result;
  QListView* list = result.list;
  QModelIndex entry;
  result.found = QTest::qWaitFor([&] {
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
      const QModelIndex index = model->index(row, 0, list->rootIndex());
      if (index.data().toString() == name) entry = index;
    }
    return entry.isValid();
  }, 10000);
  if (!result.found) return result;
  list->scrollTo(entry);
  result.centre = list->visualRect(entry).center();
  return result;
}
