#include "platform/Paths.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace platform::paths {
namespace fs = std::filesystem;

namespace {

const char* env(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

fs::path home() {
    if (const char* h = env("HOME")) return h;
    return fs::temp_directory_path();
}

fs::path lumivarHome() {
    const char* h = env("LUMIVAR_HOME");
    return h ? fs::path(h) : fs::path();
}

} // namespace

fs::path applicationSupport() {
    if (auto h = lumivarHome(); !h.empty()) return h / "data";
    if (const char* x = env("XDG_DATA_HOME")) return fs::path(x) / "Lumivar";
    return home() / ".local" / "share" / "Lumivar";
}

fs::path config() {
    if (auto h = lumivarHome(); !h.empty()) return h / "config";
    if (const char* x = env("XDG_CONFIG_HOME")) return fs::path(x) / "Lumivar";
    return home() / ".config" / "Lumivar";
}

fs::path temporary() {
    if (auto h = lumivarHome(); !h.empty()) return h / "tmp";
    const char* t = env("TMPDIR");
    fs::path base = t ? fs::path(t) : fs::path("/var/tmp");
    return base / ("Lumivar-" + std::to_string(::getuid()));
}

fs::path ensure(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    return folder;
}

} // namespace platform::paths
