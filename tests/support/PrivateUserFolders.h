// Gives a test process user folders of its own (XDG data, config and state under a fresh
// temporary folder), for tests of code that keeps files in the standard places: ctest runs the
// cases of one program as parallel processes, which would otherwise share them. Define one
// instance at namespace scope in the test program, so the folders are set before main().
#pragma once

#include <QByteArray>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

class PrivateUserFolders {
 public:
  PrivateUserFolders() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tamsel-folders-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    root_ = pattern;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
      const std::string folder = root_ + "/" + name;
      std::filesystem::create_directories(folder);
      setenv(name, folder.c_str(), 1);
    }
  }
  ~PrivateUserFolders() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  PrivateUserFolders(const PrivateUserFolders&) = delete;
  PrivateUserFolders& operator=(const PrivateUserFolders&) = delete;

 private:
  std::string root_;
};
