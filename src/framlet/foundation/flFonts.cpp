#include "framlet/foundation/flFonts.h"

#include "framlet/foundation/flSeededHash.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flCharacterClasses.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QtEndian>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

// Everything fontconfig lists, read once: the faces by PostScript name, the families, and the
// sorted names that FontExists searches.
struct FontCatalog {
  std::vector<FLFontFace> faces;
  QHash<QString, qsizetype> faceByLowerName;
  QStringList families;  // sorted regardless of case, unique regardless of case
  QHash<QString, QList<qsizetype>> membersByLowerFamily;
  QStringList sortedNames;
};

bool LessIgnoringCase(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) < 0;
}

QString FcText(FcPattern* pattern, const char* object, int index) {
  FcChar8* value = nullptr;
  if (FcPatternGetString(pattern, object, index, &value) != FcResultMatch || !value) return {};
  return QString::fromUtf8(reinterpret_cast<const char*>(value));
}

int FcNumber(FcPattern* pattern, const char* object, int fallback) {
  int value = 0;
  return FcPatternGetInteger(pattern, object, 0, &value) == FcResultMatch ? value : fallback;
}

// Regular before its variants: normal width, upright, nearest the regular weight.
bool MemberOrder(const FLFontFace& a, const FLFontFace& b) {
  const auto key = [](const FLFontFace& face) {
    return std::make_tuple(face.width != FC_WIDTH_NORMAL, face.slant != FC_SLANT_ROMAN,
                           std::abs(face.weight - FC_WEIGHT_REGULAR), face.weight,
                           std::abs(face.width - FC_WIDTH_NORMAL), face.slant);
  };
  const auto ka = key(a);
  const auto kb = key(b);
  if (ka != kb) return ka < kb;
  return a.postScriptName < b.postScriptName;
}

FontCatalog BuildCatalog() {
  FontCatalog catalog;
  FcInit();
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_POSTSCRIPT_NAME, FC_FAMILY, FC_STYLE, FC_WEIGHT,
                                          FC_SLANT, FC_WIDTH, FC_FILE, FC_INDEX, nullptr);
  FcFontSet* set = FcFontList(nullptr, pattern, objects);
  QHash<QString, QString> familySpelling;  // lower -> first spelling seen
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      FcPattern* font = set->fonts[i];
      FLFontFace face;
      face.postScriptName = FcText(font, FC_POSTSCRIPT_NAME, 0);
      for (int index = 0;; ++index) {
        const QString family = FcText(font, FC_FAMILY, index);
        if (family.isEmpty()) break;
        face.families.append(family);
      }
      if (face.postScriptName.isEmpty() || face.families.isEmpty()) continue;
      // The same face often comes in several files (OpenType, Type 1): one entry is enough.
      if (catalog.faceByLowerName.contains(face.postScriptName.toLower())) continue;
      face.family = face.families.first();
      face.style = FcText(font, FC_STYLE, 0);
      face.weight = FcNumber(font, FC_WEIGHT, FC_WEIGHT_REGULAR);
      face.slant = FcNumber(font, FC_SLANT, FC_SLANT_ROMAN);
      face.width = FcNumber(font, FC_WIDTH, FC_WIDTH_NORMAL);
      face.file = FcText(font, FC_FILE, 0);
      face.fileIndex = FcNumber(font, FC_INDEX, 0);
      catalog.faceByLowerName.insert(face.postScriptName.toLower(), qsizetype(catalog.faces.size()));
      for (const QString& family : face.families)
        if (!familySpelling.contains(family.toLower())) familySpelling.insert(family.toLower(), family);
      catalog.faces.push_back(face);
    }
    FcFontSetDestroy(set);
  }
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);

  catalog.families = familySpelling.values();
  std::sort(catalog.families.begin(), catalog.families.end(), LessIgnoringCase);
  for (qsizetype i = 0; i < qsizetype(catalog.faces.size()); ++i)
    for (const QString& family : catalog.faces[size_t(i)].families) {
      auto& members = catalog.membersByLowerFamily[family.toLower()];
      if (!members.contains(i)) members.append(i);
    }
  for (auto& members : catalog.membersByLowerFamily)
    std::sort(members.begin(), members.end(), [&catalog](qsizetype a, qsizetype b) {
      return MemberOrder(catalog.faces[size_t(a)], catalog.faces[size_t(b)]);
    });

  for (const FLFontFace& face : catalog.faces) catalog.sortedNames.append(face.postScriptName);
  catalog.sortedNames.append(catalog.families);
  std::sort(catalog.sortedNames.begin(), catalog.sortedNames.end(), LessIgnoringCase);
  // Hidden system names begin with a dot; they and empty names sort first.
  while (!catalog.sortedNames.isEmpty() &&
         (catalog.sortedNames.first().isEmpty() || catalog.sortedNames.first().startsWith(QLatin1Char('.'))))
    catalog.sortedNames.removeFirst();
  return catalog;
}

