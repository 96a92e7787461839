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

}  // namespace
