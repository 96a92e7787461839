// Lengths are kept in EMU, whole numbers that points and inches both divide.
#pragma once

#include <cstdint>

inline constexpr int64_t kEmuPerPoint = 12700;
inline constexpr int64_t kEmuPerInch = 914400;