const FontCatalog& Catalog() {
  static const FontCatalog catalog = BuildCatalog();
  return catalog;
}

// The face fontconfig picks for a pattern (a generic name such as "Sans Serif" included).
QString MatchPostScriptName(FcPattern* pattern) {
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  QString name;
  if (match) {
    name = FcText(match, FC_POSTSCRIPT_NAME, 0);
    FcPatternDestroy(match);
  }
  return name;
}

QFont MakeFont(const FLFontFace& face, double size) {
  // Qt knows a face under one of its family names. Its weight, slant and width pick the face:
  // a style name would be matched in whichever foundry Qt tries first, which need not hold it.
  QString family = face.family;
  for (const QString& candidate : face.families)
    if (QFontDatabase::hasFamily(candidate)) {
      family = candidate;
      break;
    }
  QFont font(family);
  if (size > 0) font.setPointSizeF(size);
  const int weight = FcWeightToOpenType(face.weight);
  font.setWeight(QFont::Weight(std::clamp(weight > 0 ? weight : 400, 1, 1000)));
  font.setItalic(face.slant != FC_SLANT_ROMAN);
  font.setStretch(std::clamp(face.width, 1, 4000));
  return font;
}

// It starts with the empty name's font, so that font 0, which base character properties and
// unmapped RTF fonts name, is the default font however the process began.
struct FontNameList {
  FontNameList() : names{QString::fromLatin1(kFLEmptyFontName)} { indexes.emplace(names.first(), 0); }
  std::mutex lock;
  QStringList names;
  FLHashMap<QString, uint16_t> indexes;
};

FontNameList& FontNames() {
  static FontNameList list;
  return list;
}

std::optional<QString> DelegateFontName() {
  const FLApplicationDelegate* delegate = ApplicationDelegate();
  if (!delegate) return std::nullopt;
  return delegate->defaultFontName();
}

uint32_t U32(const QByteArray& bytes, qsizetype at) { return qFromBigEndian<quint32>(bytes.constData() + at); }
uint32_t U16(const QByteArray& bytes, qsizetype at) { return qFromBigEndian<quint16>(bytes.constData() + at); }

// The OS/2 table of a face in an OpenType or TrueType file or collection; empty when the file
// holds none (Type 1 fonts) or is cut short.
QByteArray ReadOs2Table(const QString& path, int faceIndex) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  auto readAt = [&file](qint64 at, qint64 size) {
    return file.seek(at) ? file.read(size) : QByteArray();
  };
  QByteArray header = readAt(0, 12);
  if (header.size() < 12) return {};
  qint64 directory = 0;
  if (header.startsWith("ttcf")) {
    const uint32_t count = U32(header, 8);
    if (faceIndex < 0 || uint32_t(faceIndex) >= count) return {};
    const QByteArray offset = readAt(12 + 4 * qint64(faceIndex), 4);
    if (offset.size() < 4) return {};
    directory = U32(offset, 0);
    header = readAt(directory, 12);
    if (header.size() < 12) return {};
  }
  const uint32_t tables = U16(header, 4);
  const QByteArray records = readAt(directory + 12, qint64(tables) * 16);
  if (records.size() < qsizetype(tables) * 16) return {};
  for (uint32_t i = 0; i < tables; ++i) {
    if (records.mid(qsizetype(i) * 16, 4) != "OS/2") continue;
    const uint32_t at = U32(records, qsizetype(i) * 16 + 8);
    const uint32_t length = U32(records, qsizetype(i) * 16 + 12);
    return length < 42 ? QByteArray() : readAt(at, 42);
  }
  return {};
}

}  // namespace

