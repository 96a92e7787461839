// The URL test of typed text and the word boundaries of find and replace.
#include <gtest/gtest.h>

#include "calculator/model/caTextServices.h"

namespace {

struct UrlCase {
  const char* text;
  bool url;
};

TEST(TextServices, RecognisesUrlsBySchemeOrWww) {
  const UrlCase cases[] = {
      {"www.example.com", true},
      {"WWW.EXAMPLE.COM", true},
      {"http://example.com/a?b=c&d", true},
      {"https://x.org", true},
      {"HTTP://example.com", true},
      {"http:example.com", false},       // the two slashes are required
      {"mailto:someone@example.com", true},
      {"news:comp.lang", true},
      {"file:///tmp/x", true},
      {"file:~/Documents/a.txt", true},
      {"jotlet://note", true},
      {"ftp://example.com", false},      // three letters: never a scheme
      {"gopher://x.y", false},           // not in the table
      {"http://exa~mple.com", false},    // a tilde after the scheme part
      {"mailto:~x@y.z", false},
      {"http://a b", false},
      {"http://<a>", false},
      {"www.abc", true},
      {"www.ab", false},
      {"www.a", false},                  // fewer than three characters after the separator
      {"xwww.example.com", false},
      {"ww.example.com", false},
      {"example.com", false},
      {"12.5", false},
      {"plain text", false},
      {"", false},
  };
  for (const UrlCase& c : cases)
    EXPECT_EQ(IsValidUrl(QString::fromUtf8(c.text)), c.url) << c.text;
}

struct WordCase {
  const char* text;
  int64_t position;
  int64_t start;
  int64_t end;  // EndOfWord from the start, without trailing white space
};

TEST(TextServices, FindsWordsByCharacterClass) {
  const WordCase cases[] = {
      {"hello world", 2, 0, 5},
      {"hello world", 8, 6, 11},
      {"hello   world", 7, 0, 5},     // in the spaces after a word: that word
      {"pi 3.14 x", 5, 3, 7},          // a decimal point between digits joins
      {"1,234 x", 2, 0, 5},
      {"don't go", 3, 0, 5},           // an apostrophe between letters joins
      {"well-known", 2, 0, 4},         // a hyphen does not
      {"well-known", 4, 4, 5},
      {"what?!", 4, 4, 6},             // a run of punctuation is one unit
      {"a\t\tb", 2, 1, 3},             // a run of tabs is one unit
      {"ab\ncd", 3, 3, 5},
      {"under_score", 6, 0, 11},
  };
  for (const WordCase& c : cases) {
    const QString text = QString::fromUtf8(c.text);
    const int64_t start = StartOfWord(text, c.position);
    EXPECT_EQ(start, c.start) << c.text << " at " << c.position;
    EXPECT_EQ(EndOfWord(text, start), c.end) << c.text << " at " << c.position;
  }
  const QString text = QStringLiteral("one  two");
  EXPECT_EQ(EndOfWord(text, 0, true), 5);
  EXPECT_EQ(EndOfWord(text, 8), 8);
}

}  // namespace
