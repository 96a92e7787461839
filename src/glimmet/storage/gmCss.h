// Style sheets of the pages the HTML reader reads: rules parsed from <style> text, linked and
// imported sheets and inline style attributes, kept in an index by id, class and type so that an
// element costs only the rules that can match it, and the cascade of the properties the rich text
// carries. Every rule and byte of sheet is charged as it is made.
#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One declaration as written ("margin-left: 12px !important"): the property in lower case and its
// value with the blanks around it and "!important" taken off.
struct GMCssDeclaration {
  QString property;
  QString value;
  bool important = false;
};

// An attribute of an element as attribute selectors test it: its name in lower case, its value
// as written with its entities decoded.
struct GMCssAttribute {
  QStringView name;
  QStringView value;
};

// An element as the rules see it: its name in lower case, its id and classes, its attributes
// (where the sheets test any: GMStyleSheets::testsAttributes), and the element that holds it
// (nullptr at the root), for descendant selectors.
struct GMCssElement {
  QStringView name;
  QStringView id;
  // Shared by copies: an element made from a copy of another's entry pays nothing for them.
  QList<QStringView> classes;
  QList<GMCssAttribute> attributes;
  const GMCssElement* parent = nullptr;

  GMCssElement() = default;
  // A copy, or an element given another's parts, is another element: what the style sheets
  // remember of the one is not the other's.
  GMCssElement(const GMCssElement& other)
      : name(other.name), id(other.id), classes(other.classes), attributes(other.attributes), parent(other.parent) {}
  GMCssElement(GMCssElement&& other) noexcept
      : name(other.name), id(other.id), classes(std::move(other.classes)), attributes(std::move(other.attributes)),
        parent(other.parent) {}
  GMCssElement& operator=(const GMCssElement& other) {
    if (this != &other) *this = GMCssElement(other);
    return *this;
  }
  GMCssElement& operator=(GMCssElement&& other) noexcept {
    name = other.name;
    id = other.id;
    classes = std::move(other.classes);
    attributes = std::move(other.attributes);
    parent = other.parent;
    serial = 0;
    return *this;
  }

  // Given by the style sheets the first time they meet it above an element they match (0 until
  // then), by which they know it again, so that what its classes and ancestors come to is worked
  // out once for all the elements inside it. Its parts and parent stay as they are from then on.
  mutable uint64_t serial = 0;
};

// A length as written: a number and its unit.
struct GMCssLength {
  enum class Unit { None, Px, Pt, Pc, In, Cm, Mm, Em, Ex, Rem, Percent };
  double value = 0;
  Unit unit = Unit::None;
};

// What an element's style comes to for the properties the rich text carries. An empty optional
// is a property nothing set (for an inherited property: nothing from the element or above it).
struct GMCssStyle {
  enum class WhiteSpace { Normal, Pre, NoWrap, PreWrap, PreLine };
  enum class VerticalAlign { Baseline, Super, Sub, Top, Middle, Bottom };
  enum class TextAlign { Left, Right, Center, Justify };
  enum class TextTransform { None, Uppercase, Lowercase, Capitalize };

  // Inherited: a child starts with its parent's.
  std::optional<QStringList> fontFamilies;
  std::optional<double> fontPointSize;  // resolved against the parent's size (em, %, smaller...)
  std::optional<int> fontWeight;         // 100-900; bold is 700
  std::optional<bool> italic;
  std::optional<QColor> color;
  std::optional<TextAlign> textAlign;
  std::optional<double> textIndentPoints;
  std::optional<WhiteSpace> whiteSpace;
  std::optional<QString> listStyleType;  // "disc", "circle", "square", "decimal", "lower-alpha",
                                         // "upper-alpha", "lower-roman", "upper-roman", "none"
  std::optional<TextTransform> textTransform;
  std::optional<bool> invisible;     // "visibility: hidden" (or "collapse")
  std::optional<bool> captionBelow;  // "caption-side: bottom"
  // Not inherited: a child starts without them. A text-decoration declaration sets all three
  // lines (those it names on, the others off); drawing the lines of the elements around it is
  // the reader's.
  std::optional<bool> underline, strikeOut, overline;
  std::optional<VerticalAlign> verticalAlign;
  std::optional<QColor> backgroundColor;
  std::optional<double> marginTopPoints, marginRightPoints, marginBottomPoints, marginLeftPoints;
  std::optional<double> paddingTopPoints, paddingRightPoints, paddingBottomPoints, paddingLeftPoints;
  std::optional<GMCssLength> width;  // in points (Unit::Pt) or a percentage (Unit::Percent)
  std::optional<GMCssLength> height;  // in points (Unit::Pt)
  bool overflowHidden = false;        // "overflow: hidden" (or "clip")
  bool clipRectEmpty = false;         // "clip: rect(...)" leaving nothing of the box
  bool clipPathEmpty = false;         // "clip-path: inset(...)" leaving nothing of it
  bool displayNone = false;
  // A display was given, of any value: it overrides the browser's own rule that hides an element
  // by its hidden attribute alone.
  bool displayGiven = false;
  // "display: block" or another value that lays the element out as lines of its own (list-item,
  // flex, grid, table, flow-root), whatever the element.
  bool displayBlock = false;

