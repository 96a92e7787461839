// The file formats' side of the document's save dispatch, copy and paste: the writers by file
// type and the readers and selection writers that the model reaches through its services table.
// The application installs them at launch, before any document is saved or pasted into.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QString>

class CADocument;

void InstallFileFormatServices();

// The cells of the block as comma- (YES) or tab-separated lines, each as wide as the block,
// from the block's first row to the last row that exists within it.
QString DelimitedTextOfBlock(const CADocument& document, const GridRange& block, bool commas);
