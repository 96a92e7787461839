// The URL test of typed text.
#include <gtest/gtest.h>

#include "calculator/model/caTextServices.h"

namespace {

struct UrlCase { const char* text; bool url; };

TEST(TextServices, RecognisesUrlsBySchemeOrWww) {
  const UrlCase cases[] = {
      {"www.example.com", true}, {"WWW.EXAMPLE.COM", true}, {"http://example.com/a?b=c&d", true},
      {"http:example.com", false},       // the two slashes are required
      {"mailto:someone@example.com", true}, {"file:~/Documents/a.txt", true}, {"jotlet://note", true},
      {"ftp://example.com", false},      // three letters: never a scheme
      {"gopher://x.y", false},           // not in the table
      {"http://exa~mple.com", false},    // a tilde after the scheme part
      {"mailto:~x@y.z", false}, {"http://a b", false}, {"www.abc", true}, {"www.ab", false},
      {"www.a", false},                  // fewer than three characters after the separator
      {"xwww.example.com", false}, {"example.com", false}, {"plain text", false}, {"", false},
  };
  for (const UrlCase& c : cases)
    EXPECT_EQ(IsValidUrl(QString::fromUtf8(c.text)), c.url) << c.text;
}

}  // namespace
