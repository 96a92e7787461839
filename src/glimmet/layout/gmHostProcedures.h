// What the text engine asks of the program that hosts it: following a hyperlink, finding a
// resource file, small string services, and the text a variable knot shows (bookmark
// references, dates, times).
#pragma once

#include "platform/StringWithFormat.h"

#include <QString>

#include <cstdint>
#include <functional>

struct GlimmetDoc;
struct KnotInfo;
struct Pane;
class QUrl;

// The desktop services a link uses; an empty hook means the platform's own. Tests install fakes.
struct GMHostHooks {
  std::function<bool(const QUrl& url)> openUrl;
  std::function<bool(const QString& path)> revealFile;
  std::function<void()> beep;
};
void SetHostHooks(GMHostHooks hooks);
void HostBeep();

// Opens the link, or for a file link without open shows the file in the file manager; a
// "file:~/" link names a file in the home folder. Beeps and answers false on every failure.
bool FollowHyperLink(const QString& urlText, bool open);
// The program's resource of that name, or an empty string.
QString PathToResourceFile(const QString& fileName);

template <typename... Args>
QString NewStringWithFormat(const char* format, const Args&... args) {
  return StringWithFormat(format, args...);
}
void AppendCharactersToString(QString& string, const char16_t* units, uint32_t count);
// An index past the end is reported and taken as the end.
void InsertStringIntoString(QString& string, const QString& inserted, uint32_t index);
// An index past the last unit is reported and answers a space.
char16_t CharacterInString(const QString& string, uint32_t index);

// Variable kinds with text of their own here.
inline constexpr uint32_t kVariableBookmarkText = 0, kVariableDate = 4, kVariableBookmarkRef = 7,
                          kVariableTime = 13;
// The text of a date (a day index) or a time (seconds since midnight) variable in its format.
QString DateVariableString(int32_t date, uint32_t format);
QString TimeVariableString(uint32_t seconds, uint32_t format);
// Documents carry no clock of their own, so their dates and times show day 0 and midnight.
QString VariableString(GlimmetDoc* doc, Pane* pane, uint32_t cp, uint32_t kind, uint32_t format, uint32_t guidIndex);
// A variable knot's kind is its entry's word; its bookmark name index and format are the low
// 32 bits and the next 16 bits of the entry's value.
uint32_t VariableGuidIndex(const KnotInfo& variable);
uint32_t VariableFormat(const KnotInfo& variable);
// The variable's text as a count, at most 255 units and a terminating 0 (buffer of 257 units).
inline constexpr uint32_t kVariableUstringUnits = 255;
void GetVariableUstring(const KnotInfo& variable, Pane* pane, char16_t* buffer);
