#pragma once
// A fresh $LUMIVAR_HOME per test, so nothing touches the user's own folders; the
// standard user defaults start empty in it.
#include <filesystem>
#include <string>

namespace testsupport {

class TempHome {
  public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

} // namespace testsupport
