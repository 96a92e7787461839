// A scroll area whose scroll bars, once the user moves them, tell the program by notification
// ("orvandel.vscroll", "orvandel.hscroll", object: the scrolled widget), so views that draw
// beside it (labels, rulers) can follow.
#pragma once

#include <QScrollArea>

inline constexpr const char* kVerticalScrollNotification = "orvandel.vscroll";
inline constexpr const char* kHorizontalScrollNotification = "orvandel.hscroll";

class QScrollBar;

class FLNotifyingScrollView : public QScrollArea {
  Q_OBJECT

 public:
  explicit FLNotifyingScrollView(QWidget* parent = nullptr);

  // Watches the bars now in place; call again after replacing a scroll bar.
  void awakeFromNib();

 private:
  void scroll(QScrollBar* bar, int action);
};
