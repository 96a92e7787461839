// The platform's reading of a number at the start of a text, which archives, preferences and
// files were always read with: leading white space, an optional sign, then digits up to the first
// other character.
#pragma once

#include <QStringView>

#include <cstdint>

// The leading integer of a text, held at the 64-bit range; 0 when there are no digits. Only the
// ASCII digits count.
int64_t LeadingInteger(QStringView text);