FLFontFamilyClass FontFamilyClassFromOs2(const QByteArray& os2) {
  if (os2.size() < 42) return FLFontFamilyClass::unknown;
  switch (uint8_t(os2[30])) {  // the class in the high byte of sFamilyClass
    case 1: return FLFontFamilyClass::oldStyleSerifs;
    case 2: return FLFontFamilyClass::transitionalSerifs;
    case 3: return FLFontFamilyClass::modernSerifs;
    case 4: return FLFontFamilyClass::clarendonSerifs;
    case 5: return FLFontFamilyClass::slabSerifs;
    case 7: return FLFontFamilyClass::freeformSerifs;
    case 8: return FLFontFamilyClass::sansSerif;
    case 9: return FLFontFamilyClass::ornamentals;
    case 10: return FLFontFamilyClass::scripts;
    case 12: return FLFontFamilyClass::symbolic;
    default: break;
  }
  // No classification: the PANOSE family kind and, for text faces, their serif style.
  const uint8_t kind = uint8_t(os2[32]);
  const uint8_t serif = uint8_t(os2[33]);
  if (kind == 3) return FLFontFamilyClass::scripts;
  if (kind == 4) return FLFontFamilyClass::ornamentals;
  if (kind == 5) return FLFontFamilyClass::symbolic;
  if (kind != 2) return FLFontFamilyClass::unknown;
  if (serif >= 2 && serif <= 5) return FLFontFamilyClass::oldStyleSerifs;  // cove
  if (serif == 6) return FLFontFamilyClass::slabSerifs;                     // square
  if (serif == 7) return FLFontFamilyClass::modernSerifs;                   // thin
  if (serif >= 8 && serif <= 10) return FLFontFamilyClass::freeformSerifs;
  if (serif >= 11 && serif <= 15) return FLFontFamilyClass::sansSerif;
  return FLFontFamilyClass::unknown;
}

FLFontFamilyClass FontFamilyClass(const QString& name) {
  static QHash<QString, FLFontFamilyClass> known;
  const std::optional<FLFontFace> face = FontFaceForName(name);
  if (!face || face->file.isEmpty()) return FLFontFamilyClass::unknown;
  const QString key = face->postScriptName.toLower();
  if (auto found = known.constFind(key); found != known.cend()) return *found;
  const FLFontFamilyClass found = FontFamilyClassFromOs2(ReadOs2Table(face->file, face->fileIndex));
  known.insert(key, found);
  return found;
}

QStringList AvailableFontFamilies() { return Catalog().families; }

bool InstalledFontsDrawText(const QString& text) {
  if (text.isEmpty()) return true;
  FcInit();
  FcCharSet* characters = FcCharSetCreate();
  if (!characters) return true;  // nothing known against it
  for (const char32_t c : text.toUcs4()) FcCharSetAddChar(characters, FcChar32(c));
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  bool drawn = true;
  if (pattern && objects && FcPatternAddCharSet(pattern, FC_CHARSET, characters)) {
    if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
      drawn = set->nfont > 0;
      FcFontSetDestroy(set);
    }
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  FcCharSetDestroy(characters);
  return drawn;
}

QList<FLFontFace> AvailableMembersOfFontFamily(const QString& family) {
  const FontCatalog& catalog = Catalog();
  QList<FLFontFace> members;
  for (qsizetype index : catalog.membersByLowerFamily.value(family.toLower()))
    members.append(catalog.faces[size_t(index)]);
  return members;
}

std::optional<FLFontFace> FontFaceForName(const QString& name) {
  if (name.isEmpty()) return std::nullopt;
  const FontCatalog& catalog = Catalog();
  const QString lower = name.toLower();
  if (auto found = catalog.faceByLowerName.constFind(lower); found != catalog.faceByLowerName.cend())
    return catalog.faces[size_t(*found)];
  const auto members = catalog.membersByLowerFamily.constFind(lower);
  if (members != catalog.membersByLowerFamily.cend() && !members->isEmpty()) {
    FLFontFace face = catalog.faces[size_t(members->first())];
    // Made by its family's name, the face answers that family.
    for (const QString& family : face.families)
      if (family.compare(name, Qt::CaseInsensitive) == 0) face.family = family;
    return face;
  }
  return std::nullopt;
}