  // Whether the element is clipped to nothing, as pages hide words for screen readers alone: a
  // clip of "rect(0,0,0,0)" or "inset(50%)" on a box of a pixel or less whose overflow is hidden.
  bool clippedToNothing() const;

  // The style a child element starts from: the inherited properties of this one.
  GMCssStyle inherited() const;
};

// Whether a media query list (a <style> or <link> element's media attribute, or an @media
// rule's) applies to the screen a page is read for: empty, "all" or "screen", or "not" another
// type. A query that tests features is not evaluated and does not apply.
bool CssMediaMatches(QStringView media);

// Charges `bytes` of work or memory to the reading's budget; NO once the budget is passed, and
// from then on the reading stops.
using GMCssCharge = std::function<bool(int64_t bytes)>;

// The declarations of an inline style attribute or of one rule's block, in the order written;
// charged at so much a declaration and byte. NO when the charge refused them.
bool ParseCssDeclarations(QStringView text, std::vector<GMCssDeclaration>* declarations, const GMCssCharge& charge);

// Adds an element's inline declarations to the cascade of the rules that match it (as match
// answers it, with no other declarations after): its normal ones after the rules' normal ones,
// its important ones after all, so that a rule's "!important" still wins over a normal inline one.
void AddInlineCssDeclarations(const std::vector<GMCssDeclaration>& declarations,
                              std::vector<const GMCssDeclaration*>* cascade);

// Applies the declarations, in cascade order (the last one of a property wins), to `style`, which
// starts as the parent's inherited style (parent.inherited()); `parent` resolves relative sizes.
void ApplyCssDeclarations(const std::vector<const GMCssDeclaration*>& declarations, const GMCssStyle& parent,
                          GMCssStyle* style);

// The page's style sheets. Rules with the same selector are merged as they are added (the later
// declaration of a property wins), and a selector list repeating one selector holds it once, so
// that repeating a rule costs its bytes and not its matches. Rules keep only the declarations of
// the properties ApplyCssDeclarations reads (never background-image: no picture a sheet names
// is loaded); selectors this engine does not match (pseudo-classes and -elements, sibling
// combinators, namespaces) are left out of their lists, so that no rule applies where it should
// not. Attribute selectors ("[hidden]", "[type=text i]", "[lang|=en]", "[href^=http]") match.
// Linked and imported sheets are read from local regular files only, each file (whatever its
// query string or fragment) once however often it is named, and charged for its bytes. A rule's
// selector list is priced as it is read and paid for before any of its rules is made: a list past
// the budget is refused having made none of them.
class GMStyleSheets {
 public:
  explicit GMStyleSheets(GMCssCharge charge);
  ~GMStyleSheets();
  GMStyleSheets(const GMStyleSheets&) = delete;
  GMStyleSheets& operator=(const GMStyleSheets&) = delete;

  // A <style> element's text; its @import rules are resolved against `base`. NO when the budget
  // stopped it (what was added before stays).
  bool addSheet(QStringView text, const QUrl& base);
  // A <link rel="stylesheet" href=...> resolved against `base`. A sheet that is not a local
  // regular file of bounded size, or that was read before, adds nothing and is no failure; NO only
  // when the budget stopped it.
  bool addLinkedSheet(const QUrl& url, const QUrl& base);
  // The declarations of the rules that match the element, in cascade order (by importance, then
  // specificity, then the order written; one that several rules give alike once, at its last
  // place), appended to `out`; the element's inline declarations
  // are the caller's to add (AddInlineCssDeclarations). NO when the budget stopped the matching.
  // Asked of the elements in the order a page opens them, what their ancestors come to is
  // worked out once, for all the elements inside them.
  bool match(const GMCssElement& element, std::vector<const GMCssDeclaration*>* out) const;
  // Where the tests of selectors against elements that matching makes are counted, a few
  // thousand at a time; its NO stops the matching as the budget's does. Without it they are
  // charged to the budget at so much a test.
  void setSteps(GMCssCharge steps);
  // From now on no linked or imported sheet is read: the page's own sheets alone apply.
  void forbidFiles();
  // Whether any rule was added: a page without one pays nothing to match.
  bool empty() const;
  // Whether any rule tests an element's attributes: only then need elements carry them.
  bool testsAttributes() const;
  // Whether the charge has refused anything.
  bool exhausted() const;

  // For tests: how many sheet files have been read.
  int filesRead() const;

 private:
  struct Rules;
  std::unique_ptr<Rules> rules_;
};

// The hashes of the names and declarations a page's sheets hold start from a seed drawn anew in
// each process, so that no page can be written whose names crowd one place of the sheets' tables;
// the slots a look-up passes over are counted as steps besides (GMStyleSheets::setSteps). For
// tests: sets the seed sheets made from now on hash with, giving the one it replaces; and the hash
// a name has under the seed now.
size_t SetCssHashSeed(size_t seed);
size_t CssNameHash(QStringView name);
