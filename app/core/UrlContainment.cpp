#include "app/core/UrlContainment.h"

#include <strings.h>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace app {
namespace {

std::vector<std::string> components(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    std::vector<std::string> parts;
    for (const auto& part : absolute.lexically_normal())
        if (!part.empty()) parts.push_back(part.string());
    return parts;
}

// R is an ancestor (or, when allowed, the same) of O when each of its components matches.
bool prefixOf(const fs::path& folder, const fs::path& other, bool allowSame) {
    const auto r = components(folder), o = components(other);
    if (r.size() > o.size() || (!allowSame && r.size() == o.size())) return false;
    for (size_t i = 0; i < r.size(); ++i)
        if (strcasecmp(r[i].c_str(), o[i].c_str()) != 0) return false;
    return true;
}

} // namespace

bool containsURL(const fs::path& folder, const fs::path& other) { return prefixOf(folder, other, false); }

bool containsOrIsURL(const fs::path& folder, const fs::path& other) { return prefixOf(folder, other, true); }

} // namespace app