std::optional<QFont> FontWithName(const QString& name, double size) {
  const auto face = FontFaceForName(name);
  if (!face) return std::nullopt;
  return MakeFont(*face, size);
}

QString FontPostScriptName(const QFont& font) {
  const QFontInfo info(font);
  // Qt tells apart families of several foundries as "Nimbus Sans [urw]"; fontconfig does not.
  QString familyName = info.family();
  if (const qsizetype foundry = familyName.lastIndexOf(QLatin1String(" ["));
      foundry > 0 && familyName.endsWith(QLatin1Char(']')))
    familyName.truncate(foundry);
  FcPattern* pattern = FcPatternCreate();
  const QByteArray family = familyName.toUtf8();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
  const QByteArray style = info.styleName().toUtf8();
  if (!style.isEmpty()) FcPatternAddString(pattern, FC_STYLE, reinterpret_cast<const FcChar8*>(style.constData()));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(info.weight()));
  FcPatternAddInteger(pattern, FC_SLANT, info.italic() ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  const QString name = MatchPostScriptName(pattern);
  FcPatternDestroy(pattern);
  return name;
}

QString DefaultUserFontName() {
  static const QString name = [] {
    if (FontFaceForName(QLatin1String(kFLPreferredUserFontName)))
      return QString::fromLatin1(kFLPreferredUserFontName);
    const QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    QString postScript = FontPostScriptName(general);
    if (postScript.isEmpty() || !FontFaceForName(postScript)) {
      // No general font that fontconfig resolves: its idea of "sans-serif" instead.
      FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
      postScript = pattern ? MatchPostScriptName(pattern) : QString();
      if (pattern) FcPatternDestroy(pattern);
    }
    return postScript;
  }();
  return name;
}

QFont DefaultUserFontOfSize(double size) {
  if (auto font = FontWithName(DefaultUserFontName(), size)) return *font;
  QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  if (size > 0) general.setPointSizeF(size);
  return general;
}

QString UserFontName() {
  if (const auto name = DelegateFontName(); name && FontFaceForName(*name)) {
    return FontFaceForName(*name)->postScriptName;
  }
  return DefaultUserFontName();
}

QFont UserFont(double size) {
  if (const auto name = DelegateFontName()) {
    if (auto font = FontWithName(*name, size)) return *font;
  }
  return DefaultUserFontOfSize(size);
}

bool FontExists(const QString& name) {
  const QStringList& names = Catalog().sortedNames;
  const auto found = std::lower_bound(names.begin(), names.end(), name, LessIgnoringCase);
  return found != names.end() && found->compare(name, Qt::CaseInsensitive) == 0;
}

QStringList FontNameComponents(const QString& name) {
  QStringList words;
  const qsizetype count = name.size();
  const auto type = [&name](qsizetype at) { return TypeOfChar(name[at].unicode()); };
  const auto separates = [](uint32_t kind) {
    return kind == kCharClassSpace || kind == kCharClassPunctuation;
  };
  qsizetype at = 0;
  while (at < count) {
    while (at < count && separates(type(at))) ++at;
    if (at >= count) break;
    const qsizetype start = at;
    ++at;
    while (at < count) {
      const uint32_t current = type(at);
      const uint32_t previous = type(at - 1);
      if (separates(current)) break;
      if (current == kCharClassUpper && previous == kCharClassLower) break;
      // The last capital of a run of capitals begins the next word when a small letter follows.
      if (current == kCharClassUpper && previous == kCharClassUpper && at + 1 < count &&
          type(at + 1) == kCharClassLower)
        break;
      ++at;
    }
    words.append(name.mid(start, at - start).toLower());
  }
  return words;
}

