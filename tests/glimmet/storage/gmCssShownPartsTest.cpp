// The properties of what a page shows of its text: "text-transform", "visibility" and
// "caption-side", each inherited by what an element holds and set again by its own style.
#include "glimmet/storage/gmCss.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

GMCssStyle StyleOf(const char* css, const GMCssStyle& parent) {
  std::vector<GMCssDeclaration> declarations;
  EXPECT_TRUE(ParseCssDeclarations(QString::fromUtf8(css), &declarations, nullptr));
  std::vector<const GMCssDeclaration*> cascade;
  for (const GMCssDeclaration& d : declarations) cascade.push_back(&d);
  GMCssStyle style = parent.inherited();
  ApplyCssDeclarations(cascade, parent, &style);
  return style;
}

// "upper", "lower", "capitalize", "none" or "-" (unset), then "hidden", "visible" or "-", then
// "bottom", "top" or "-".
std::string Summary(const GMCssStyle& style) {
  using TT = GMCssStyle::TextTransform;
  std::string out = !style.textTransform                     ? "-"
                    : *style.textTransform == TT::Uppercase  ? "upper"
                    : *style.textTransform == TT::Lowercase  ? "lower"
                    : *style.textTransform == TT::Capitalize ? "capitalize"
                                                             : "none";
  out += !style.invisible ? " -" : *style.invisible ? " hidden" : " visible";
  out += !style.captionBelow ? " -" : *style.captionBelow ? " bottom" : " top";
  return out;
}

TEST(GMCssShownParts, TransformVisibilityAndCaptionSideAreReadAndInherited) {
  const struct {
    const char* parent;
    const char* own;
    const char* expected;
  } cases[] = {
      {"", "text-transform: uppercase", "upper - -"},
      {"", "TEXT-TRANSFORM: Capitalize; visibility: hidden; caption-side: bottom", "capitalize hidden bottom"},
      {"text-transform: lowercase; visibility: hidden; caption-side: bottom", "", "lower hidden bottom"},
      {"text-transform: lowercase; visibility: hidden", "text-transform: none; visibility: visible", "none visible -"},
      {"visibility: hidden", "visibility: collapse", "- hidden -"},
      {"caption-side: bottom", "caption-side: top", "- - top"},
      {"text-transform: uppercase; caption-side: bottom", "text-transform: initial; caption-side: inherit",
       "- - bottom"},
      // Values the properties do not take change nothing.
      {"text-transform: uppercase; visibility: hidden", "text-transform: shout; visibility: 1px; caption-side: left",
       "upper hidden -"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.parent) + " / " + c.own);
    const GMCssStyle parent = StyleOf(c.parent, GMCssStyle());
    EXPECT_EQ(Summary(StyleOf(c.own, parent)), c.expected);
  }
}

}  // namespace
