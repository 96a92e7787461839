// The plug-in model's record of live instances by factory, which tells a host when the plug-in
// may be unloaded. Lives in the plug-in, so the plug-in needs nothing of its host but the
// attribute dictionary.
#pragma once

#include "importer/MDImporterPlugIn.h"

void MDPlugInAddInstanceForFactory(const MDUUIDBytes& factoryID);
void MDPlugInRemoveInstanceForFactory(const MDUUIDBytes& factoryID);
