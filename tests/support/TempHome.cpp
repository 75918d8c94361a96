#include "tests/support/TempHome.h"

#include <cstdlib>
#include <stdexcept>

#include "platform/UserDefaults.h"

namespace testsupport {

TempHome::TempHome() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lumivar-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    if (const char* prev = std::getenv("LUMIVAR_HOME")) {
        previous_ = prev;
        hadPrevious_ = true;
    }
    setenv("LUMIVAR_HOME", path_.c_str(), 1);
    // The shared defaults are read again from the new home when next used.
    platform::UserDefaults::resetStandardUserDefaults();
}

TempHome::~TempHome() {
    platform::UserDefaults::resetStandardUserDefaults();
    if (hadPrevious_)
        setenv("LUMIVAR_HOME", previous_.c_str(), 1);
    else
        unsetenv("LUMIVAR_HOME");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace testsupport
