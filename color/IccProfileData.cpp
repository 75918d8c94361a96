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

std::optional<HeaderInfo> readHeader(const std::vector<uint8_t>& bytes) {
    installErrorHandler();
    if (bytes.size() < kHeaderBytes || bytes.size() > kMaxProfileBytes) return std::nullopt;
    cmsHPROFILE profile = cmsOpenProfileFromMem(bytes.data(), cmsUInt32Number(bytes.size()));
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

std::optional<std::vector<uint8_t>> readFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) {
        LV_LOG("%s not a profile file: %s", __PRETTY_FUNCTION__, path.c_str());
        return std::nullopt;
    }
    const uint64_t size = std::filesystem::file_size(path, ec);
    if (ec || size < kHeaderBytes || size > kMaxProfileBytes) {
        LV_LOG("%s unreadable or implausible size: %s", __PRETTY_FUNCTION__, path.c_str());
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(size);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size))) {
        LV_LOG("%s read failed: %s", __PRETTY_FUNCTION__, path.c_str());
        return std::nullopt;
    }
    return bytes;
}

} // namespace icc
