#include "glimmet/storage/gmOpenNative.h"

#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flBase64.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/foundation/flFonts.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmAtoms.h"
#include "glimmet/storage/gmBookmarks.h"
#include "glimmet/storage/gmEdit.h"
#include "glimmet/storage/gmStyles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <array>
#include <cerrno>
#include <optional>
#include <map>

namespace {

// The largest text file of a package (or older document file) read: anything larger is damage.
constexpr int64_t kMaxGlimmetFileSize = FLXmlDecoder::kMaxFileSize;

// The tag names by key; 1021, 1078 and 1182 are unused and 1112-1136 ("c1" to "c25") are made.
constexpr FLXmlTagKey kGlimmetTags[] = {
    {1000, "ascent"}, {1001, "base"}, {1002, "bin"}, {1003, "char"}, {1004, "class"}, {1005, "cp"},
    {1006, "current"}, {1007, "div"}, {1008, "docprop"}, {1009, "draft"}, {1010, "drawsize"},
    {1011, "dropcache"}, {1012, "ellist"}, {1013, "item"}, {1014, "facing"}, {1015, "fonts"},
    {1016, "fpanel"}, {1017, "format"}, {1018, "frames"}, {1019, "frame"}, {1020, "id"}, {1022, "kink"},
    {1023, "k0"}, {1024, "k1"}, {1025, "knots"}, {1026, "knot"}, {1027, "length"}, {1028, "lev"},
    {1029, "count"}, {1030, "locked"}, {1031, "magic"}, {1032, "mark"}, {1033, "meta"}, {1034, "name"},
    {1035, "next"}, {1036, "normal_chapter"}, {1037, "normal_frame"}, {1038, "normal_list"},
    {1039, "normal_table"}, {1040, "no"}, {1041, "page"}, {1042, "panes"}, {1043, "pane"}, {1044, "para"},
    {1045, "password"}, {1046, "hint"}, {1047, "source"}, {1048, "images"}, {1049, "plain"},
    {1050, "scroll"}, {1051, "preview"}, {1052, "print"}, {1053, "properties"}, {1054, "prop"},
    {1055, "relative"}, {1056, "run"}, {1057, "saveReceipt"}, {1058, "endline"}, {1059, "selend"},
    {1060, "selframe"}, {1061, "selstart"}, {1062, "shorthand"}, {1063, "bounds"}, {1064, "marks"},
    {1065, "showPage"}, {1066, "rulers"}, {1067, "tbounds"}, {1068, "spelling"}, {1069, "structure"},
    {1070, "styles"}, {1071, "subver"}, {1072, "sys_ver"}, {1073, "text"}, {1074, "type"},
    {1075, "glimmet"}, {1076, "value"}, {1077, "ver"}, {1079, "view"}, {1080, "window"}, {1081, "tabs"},
    {1082, "word"}, {1083, "wrapl"}, {1084, "wrapr"}, {1085, "write_ver"}, {1086, "zoomType"},
    {1087, "zoom"}, {1088, "after"}, {1089, "align"}, {1090, "levels"}, {1091, "autofit"}, {1092, "back"},
    {1093, "backup"}, {1094, "balance"}, {1095, "btcolor"}, {1096, "before"}, {1097, "between"},
    {1098, "bold"}, {1099, "bookmark"}, {1100, "bline"}, {1101, "boff"}, {1102, "bthick"}, {1103, "btype"},
    {1104, "bwidth"}, {1105, "pagebot"}, {1106, "bottom"}, {1107, "caps"}, {1108, "cleft"},
    {1109, "cright"}, {1110, "chapstart"}, {1111, "check"}, {1137, "color"}, {1138, "colline"},
    {1139, "cols"}, {1140, "custom"}, {1141, "deftab"}, {1142, "drop"}, {1143, "endch"}, {1144, "expand"},
    {1145, "fill"}, {1146, "big1"}, {1147, "format1"}, {1148, "indent1"}, {1149, "size"}, {1150, "font"},
    {1151, "foff"}, {1152, "fpush"}, {1153, "framesTB"}, {1154, "gutter"}, {1155, "hoff"},
    {1156, "hpush"}, {1157, "hdrtab"}, {1158, "height"}, {1159, "hidebmk"}, {1160, "unleaded"},
    {1161, "ignorem"}, {1162, "indent"}, {1163, "incolor"}, {1164, "insideonly"}, {1165, "italic"},
    {1166, "keepnext"}, {1167, "keep"}, {1168, "lead"}, {1169, "indentl"}, {1170, "left"},
    {1171, "multiple"}, {1172, "mirrorh"}, {1173, "mirrorl"}, {1174, "mirrorp"}, {1175, "hdrempty"},
    {1176, "nolink"}, {1177, "nopreview"}, {1178, "nixprint"}, {1179, "nospell"}, {1180, "nowrap"},
    {1181, "nof"}, {1183, "opacity"}, {1184, "outline"}, {1185, "pageanchor"}, {1186, "pagenum"},
    {1187, "pagepos"}, {1188, "image"}, {1189, "prefix"}, {1190, "relsize"}, {1191, "res"},
    {1192, "indentr"}, {1193, "right"}, {1194, "scale"}, {1195, "shadow"}, {1196, "header1"},
    {1197, "strike"}, {1198, "stripe"}, {1199, "stripecolor"}, {1200, "style"}, {1201, "sub"},
    {1202, "suffix"}, {1203, "noback"}, {1204, "noconv"}, {1205, "noquotes"}, {1206, "tab"},
    {1207, "tabdel"}, {1208, "tb"}, {1209, "tight"}, {1210, "tile"}, {1211, "title"}, {1212, "titlerow"},
    {1213, "pagetop"}, {1214, "top"}, {1215, "underline"}, {1216, "widow"}, {1217, "width"},
    {1218, "wrap"}, {1219, "xbase"}, {1220, "xoff"}, {1221, "x"}, {1222, "ybase"}, {1223, "y"},
    {1224, "ypos"},
};
constexpr uint32_t kFirstColumnKey = 1112, kColumnKeys = 25, kFirstEncoderKey = 1088;

// Keys the readers switch on.
enum : int32_t {
  kKeyBase = 1001, kKeyBin = 1002, kKeyChar = 1003, kKeyClass = 1004, kKeyDiv = 1007, kKeyDocprop = 1008,
  kKeyFonts = 1015, kKeyFormat = 1017, kKeyK0 = 1023, kKeyK1 = 1024, kKeyKnots = 1025, kKeyKnot = 1026,
  kKeyLength = 1027, kKeyLev = 1028, kKeyMagic = 1031, kKeyName = 1034, kKeyNext = 1035,
  kKeyNormalChapter = 1036, kKeyNormalFrame = 1037, kKeyNormalList = 1038, kKeyNormalTable = 1039,
  kKeyNo = 1040, kKeyPage = 1041, kKeyPanes = 1042, kKeyPane = 1043, kKeyPara = 1044, kKeyImages = 1048,
  kKeyPreview = 1051, kKeyPrint = 1052, kKeyProperties = 1053, kKeyProp = 1054, kKeyRelative = 1055,
  kKeyRun = 1056, kKeyShowPage = 1065, kKeyStructure = 1069, kKeyStyles = 1070, kKeySubver = 1071,
  kKeySysVer = 1072, kKeyText = 1073, kKeyType = 1074, kKeyGlimmet = 1075, kKeyValue = 1076, kKeyVer = 1077,
  kKeyWriteVer = 1085, kKeyZoom = 1087, kKeyAlign = 1089, kKeyBookmark = 1099, kKeyColor = 1137,
  kKeyHeight = 1158, kKeyOpacity = 1183, kKeyImage = 1188, kKeyStyle = 1200,
};

constexpr const char* kKinkWords[] = {"-", "beg", "mid", "end"};
constexpr const char* kDividerWords[] = {"asterisk", "2diamond", "diamond",  "diamondLine", "square", "squareLine",
                                         "circle",   "circleLine", "pyramid", "plainLine",   "theEnd"};
constexpr const char* kVariableWords[] = {"bookref", "chapname", "chapno",    "chapno1",   "date",   "docname",
                                          "endref",  "link",     "pagecount", "wordcount", "pageno", "bookpage",
                                          "picno",   "time",     "bookrefpage", "linkpage"};
constexpr const char* kVerticalAlignWords[] = {"vatop", "vabottom", "vacenter", "vafull"};
constexpr const char* kPropKindWords[] = {"char", "para", "chap", "frame", "table", "list", "", "border", "doc"};
constexpr const char* kImageSourceWords[] = {"embed", "resource", "path"};
enum : int64_t { kImageEmbed = 0, kImageResource = 1, kImagePath = 2 };

// The file of a picture named in the package: a plain name in its "Images" folder, read only when
// it stays inside the package once links are followed (a name with a separator, or a link that
// leads out, would read any file of the user's). Empty when it would lead out.
QString PackagePicturePath(const QString& package, const QString& name) {
  if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..") return QString();
  const QString entry = QStringLiteral("Images/") + name;
  return PackageEntryPath(package, entry) ? package + u'/' + entry : QString();
}

constexpr uint32_t kHighestVersion = 2;
constexpr uint32_t kDefaultStyleRef = 32767;

std::shared_ptr<const FLXmlKeyTable> g_glimmetKeys;
std::map<uint32_t, QString> g_glimmetEncoderKeys;

void AddEncoderKey(uint32_t key, const QString& tag) {
  if (!g_glimmetEncoderKeys.emplace(key, tag).second) LogAssert("Duplicate keys", __func__, __FILE__, __LINE__);
}

#define READ_ASSERT(message) LogAssert(message, __func__, __FILE__, __LINE__)

// Reading one document. Failure texts go to error_; a failure without a text leaves it empty.
class NativeReader {
 public:
  NativeReader(GlimmetDoc* doc, QString* error) : doc_(doc), error_(error) {}

