// The window the native package reads and writes through is model vocabulary: it lives with the
// document-level XML in the model.
#pragma once

#include "calculator/model/caPackageWindow.h"
