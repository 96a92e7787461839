#include "calculator/model/caXmlTags.h"

#include <QHash>

#include <string>

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

constexpr std::array<QLatin1StringView, kXmlLastTag + 1> NamesByKey() {
  std::array<QLatin1StringView, kXmlLastTag + 1> names{};
  names[0] = QLatin1StringView("", qsizetype(0));
  // A key's first name is the one written (key 20 reads "100s" as well).
  for (const FLXmlTagKey& entry : kTags)
    if (names[size_t(entry.key)].isNull())
      names[size_t(entry.key)] = QLatin1StringView(entry.tag, qsizetype(std::char_traits<char>::length(entry.tag)));
  return names;
}

const QHash<QString, int32_t>& KeysByName() {
  static const QHash<QString, int32_t> table = [] {
    QHash<QString, int32_t> t;
    for (const FLXmlTagKey& entry : kTags) t.insert(QString::fromLatin1(entry.tag), int32_t(entry.key));
    return t;
  }();
  return table;
}

}  // namespace

constexpr std::array<QLatin1StringView, kXmlLastTag + 1> g_xmlTagNames = NamesByKey();

std::span<const FLXmlTagKey> SpreadsheetXmlTags() { return kTags; }

const char* XmlTagName(CAXmlTag tag) { return XmlName(tag).data(); }

CAXmlTag XmlTagOf(const FLXmlDecoder& decoder) {
  const int32_t key = decoder.key();
  if (key >= 1 && key <= kXmlLastTag) {
    // A decoder carrying another vocabulary's table gives keys that mean something else.
    // The spreadsheet's own readers allow numeric tags, and take the key whatever the name:
    // told first, it spares a comparison of names for every tag they read.
    if (decoder.allowNumericTags() || decoder.xmlTag() == g_xmlTagNames[size_t(key)] ||
        (key == kXmlHundredths && decoder.xmlTag() == QLatin1String("100s")))
      return CAXmlTag(key);
  }
  return CAXmlTag(KeysByName().value(decoder.xmlTag(), kXmlUnknownTag));
}