  bool readPackage(const QString& path);
  bool readV2Xml(FLXmlDecoder& decoder);
  bool finish();

 private:
  // Runs `child` for each child element of the decoder's current (open) element; true when the
  // element's closing tag was reached, false when the input ended first. A child that `child`
  // leaves open is skipped whole.
  // level: that of the children's parent when the current tag is already one of them (a
  // package file's "ver"); else the current element is the parent.
  template <typename F>
  bool forEachChild(FLXmlDecoder& decoder, F child, int64_t level = -1);
  bool decoderFailed(const FLXmlDecoder& decoder);
  bool checkVersion(FLXmlDecoder& decoder);
  bool openPackageXml(const QString& path, int32_t rootKey, std::unique_ptr<FLXmlDecoder>* out);

  bool readStructure(FLXmlDecoder& decoder, const QString& package, int64_t level = -1);
  bool readKnots(FLXmlDecoder& decoder);
  bool readKnot(FLXmlDecoder& decoder, uint32_t* expectedIndex);
  bool readFormat(FLXmlDecoder& decoder, int64_t level = -1);
  bool readProperties(FLXmlDecoder& decoder);
  bool readStyles(FLXmlDecoder& decoder);
  bool readRunPairs(FLXmlDecoder& decoder, GMCpTable<uint32_t>* runs);
  bool readPictures(FLXmlDecoder& decoder, const QString& package);
  bool readTextFile(const QString& package);
  bool decodeText(FLXmlDecoder& decoder);
  bool storeText(const QString& text);
  bool fail(const QString& message = QString()) {
    if (error_ && error_->isEmpty()) *error_ = message;
    return false;
  }

