// Stand-ins for the loaders of the file formats not read yet (RTF, RTFD, HTML): each
// answers as for a type nothing reads. Delete a stand-in when
// its real loader arrives.
#include "calculator/model/CADocument.h"
#include "platform/FLError.h"

namespace {

bool NotReadYet(FLError* error) {
  SetUnrecognizedFileTypeError(error);
  return false;
}

}  // namespace

bool CADocument::loadRtfFile(const QString&, FLError* error) { return NotReadYet(error); }

bool CADocument::loadRtfdFile(const QString&, FLError* error) { return NotReadYet(error); }

bool CADocument::loadHtmlFile(const QString&, FLError* error) { return NotReadYet(error); }
