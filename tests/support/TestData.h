// Locates files under tests/data, the fixtures and independent vectors that tests read.
#pragma once

#include <QString>

inline QString TestDataPath(const QString& relative) {
  return QStringLiteral(TAMSEL_TEST_DATA_DIR "/") + relative;
}