  GlimmetDoc* doc_;
  QString* error_;
  std::vector<uint16_t> fontMap_;
  bool unknownKnots_ = false;
  bool textStored_ = false;
};

bool GetNumberPair(const QString& text, int64_t* first, int64_t* second) {
  const QStringList parts = text.split(u',');
  bool ok1 = false, ok2 = false;
  if (parts.size() == 2) {
    *first = parts[0].trimmed().toLongLong(&ok1);
    *second = parts[1].trimmed().toLongLong(&ok2);
  }
  if (ok1 && ok2) return true;
  READ_ASSERT("Bad number pair");
  return false;
}

template <typename F>
bool NativeReader::forEachChild(FLXmlDecoder& decoder, F child, int64_t level) {
  if (level < 0) {
    if (decoder.endTag()) return true;
    level = decoder.level();
  }
  while (decoder.getNextTag()) {
    if (decoder.level() < level) return true;
    if (!decoder.startTag()) continue;
    if (!child(decoder)) return false;
    if (decoder.startTag() && !decoder.endTag()) decoder.skipTag();
  }
  return false;
}

bool NativeReader::decoderFailed(const FLXmlDecoder& decoder) {
  if (decoder.error().isEmpty()) return false;
  fail(decoder.error());
  return true;
}

bool NativeReader::checkVersion(FLXmlDecoder& decoder) {
  if (decoder.integerValue() > int64_t(kHighestVersion)) return fail(QString::fromUtf8(kGlimmetLaterVersionMessage));
  return true;
}

bool NativeReader::openPackageXml(const QString& path, int32_t rootKey, std::unique_ptr<FLXmlDecoder>* out) {
  if (!QFileInfo::exists(path)) return fail(QString::fromUtf8(kGlimmetDamagedMessage));
  FLError error;
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withFile(path, &error);
  if (!decoder) return fail(error.reason);
  decoder->setKeyDecoder(g_glimmetKeys);
  if (!decoder->getNextTag() || decoder->key() != rootKey) {
    return fail(decoder->error().isEmpty() ? QString::fromUtf8(kGlimmetDamagedMessage) : decoder->error());
  }
  if (!decoder->getNextTag() || decoder->key() != kKeyVer) return fail();
  if (!checkVersion(*decoder)) return false;
  *out = std::move(decoder);
  return true;
}

bool NativeReader::readPackage(const QString& path) {
  std::unique_ptr<FLXmlDecoder> decoder;
  if (!openPackageXml(path + QStringLiteral("/structure.xml"), kKeyStructure, &decoder)) return false;
  if (!readStructure(*decoder, path, decoder->level())) return false;
  if (!openPackageXml(path + QStringLiteral("/format.xml"), kKeyFormat, &decoder)) return false;
  if (!readFormat(*decoder, decoder->level())) return false;
  return readTextFile(path);
}

bool NativeReader::readV2Xml(FLXmlDecoder& decoder) {
  if (!decoder.getNextTag() || decoder.key() != kKeyGlimmet || !decoder.startTag())
    return fail(QString::fromUtf8(kGlimmetDamagedMessage));
  bool ok = true;
  forEachChild(decoder, [&](FLXmlDecoder& d) {
    switch (d.key()) {
      case kKeyStructure: ok = readStructure(d, QString()); break;
      case kKeyFormat: ok = readFormat(d); break;
      case kKeyImages: ok = readPictures(d, QString()); break;
      case kKeyText: ok = decodeText(d); break;
      case kKeyVer: ok = checkVersion(d); break;
      case kKeyPreview:
      case kKeyPrint:
      case kKeySubver:
      case kKeySysVer:
      case kKeyWriteVer: break;
      default: READ_ASSERT("Unknown top-level tag"); break;
    }
    return ok;
  });
  if (!ok || decoderFailed(decoder)) return fail();
  IdentifyBookmarks(doc_);
  return true;
}

// ---- structure

bool NativeReader::readStructure(FLXmlDecoder& decoder, const QString& package, int64_t level) {
  bool ok = true;
  forEachChild(decoder, [&](FLXmlDecoder& d) {
    switch (d.key()) {
      case kKeyLength: {
        int64_t user = 0, total = 0;
        if (!GetNumberPair(d.value(), &user, &total) || user < 0 || total < 1 || total > kMaxDocLength)
          return ok = fail(QString::fromUtf8(kGlimmetDamagedMessage));
        if (user + 1 > total) READ_ASSERT("Bad length");
        doc_->userLength = int32_t(std::min(user, total - 1));
        doc_->totalLength = int32_t(total);
        textStored_ = false;
        return true;
      }
      case kKeyImages: return ok = readPictures(d, package);
      case kKeyKnots: return ok = readKnots(d);
      default: return true;
    }
  }, level);
  return ok && !decoderFailed(decoder);
}

bool NativeReader::readKnots(FLXmlDecoder& decoder) {
  doc_->knots.clear();
  doc_->bookmarkCps.clear();
  doc_->chapterCps.clear();
  doc_->listCps.clear();
  doc_->tableCps.clear();
  for (auto& table : doc_->displayTables)
    if (table) table->clear();
  doc_->variableKinds = 0;
  uint32_t index = 0;
  bool ok = true;
  forEachChild(decoder, [&](FLXmlDecoder& d) {
    if (d.key() == kKeyKnot) ok = readKnot(d, &index);
    return ok;
  });
  return ok;
}

bool NativeReader::readKnot(FLXmlDecoder& decoder, uint32_t* expectedIndex) {
  const int64_t cp = decoder.integerAttributeForTag(u"cp");
  KnotEntry entry;
  entry.type = uint32_t(decoder.decodeAttribute(u"type", {std::begin(g_knotTypeTags), std::end(g_knotTypeTags)}));
  entry.kink = uint32_t(decoder.decodeAttribute(u"kink", kKinkWords));
  if (entry.type == kKnotRow && entry.kink != kKinkBegin) entry.word = kGMNone;
  if (entry.type == kKnotVar) entry.setGuidIndex(kGMNone);
  forEachChild(decoder, [&](FLXmlDecoder& d) {
    switch (d.key()) {
      case kKeyClass: entry.word = uint32_t(d.integerValue()); break;
      case kKeyImage: entry.setPictureIndex(uint32_t(d.integerValue())); break;
      case kKeyDiv: entry.word = uint32_t(d.decodeValueFromValues(kDividerWords)); break;
      case kKeyLev: {
        const int64_t level = d.integerValue();
        entry.word = level == 17 ? 17 : 16 + uint32_t(std::clamp<int64_t>(level, 0, 4));
        break;
      }
      case kKeyMagic:
      case kKeyShowPage: entry.value = (entry.value & ~uint64_t(0xFF)) | (uint64_t(d.integerValue()) & 0xFF); break;
      case kKeyProp: {
        const int64_t prop = d.integerValue();
        entry.propIndex = prop < 0 ? kGMNone : uint32_t(std::min<int64_t>(prop, kGMNone));
        break;
      }
      case kKeyRelative:
      case kKeyHeight: break;
      case kKeyType: entry.word = uint32_t(d.decodeValueFromValues(kVariableWords)); break;
      case kKeyValue:
        if (entry.type == kKnotVar) entry.setFormat(uint16_t(d.integerValue()));
        else if (entry.type == kKnotCheckbox) entry.word = (entry.word & ~0xFFu) | (uint32_t(d.integerValue()) & 0xFF);
        else READ_ASSERT("Unexpected value");
        break;
      case kKeyZoom: entry.setScale(uint16_t(d.integerValue())); break;
      case kKeyAlign: entry.setAlignment(uint32_t(d.decodeValueFromValues(kVerticalAlignWords))); break;
      case kKeyBookmark: entry.setGuidIndex(uint32_t(d.integerValue())); break;
      case kKeyColor: entry.word = KolorFromString(d.value()); break;
      case kKeyOpacity: entry.setOpacity(uint16_t(d.integerValue())); break;
      default: READ_ASSERT("Unknown knot node"); break;
    }
    return true;
  });
  if (entry.type == kKnotNone) unknownKnots_ = true;
  // Knots lie one per kink character, in text order, inside the text.
  if (cp < 0 || cp >= doc_->totalLength ||
      (doc_->knots.count() > 0 && doc_->knots.cpAt(doc_->knots.count() - 1) >= uint32_t(cp)))
    return fail(QString::fromUtf8(kGlimmetDamagedMessage));
  doc_->knots.insert((*expectedIndex)++, uint32_t(cp), entry);
  if (entry.type == kKnotVar) doc_->variableKinds |= 1u << (entry.word % 32);
  if (entry.kink == kKinkBegin) {
    GMCpTable<GMNoData>* table = entry.type == kKnotBookmark ? &doc_->bookmarkCps
                                 : entry.type == kKnotChapter ? &doc_->chapterCps
                                 : entry.type == kKnotList    ? &doc_->listCps
                                 : entry.type == kKnotTable   ? &doc_->tableCps
                                                              : nullptr;
    if (table) table->insert(table->count(), uint32_t(cp), GMNoData{});
  }
  return true;
}

// ---- format

bool NativeReader::readFormat(FLXmlDecoder& decoder, int64_t level) {
  fontMap_.clear();
  doc_->defaultListProps = kGMNone;
  ClearPropertyCaches(doc_);
  bool ok = true;
  const bool closed = forEachChild(decoder, [&](FLXmlDecoder& d) {
    switch (d.key()) {
      case kKeyFonts:
        ok = forEachChild(d, [&](FLXmlDecoder& font) {
          fontMap_.push_back(IndexOfFont(font.value().trimmed()));
          return true;
        });
        break;
      case kKeyNormalChapter: doc_->defaultChapterProps = uint32_t(d.integerValue()); break;
      case kKeyNormalList: doc_->defaultListProps = uint32_t(d.integerValue()); break;
      case kKeyNormalTable: doc_->defaultTableProps = uint32_t(d.integerValue()); break;
      case kKeyDocprop: ReadPropsFromXml(d, &doc_->docProps, kPropDocument); break;
      case kKeyProperties: ok = readProperties(d); break;
      case kKeyStyles: ok = readStyles(d); break;
      case kKeyChar:
      case kKeyPara: {
        GMCpTable<uint32_t>* runs = d.key() == kKeyChar ? &doc_->charRuns : &doc_->paraRuns;
        runs->clear();
        ok = readRunPairs(d, runs);
        break;
      }
      default: break;  // "normal_frame", "no", "page", "panes", "pane" and anything newer
    }
    return ok;
  }, level);
  if (!ok || decoderFailed(decoder)) return false;
  (void)closed;  // a format cut off after its last group is still whole
  if (doc_->defaultListProps == kGMNone) return SetNormalListProps(doc_);
  return true;
}

bool NativeReader::readProperties(FLXmlDecoder& decoder) {
  doc_->props.clear();
  doc_->propIndex = {};
  ClearPropertyCaches(doc_);
  return forEachChild(decoder, [&](FLXmlDecoder& d) {
    const uint32_t kind = uint32_t(d.decodeAttribute(u"type", kPropKindWords));
    PropRecord record;
    ReadPropsFromXml(d, &record, kind);
    const uint32_t border = kind == kPropPara ? ParaField::border
                            : kind == kPropFrame ? kFrameBorderOffset
                            : kind == kPropTable ? kTableBorderOffset
                            : kind == kPropBorder ? 0
                                                  : kGMNone;
    if (border != kGMNone && record.get<uint32_t>(border + BorderField::kind) == 0) {
      const uint32_t back = record.get<uint32_t>(border + BorderField::backColor);
      std::memset(record.body + border, 0, BorderField::size);
      record.set<uint32_t>(border + BorderField::lineColor, g_blackKolor);
      record.set<uint32_t>(border + BorderField::innerColor, kNoKolor);
      record.set<uint32_t>(border + BorderField::backColor, back);
    }
    if (kind == kPropChar) {
      const uint16_t number = record.get<uint16_t>(CharField::font);
      uint16_t font = 0;
      if (number < fontMap_.size()) font = fontMap_[number];
      else READ_ASSERT("Bad font number");
      record.set<uint16_t>(CharField::font, font);
    }
    try {
      record.index = uint32_t(doc_->props.size());
      doc_->props.push_back(record);
    } catch (const std::exception& exception) {
      LogException(exception, QStringLiteral("readProperties"));
      return false;
    }
    return true;
  });
}

bool NativeReader::readStyles(FLXmlDecoder& decoder) {
  doc_->styles.clear();
  doc_->styleList.clear();
  return forEachChild(decoder, [&](FLXmlDecoder& d) {
    if (d.key() != kKeyStyle) return true;
    GMStyle style;
    style.name = d.stringAttributeForTag(u"name");
    style.kind = uint32_t(d.decodeAttribute(u"type", kPropKindWords));
    const QString bin = d.stringAttributeForTag(u"bin");
    style.id = doc_->styles.empty() ? 0 : bin.isNull() ? kUserStyleId : uint32_t(bin.toUInt());
    style.basedOn = style.next = style.copySlot = kDefaultStyleRef;
    forEachChild(d, [&](FLXmlDecoder& child) {
      const uint32_t number = uint32_t(child.integerValue());
      switch (child.key()) {
        case kKeyBase: style.basedOn = number; break;
        case kKeyNext: style.next = number; break;
        case kKeyProp: style.first = number; break;
        case kKeyChar: style.second = number; break;
        default: READ_ASSERT("Unknown subnode"); break;
      }
      return true;
    });
    if (doc_->styles.size() >= kMaxStyles) return false;
    doc_->styles.push_back(style);
    return true;
  });
}

bool NativeReader::readRunPairs(FLXmlDecoder& decoder, GMCpTable<uint32_t>* runs) {
  return forEachChild(decoder, [&](FLXmlDecoder& d) {
    int64_t cp = 0, index = 0;
    if (!GetNumberPair(d.value(), &cp, &index)) return false;
    if (cp < 0 || cp >= doc_->totalLength || index < 0 || index >= int64_t(kGMNone) ||
        (runs->count() > 0 && runs->cpAt(runs->count() - 1) >= uint32_t(cp)))
      return fail(QString::fromUtf8(kGlimmetDamagedMessage));
    runs->insert(runs->count(), uint32_t(cp), uint32_t(index));
    return true;
  });
}

// ---- pictures

bool NativeReader::readPictures(FLXmlDecoder& decoder, const QString& package) {
  return forEachChild(decoder, [&](FLXmlDecoder& d) {
    if (d.key() != kKeyImage) return false;
    const int64_t source = d.decodeAttribute(u"source", kImageSourceWords);
    const QString text = d.value().trimmed();
    GMPicture picture;
    picture.referenceKind = int32_t(source);
    std::unique_ptr<FLImage> image;
    QString file;
    if (source == kImageResource) {
      file = QStringLiteral(":/images/") + text;
      picture.savedName = text;
    } else if (source == kImagePath) {
      file = text.startsWith(u'~') ? QDir::homePath() + text.mid(1) : text;
      picture.identifier = NewBookmarkGuid();
    } else if (!package.isEmpty()) {
      file = PackagePicturePath(package, text);
      picture.identifier = QFileInfo(text).completeBaseName();
      picture.savedName = text;
    } else {
      picture.identifier = NewBookmarkGuid();
      picture.savedName = picture.identifier + u'.' + d.stringAttributeForTag(u"type");
      if (const std::optional<QByteArray> data = NewDataFromBase64String(text)) image = FLImage::withData(*data);
      file.clear();
    }
    if (!file.isEmpty()) {
      image = FLImage::withContentsOfFile(file);
      if (!image && QFileInfo(file).suffix().compare(QLatin1String("tiff"), Qt::CaseInsensitive) == 0) {
        file = file.left(file.size() - 4) + QStringLiteral("png");
        if (source != kImageResource && source != kImagePath)
          file = PackagePicturePath(package, text.left(text.size() - 4) + QStringLiteral("png"));
        if (!file.isEmpty()) image = FLImage::withContentsOfFile(file);
      }
      picture.path = file;
    }
    if (!image) {
      LogString("Can't read image %@", file.isEmpty() ? text.left(64) : file);
      READ_ASSERT("Image can't be loaded");
      picture.path.clear();
      picture.savedName.clear();
      image = FLImage::imageNamed(QStringLiteral("NSImageNameCaution"));
      if (!image) {
        LogText(QStringLiteral("NSImageNameCaution not found"));
        image = FLImage::withSize(QSizeF(16, 16));  // never a picture without an image
      }
    }
    picture.image = std::shared_ptr<FLImage>(std::move(image));
    try {
      doc_->pictures.push_back(std::move(picture));
    } catch (const std::exception& exception) {
      LogException(exception, QStringLiteral("readPictures"));
      return false;
    }
    return true;
  });
}

// ---- text

bool NativeReader::readTextFile(const QString& package) {
  FLError error;
  const std::optional<QByteArray> bytes =
      ReadRegularFile(package + QStringLiteral("/document.txt"), kMaxGlimmetFileSize, &error);
  if (!bytes) return fail(error.code == ENOENT ? QString::fromUtf8(kGlimmetDamagedMessage) : error.reason);
  return storeText(QString::fromUtf8(*bytes));
}

bool NativeReader::decodeText(FLXmlDecoder& decoder) {
  QString text;
  forEachChild(decoder, [&](FLXmlDecoder& d) {
    switch (d.key()) {
      case kKeyRun:
        if (d.value().isEmpty()) READ_ASSERT("Empty run");
        text += d.value();
        break;
      case kKeyK0: text += QChar(kKnotChar); break;
      case kKeyK1: text += QChar(kKnotMarkChar); break;
      default: READ_ASSERT("Unknown text key"); break;
    }
    // A text longer than the document can hold is damaged; stop collecting.
    return text.size() <= doc_->totalLength;
  });
  return storeText(text);
}

bool NativeReader::storeText(const QString& text) {
  if (text.size() != doc_->totalLength) {
    READ_ASSERT("Text is wrong length");
    return fail(QString::fromUtf8(kGlimmetDamagedMessage));
  }
  if (!doc_->text.replace(0, doc_->text.length(), reinterpret_cast<const char16_t*>(text.utf16()),
                          uint32_t(text.size())))
    return fail(QString::fromUtf8(kGlimmetNoTextMemoryMessage));
  textStored_ = true;
  return true;
}

// After the parts are read: unknown knots become spaces, then the parts must agree with one
// another before the engine walks them (every knot on a kink character, knots nested and of
// their kink count, runs from cp 0 naming records of their kind, a Normal style), else the
// document is damaged.
bool NativeReader::finish() {
  const QString damaged = QString::fromUtf8(kGlimmetDamagedMessage);
  if (!textStored_ || uint32_t(doc_->totalLength) != doc_->text.length()) return fail(damaged);
  if (unknownKnots_) {
    for (uint32_t i = doc_->knots.count(); i-- > 0;) {
      if (doc_->knots.at(i).type != kKnotNone) continue;
      const uint32_t cp = doc_->knots.cpAt(i);
      doc_->knots.erase(i);
      const char16_t space = u' ';
      doc_->text.replace(cp, cp + 1, &space, 1);
    }
  }
  struct Open {
    uint32_t type;
    uint32_t kinks;
  };
  std::vector<Open> open;
  uint32_t next = 0;  // the next knot entry
  for (uint32_t cp = 0; cp < uint32_t(doc_->totalLength); ++cp) {
    const bool hasEntry = next < doc_->knots.count() && doc_->knots.cpAt(next) == cp;
    if (!IsKinkChar(doc_->text.at(cp))) {
      if (hasEntry) return fail(damaged);
      continue;
    }
    if (!hasEntry) {
      const char16_t bullet = kBullet;
      doc_->text.replace(cp, cp + 1, &bullet, 1);
      continue;
    }
    const KnotEntry& entry = doc_->knots.at(next++);
    if (entry.type >= kKnotTypeCount) return fail(damaged);
    if (entry.propIndex != kGMNone && entry.propIndex >= doc_->props.size()) return fail(damaged);
    const uint32_t wanted = g_knotDescs[entry.type].kinkCount;
    if (entry.kink == kKinkAtomic) {
      if (wanted != 1) return fail(damaged);
    } else if (entry.kink == kKinkBegin) {
      if (wanted == 1 || open.size() >= 64) return fail(damaged);
      open.push_back({entry.type, 1});
    } else {
      if (open.empty() || open.back().type != entry.type || ++open.back().kinks > kMaxKinks) return fail(damaged);
      if (entry.kink == kKinkEnd) {
        if (wanted != 0 && open.back().kinks != wanted) return fail(damaged);
        open.pop_back();
      }
    }
  }
  if (!open.empty() || doc_->chapterCps.empty() || doc_->chapterCps.cpAt(0) != 0) return fail(damaged);
  if (doc_->props.empty() || doc_->styles.empty()) return fail(damaged);
  const auto validRuns = [&](const GMCpTable<uint32_t>& runs, uint32_t kind) {
    if (runs.empty() || runs.cpAt(0) != 0) return false;
    for (const auto& run : runs.entries())
      if (run.data >= doc_->props.size() || doc_->props[run.data].kind != kind) return false;
    return true;
  };
  if (!validRuns(doc_->charRuns, kPropChar) || !validRuns(doc_->paraRuns, kPropPara)) return fail(damaged);
  const auto validIndex = [&](uint32_t index, uint32_t kind) {
    return index < doc_->props.size() && doc_->props[index].kind == kind;
  };
  for (GMStyle& style : doc_->styles) {
    if (!validIndex(style.first, style.kind)) return fail(damaged);
    if (style.second != kGMNone && !validIndex(style.second, kPropChar)) style.second = kGMNone;
    if (style.kind == kPropPara && style.second == kGMNone) return fail(damaged);
    if (style.basedOn >= doc_->styles.size()) style.basedOn = kDefaultStyleRef;
    if (style.next >= doc_->styles.size()) style.next = kDefaultStyleRef;
  }
  if (doc_->styles[0].kind != kPropPara) return fail(damaged);
  for (uint32_t* index : {&doc_->defaultChapterProps, &doc_->defaultTableProps, &doc_->defaultListProps}) {
    if (*index != kGMNone && *index >= doc_->props.size()) *index = kGMNone;
  }
  doc_->knotNesting = {};
  return true;
}

}  // namespace