int MatchFontNameComponents(const QStringList& requested, const QStringList& candidate) {
  int score = -int(std::abs(requested.size() - candidate.size()));
  for (qsizetype i = 0; i < candidate.size(); ++i) {
    if (requested.contains(candidate[i]))
      score += 5;
    else if (i < requested.size() && requested[i].startsWith(candidate[i]))
      score += 1;
  }
  return score;
}

QString MapFontNameFromFamily(const QString& name, bool* substituted) {
  bool dummy = false;
  bool& flag = substituted ? *substituted : dummy;
  QString copy = name;
  bool cut = false;
  if (const qsizetype dash = copy.indexOf(QLatin1Char('-'), 0, Qt::CaseInsensitive); dash >= 0) {
    copy.truncate(dash);
    cut = true;
  }
  const bool respaced = removeCamelCase(copy, false);
  if (respaced && Catalog().faceByLowerName.contains(copy.toLower())) {
    const FLFontFace& face = Catalog().faces[size_t(Catalog().faceByLowerName.value(copy.toLower()))];
    if (face.postScriptName == copy) {
      flag = false;
      return copy;
    }
  }
  const QStringList& families = Catalog().families;
  const bool tryCopy = (cut || respaced) && !copy.isEmpty();
  QString chosen;
  for (const QString& family : families) {
    if ((!name.isEmpty() && family.contains(name, Qt::CaseInsensitive)) ||
        (tryCopy && family.contains(copy, Qt::CaseInsensitive))) {
      chosen = family;
      break;
    }
  }
  if (chosen.isEmpty()) {
    flag = true;
    return {};
  }
  const QList<FLFontFace> members = AvailableMembersOfFontFamily(chosen);
  for (const FLFontFace& member : members)
    if (member.postScriptName.compare(name, Qt::CaseInsensitive) == 0) {
      flag = false;
      return member.postScriptName;
    }
  if (members.isEmpty()) {
    flag = true;
    return {};
  }
  flag = false;
  return members.first().postScriptName;
}

QString MapFontName(const QString& name, bool* substituted) {
  if (substituted) *substituted = false;
  QString result;
  const auto face = FontExists(name) ? FontFaceForName(name) : std::nullopt;
  if (face) {
    if (face->postScriptName.compare(name, Qt::CaseInsensitive) == 0 ||
        face->family.compare(name, Qt::CaseInsensitive) == 0) {
      result = face->postScriptName;
    } else {
      // Taken over the face's own name only when the family's candidate fits the words better.
      bool familyFlag = false;
      const QString candidate = MapFontNameFromFamily(name, &familyFlag);
      const QStringList requested = FontNameComponents(name);
      result = face->postScriptName;
      if (!candidate.isEmpty() &&
          MatchFontNameComponents(requested, FontNameComponents(candidate)) >
              MatchFontNameComponents(requested, FontNameComponents(result)))
        result = candidate;
    }
  } else if (!name.isEmpty()) {
    bool familyFlag = false;
    result = MapFontNameFromFamily(name, &familyFlag);
  }
  if (result.isEmpty()) {
    if (substituted) *substituted = true;
    result = UserFontName();
  }
  return result;
}

uint16_t IndexOfFont(const QString& name) {
  const QString key = name.isEmpty() ? QString::fromLatin1(kFLEmptyFontName) : name;
  FontNameList& list = FontNames();
  std::lock_guard guard(list.lock);
  if (auto found = list.indexes.find(key); found != list.indexes.end()) return found->second;
  if (list.names.size() > 0xFFFF) return 0;
  const auto index = uint16_t(list.names.size());
  // A name is listed and indexed, or neither, should memory run out between the two.
  list.indexes.emplace(key, index);
  try {
    list.names.append(key);
  } catch (...) {
    list.indexes.erase(key);
    throw;
  }
  return index;
}

QString FontNameAtIndex(uint32_t index) {
  FontNameList& list = FontNames();
  std::lock_guard guard(list.lock);
  return index < uint32_t(list.names.size()) ? list.names[qsizetype(index)] : QString();
}

uint32_t FontNameCount() {
  FontNameList& list = FontNames();
  std::lock_guard guard(list.lock);
  return uint32_t(list.names.size());
}
