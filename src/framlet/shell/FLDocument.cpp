#include "framlet/shell/FLDocument.h"

// Out of line so that the class's vtable has one home.
FLDocument::~FLDocument() = default;
