#include "calculator/model/caPackageWindow.h"

#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"

CAPackageWindow* PackageWindowOf(const CADocument& document) {
  // The window controller serves the model and the package as one object.
  return dynamic_cast<CAPackageWindow*>(document.controller());
}
