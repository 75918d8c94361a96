#pragma once
// A scratch folder for files a test writes, removed with everything in it at the end.
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // The names directly inside, in no particular order.
    std::vector<std::string> entries() const;

  private:
    std::filesystem::path path_;
};

} // namespace testsupport
