// The delegate's tests keep reopen lists and support folders in the user's folders.
#include "support/PrivateUserFolders.h"

namespace {
const PrivateUserFolders g_folders;
}  // namespace
