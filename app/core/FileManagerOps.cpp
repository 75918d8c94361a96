#include "app/core/FileManagerOps.h"

#include <system_error>
#include <vector>

#include "app/core/AppFiles.h"
#include "app/core/AppTables.h"
#include "platform/Log.h"

namespace fs = std::filesystem;

namespace app {
namespace {

constexpr int64_t kUnknownPriority = 50;
constexpr int64_t kTiffPriority = 98;
constexpr int64_t kNeverChosen = 99;

bool hasEditSuffix(std::string_view name) {
    const std::string lower = lowercase(name);
    return lower.ends_with("-edit") || lower.ends_with(".edit");
}

int64_t priorityOf(const fs::path& file, const ExtensionPriorities& priorities) {
    auto it = priorities.find(lowercaseExtension(file));
    return it == priorities.end() ? kUnknownPriority : it->second;
}

// The text before a copy or version mark, scanning from the end: digits, optionally behind
// a "v", after a blank or "_"; or digits or other text after a "-".
std::optional<std::string> textBeforeMark(std::string_view name) {
    enum State { Nothing, Digits, Other, Version } state = Nothing;
    for (size_t i = name.size(); i-- > 0;) {
        const char c = name[i];
        if (c >= '0' && c <= '9') {
            if (state == Other || state == Version) return std::nullopt;
            state = Digits;
        } else if (c == 'v' || c == 'V') {
            state = state == Digits ? Version : Other;
        } else if (c == ' ' || c == '_' || c == '-') {
            const bool marked =
                c == '-' ? (state == Digits || state == Other) : (state == Digits || state == Version);
            if (!marked || i < 2) return std::nullopt;
            return std::string(name.substr(0, i));
        } else {
            state = Other;
        }
    }
    return std::nullopt;
}

void logMatch(std::string_view name, const fs::path& entry, int64_t priority, const fs::path& best,
              int64_t bestPriority) {
    LV_LOG("%s 1 : %.*s %s %lld", __PRETTY_FUNCTION__, int(name.size()), name.data(), entry.c_str(),
           (long long)priority);
    LV_LOG("%s 2 : %s %i", __PRETTY_FUNCTION__, best.c_str(), int(bestPriority));
}

// Children first, so a folder is empty when its turn comes; a link is an entry of its own.
void removeContents(const fs::path& folder) {
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    if (ec) LV_LOG("cleanDirectory oops: %s: %s", folder.c_str(), ec.message().c_str());
    for (const fs::path& entry : entries) {
        std::error_code typeEc;
        if (fs::symlink_status(entry, typeEc).type() == fs::file_type::directory) removeContents(entry);
        if (!fs::remove(entry, ec))
            LV_LOG("cleanDirectory oops: %s: %s", entry.c_str(), ec.message().c_str());
    }
}

} // namespace

ExtensionPriorities extensionPriorities() {
    ExtensionPriorities table;
    for (std::string_view ext : rawExtensions())
        table.emplace(ext, 0);
    table["dng"] = 1;
    for (const char* ext : {"tiff", "tif"})
        table[ext] = kTiffPriority;
    for (const char* ext :
         {"jpeg", "jpg", "png", "bmp", "xml", "xmp", "bak", "cof", "cop", "cos", "txt", "db", "vg"})
        table[ext] = kNeverChosen;
    return table;
}

std::optional<std::string> parseToBaseName(std::string_view name) {
    std::optional<std::string> candidate = hasEditSuffix(name) ? std::string(name) : textBeforeMark(name);
    if (candidate && hasEditSuffix(*candidate)) candidate->resize(candidate->size() - 5);
    // "-edit" alone leaves nothing to look for.
    if (candidate && candidate->empty()) return std::nullopt;
    return candidate;
}

std::optional<fs::path> searchDirectory(const fs::path& folder, std::string_view name,
                                        const ExtensionPriorities& priorities, const fs::path& skip) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return std::nullopt;
    const std::string wanted = lowercase(name);
    std::optional<fs::path> best;
    int64_t bestPriority = kNeverChosen;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end && bestPriority > 0; it.increment(ec)) {
        const fs::path& entry = it->path();
        std::error_code typeEc;
        // A link to a folder counts as a folder, and the walk does not go into it.
        if (it->is_directory(typeEc)) {
            if (entry.filename().string().starts_with('.')) it.disable_recursion_pending();
            continue;
        }
        if (lowercase(entry.stem().string()) != wanted) continue;
        if (!skip.empty() && fs::equivalent(entry, skip, typeEc)) continue;
        const int64_t priority = priorityOf(entry, priorities);
        if (priority < bestPriority) {
            best = entry;
            bestPriority = priority;
        }
        logMatch(name, entry, priority, best.value_or(fs::path()), bestPriority);
    }
    if (ec) LV_LOG("%s %s: %s", __PRETTY_FUNCTION__, folder.c_str(), ec.message().c_str());
    return best;
}

std::optional<fs::path> rawFileForProxy(const fs::path& searchFolder, const fs::path& proxy,
                                        const ExtensionPriorities& priorities) {
    const std::string proxyName = proxy.stem().string();
    auto whole = searchDirectory(searchFolder, proxyName, priorities, proxy);
    if (whole && priorityOf(*whole, priorities) < kTiffPriority) return whole;
    auto base = parseToBaseName(proxyName);
    auto parsed = base ? searchDirectory(searchFolder, *base, priorities, proxy) : std::nullopt;
    if (parsed && (!whole || priorityOf(*parsed, priorities) < priorityOf(*whole, priorities))) return parsed;
    return whole;
}

void cleanDirectory(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) removeContents(path);
}

} // namespace app
