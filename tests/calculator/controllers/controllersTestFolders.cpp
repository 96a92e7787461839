// The application controller's tests keep preferences, reopen lists and autosaves in the user's folders.
#include "support/PrivateUserFolders.h"

namespace {
const PrivateUserFolders g_folders;
}  // namespace