void CreateGlimmetXmlDecoder() {
  if (g_glimmetKeys) {
    READ_ASSERT("Already done");
    return;
  }
  auto table = std::make_shared<FLXmlKeyTable>();
  const auto add = [&](uint32_t key, const QString& tag) {
    table->insert(tag, key);
    if (key >= kFirstEncoderKey) AddEncoderKey(key, tag);
  };
  for (const FLXmlTagKey& entry : kGlimmetTags) add(entry.key, QString::fromLatin1(entry.tag));
  for (uint32_t i = 0; i < kColumnKeys; ++i) add(kFirstColumnKey + i, QStringLiteral("c%1").arg(i + 1));
  g_glimmetKeys = table;
  SetAtomXmlKeys([](const QString& tag) -> uint32_t { return g_glimmetKeys->value(tag, 0); });
}

bool GlimmetXmlDecoderExists() { return g_glimmetKeys != nullptr; }

QString GlimmetXmlTagForKey(uint32_t key) {
  const auto it = g_glimmetEncoderKeys.find(key);
  return it == g_glimmetEncoderKeys.end() ? QString() : it->second;
}

bool ReadV2XmlData(const QByteArray& data, GlimmetDoc* doc, QString* error) {
  if (error) error->clear();
  if (!g_glimmetKeys) {
    READ_ASSERT("Key decoder not created yet");
    CreateGlimmetXmlDecoder();
  }
  std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withData(data);
  if (!doc || !decoder) {
    if (error) *error = QString::fromUtf8(kGlimmetDamagedMessage);
    return false;
  }
  decoder->setKeyDecoder(g_glimmetKeys);
  NativeReader reader(doc, error);
  return reader.readV2Xml(*decoder) && reader.finish();
}

bool ReadNativeFile(const QString& path, GlimmetDoc* doc, QString* error) {
  if (error) error->clear();
  if (!g_glimmetKeys) {
    READ_ASSERT("Key decoder not created yet");
    CreateGlimmetXmlDecoder();
  }
  if (!doc) return false;
  const QString suffix = QFileInfo(path).suffix();
  if (suffix.compare(QLatin1String(kGlimmetPackageExtension), Qt::CaseInsensitive) == 0 ||
      suffix.compare(QLatin1String(kGlimmetAutosaveExtension), Qt::CaseInsensitive) == 0) {
    NativeReader reader(doc, error);
    return reader.readPackage(path) && reader.finish();
  }
  FLError readError;
  const std::optional<QByteArray> bytes = ReadRegularFile(path, kMaxGlimmetFileSize, &readError);
  if (!bytes) {
    if (error) *error = readError.code == ENOENT ? QString::fromUtf8(kGlimmetDamagedMessage) : readError.reason;
    return false;
  }
  return ReadV2XmlData(*bytes, doc, error);
}
