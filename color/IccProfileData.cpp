#include "color/IccProfileData.h"

#include <lcms2.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <system_error>

#include "platform/Log.h"

namespace icc {
namespace {

// Far beyond any real profile; keeps a hostile file from costing memory.
constexpr uint64_t kMaxProfileBytes = 64ull << 20;
constexpr size_t kHeaderBytes = 128;

void logLcmsError(cmsContext, cmsUInt32Number code, const char* text) {
    LV_LOG("%s lcms error %u: %s", __PRETTY_FUNCTION__, unsigned(code), text ? text : "");
}

} // namespace

void installErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] { cmsSetLogErrorHandler(logLcmsError); });
}

namespace {

std::optional<HeaderInfo> headerOf(cmsHPROFILE profile) {
    if (!profile) return std::nullopt;
    HeaderInfo info;
    info.classType = uint32_t(cmsGetDeviceClass(profile));
    info.spaceType = uint32_t(cmsGetColorSpace(profile));
    info.intent = cmsGetHeaderRenderingIntent(profile);
    char text[1024] = {};
    if (cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text) > 0)
        info.description.assign(text, strnlen(text, sizeof text));
    cmsCloseProfile(profile);
    return info;
}

bool plausibleFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
        LV_LOG("%s not a profile file: %s", __PRETTY_FUNCTION__, path.c_str());
        return false;
    }
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec || size < kHeaderBytes || size > kMaxProfileBytes) {
        LV_LOG("%s unreadable or implausible size: %s", __PRETTY_FUNCTION__, path.c_str());
        return false;
    }
    return true;
}

} // namespace

std::optional<HeaderInfo> readHeader(const std::vector<uint8_t>& bytes) {
    installErrorHandler();
    if (bytes.size() < kHeaderBytes || bytes.size() > kMaxProfileBytes) return std::nullopt;
    return headerOf(cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size())));
}

std::optional<HeaderInfo> readFileHeader(const std::filesystem::path& path) {
    installErrorHandler();
    // Little CMS reads only the header and the description tag from the file.
    return plausibleFile(path) ? headerOf(cmsOpenProfileFromFile(path.c_str(), "r")) : std::nullopt;
}

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path) {
    if (!plausibleFile(path)) return std::nullopt;
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxProfileBytes) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(size);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size))) {
        LV_LOG("%s read failed: %s", __PRETTY_FUNCTION__, path.c_str());
        return std::nullopt;
    }
    return bytes;
}

} // namespace icc
