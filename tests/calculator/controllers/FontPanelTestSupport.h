// The font panel as the user works it: an entry of one of its lists (families, styles, sizes)
// chosen by its text.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QListView>
#include <QString>

inline void ChooseInFontPanelList(QListView* list, const QString& entry) {
  const QModelIndexList found =
      list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, entry, 1, Qt::MatchFixedString);
  ASSERT_FALSE(found.isEmpty()) << entry.toStdString();
  list->setCurrentIndex(found.first());
}
