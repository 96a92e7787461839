#include "calculator/model/caXmlTags.h"

#include <QHash>

#include <vector>

namespace {

constexpr FLXmlTagKey kTags[] = {
    {1, "active"},     {2, "align"},      {3, "app_ver"},   {4, "back_color"},
    {5, "bold"},       {6, "style"},      {7, "border"},    {8, "cells"},
    {9, "cell"},       {10, "color"},     {11, "cols"},     {12, "col"},
    {13, "constrain"}, {14, "digits"},    {15, "spreadsheet"}, {16, "fillpage"},
    {17, "font_size"}, {18, "font"},      {19, "order"},    {20, "hunds"},
    {20, "100s"},      {21, "fraction"},  {22, "month"},    {23, "neg"},
    {24, "nosn"},      {25, "nosep"},     {26, "size"},     {27, "omitday"},
    {28, "pad_dm"},    {29, "fp"},        {30, "sigdigits"}, {31, "thous"},
    {32, "trad"},      {33, "weekday"},   {34, "format"},   {35, "year"},
    {36, "zero"},      {37, "f"},         {38, "frame"},    {39, "id"},
    {40, "inactive"},  {41, "hoffset"},   {42, "dy"},       {43, "italic"},
    {44, "disp"},      {45, "backup"},    {46, "margin_b"}, {47, "margin_l"},
    {48, "margin_r"},  {49, "margin_t"},  {50, "maxpoint"}, {51, "minhigh"},
    {52, "note"},      {53, "num_fmt"},   {54, "onlyOcc"},  {55, "pad"},
    {56, "pic"},       {57, "pix"},       {58, "footer"},   {59, "grid"},
    {60, "header"},    {61, "print"},     {62, "labels"},   {63, "redform"},
    {64, "row"},       {65, "row_height"}, {66, "rows"},    {67, "scale"},
    {68, "scroll"},    {69, "sel"},       {70, "short_"},   {71, "breaks"},
    {72, "formulas"},  {73, "source"},    {74, "strike"},   {75, "stripe"},
    {76, "noPreview"}, {77, "sym"},       {78, "sys_ver"},  {79, "titleCol"},
    {80, "titleRow"},  {81, "type"},      {82, "under"},    {83, "val"},
    {84, "ver"},       {85, "width"},     {86, "x"},        {87, "y"},
    {88, "zoom"},      {89, "separators"},
};

const QHash<QString, int32_t>& KeysByName() {
  static const QHash<QString, int32_t> table = [] {
    QHash<QString, int32_t> t;
    for (const FLXmlTagKey& entry : kTags) t.insert(QString::fromLatin1(entry.tag), int32_t(entry.key));
    return t;
  }();
  return table;
}

}  // namespace

std::span<const FLXmlTagKey> SpreadsheetXmlTags() { return kTags; }

const char* XmlTagName(CAXmlTag tag) {
  if (tag < 1 || tag > kXmlLastTag) return "";
  // The table runs in key order with the second name of key 20 after its first.
  return kTags[tag <= kXmlHundredths ? tag - 1 : tag].tag;
}

CAXmlTag XmlTagOf(const FLXmlDecoder& decoder) {
  const int32_t key = decoder.key();
  if (key >= 1 && key <= kXmlLastTag) {
    // The names with their lengths, measured once: this runs for every tag read.
    static const std::vector<QLatin1StringView> names = [] {
      std::vector<QLatin1StringView> list(size_t(kXmlLastTag) + 1);
      for (int32_t tag = 1; tag <= kXmlLastTag; ++tag) list[size_t(tag)] = QLatin1StringView(XmlTagName(CAXmlTag(tag)));
      return list;
    }();
    // A decoder carrying another vocabulary's table gives keys that mean something else.
    if (decoder.xmlTag() == names[size_t(key)] ||
        (key == kXmlHundredths && decoder.xmlTag() == QLatin1String("100s")) ||
        decoder.allowNumericTags())
      return CAXmlTag(key);
  }
  return CAXmlTag(KeysByName().value(decoder.xmlTag(), kXmlUnknownTag));
}
