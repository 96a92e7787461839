// A paste at A1 as the metered readers' tests look at it: the cells it left, or the reason it was
// refused, after checking that a refusal left the sheet as it was and showed its one alert.
#pragma once

#include "ImportAlertRecorder.h"
#include "RichTextTestSupport.h"

#include "calculator/model/UndoTestSupport.h"
#include "platform/Pasteboard.h"

#include <QMimeData>

#include <gtest/gtest.h>

#include <string>

// The heap as the meter reads it: grown by a step at every read, so that what a reading holds is
// told by the pieces it makes, whatever memory the process kept from the tests before.
inline int64_t g_heapReads = 0;
inline int64_t HeapGrownByReads() { return ++g_heapReads * (int64_t(1) << 17); }

class MeteredPasteTest : public EditTest {
 protected:
  // Pastes bytes of the given type (with a plain text beside them, as browsers and editors put
  // one): the sheet's cells, or "refused: " and the alert's reason.
  std::string pasteOrRefusal(const char* type, const QByteArray& bytes, const char* tooLargeMessage) {
    QMimeData data;
    PasteboardSetData(data, QLatin1String(type), bytes);
    data.setText(QStringLiteral("plain\ttext"));
    return pasteOrRefusal(data, tooLargeMessage);
  }

  // The same for whatever the clipboard holds.
  std::string pasteOrRefusal(const QMimeData& data, const char* tooLargeMessage) {
    select("A1", "A1");
    const std::string before = xml();
    const uint32_t steps = window.manager.inUseCount();
    const qsizetype told = alerts.shown.size();
    if (document.paste(&data, false)) return FilledCellSummary(document);
    EXPECT_EQ(xml(), before);
    EXPECT_EQ(window.manager.inUseCount(), steps);
    if (alerts.shown.size() != told + 1) return "refused without the alert";
    const QString alert = alerts.shown.back();
    EXPECT_TRUE(alert.startsWith(QLatin1String(tooLargeMessage))) << alert.toStdString();
    return "refused: " + alert.section(QLatin1Char('|'), 1).toStdString();
  }

  ImportAlertRecorder alerts;
};
