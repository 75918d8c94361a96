#pragma once
// The file-manager operations of the external-editor exchange: from a proxy file's name (the
// raw file's base name with an edit suffix or a copy mark) to the raw file in the search
// folder, and the emptying of a folder. The walks never follow links to folders.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// Lower-case extension -> priority; the lowest wins, an extension not in the table is 50.
using ExtensionPriorities = std::map<std::string, int64_t, std::less<>>;

// The document's table: raw extensions 0, "dng" 1, TIFF 98, proxies and side files 99.
ExtensionPriorities extensionPriorities();

// The raw base name a proxy name stands for: "IMG_1234_v2", "IMG_1234-1", "IMG_1234 2",
// "IMG_1234-edited" and "IMG_1234-edit" all give "IMG_1234" (letter case kept); none when
// the name carries no mark ("DSC01234") or the mark stands too early ("A-1").
std::optional<std::string> parseToBaseName(std::string_view name);

// The file below `folder` whose name without extension is `name` (ignoring case) and whose
// extension has the lowest priority below 99; none when there is none or `folder` is no
// folder. Folders whose names begin with "." are not searched, and a raw file (priority 0)
// ends the search. `skip` (when given) is never the answer.
std::optional<std::filesystem::path> searchDirectory(const std::filesystem::path& folder,
                                                     std::string_view name,
                                                     const ExtensionPriorities& priorities,
                                                     const std::filesystem::path& skip = {});

// The raw file for a proxy: the proxy's whole name first, then its parsed base name, so a
// raw file named like the proxy wins over one named like a shorter parse ("IMG_1234" parses
// to "IMG"). A TIFF found by the whole name gives way to a better file of the base name.
// The proxy itself is never the answer.
std::optional<std::filesystem::path> rawFileForProxy(const std::filesystem::path& searchFolder,
                                                     const std::filesystem::path& proxy,
                                                     const ExtensionPriorities& priorities);

// Removes everything inside `path` when it is a folder (links are removed, not followed);
// each failure is logged and the rest is removed all the same.
void cleanDirectory(const std::filesystem::path& path);

} // namespace app
