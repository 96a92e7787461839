// The size tip's text, apart from the model's headers: the measure formatter and the model each
// name the EMU per point.
#include "calculator/views/caSheetLabels.h"
#include "framlet/shell/flMeasures.h"

QString SizeTipText(int64_t value, int32_t unitCode) { return FormatMeasureCore(value, 2, false, true, unitCode); }
