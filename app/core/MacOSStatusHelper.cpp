#include "app/core/MacOSStatusHelper.h"

#include <array>
#include <cctype>
#include <cstring>

#include "platform/Log.h"

namespace {

struct StatusText {
    int32_t status;
    const char* name;
    const char* comment;
};

constexpr int32_t kDuplicateKeychain = -25296;

// The status codes the program reports itself: a document cannot be saved (-4), and the
// keychain's duplicate, which has a text of its own.
constexpr std::array<StatusText, 3> kStatusTexts{{
    {0, "noErr", "No error"},
    {-4, "unimpErr", "Unimplemented core routine"},
    {kDuplicateKeychain, "errSecDuplicateKeychain", "A keychain with the same name already exists."},
}};

const StatusText* find(int32_t status) {
    for (const auto& entry : kStatusTexts)
        if (entry.status == status) return &entry;
    return nullptr;
}

std::string statusName(int32_t status) {
    if (const StatusText* entry = find(status)) return entry->name;
    if (status > 0) {
        const char* name = strerrorname_np(status);
        if (name) return name;
    }
    return {};
}

std::string statusComment(int32_t status) {
    if (const StatusText* entry = find(status)) return entry->comment;
    if (status > 0 && strerrorname_np(status)) return std::strerror(status);
    return {};
}

std::string withPrefix(std::string text, MacOSStatusHelper::Prefix prefix) {
    if (text.empty()) text = "Unknown Error";
    return prefix ? std::string(*prefix) + text : text;
}

} // namespace

std::string MacOSStatusHelper::getErrorString(int32_t status, Prefix prefix) {
    return withPrefix(status == kDuplicateKeychain ? "Keychain already exists" : statusName(status), prefix);
}

std::string MacOSStatusHelper::getErrorDescription(int32_t status, Prefix prefix) {
    std::string comment = statusComment(status);
    size_t first = 0;
    while (first < comment.size() && !std::isalpha(static_cast<unsigned char>(comment[first])))
        ++first;
    return withPrefix(comment.substr(first), prefix);
}

std::string MacOSStatusHelper::getLogString(int32_t status, const char* calledFunction, Prefix prefix) {
    std::string text(prefix ? *prefix : "Application Error ");
    text += calledFunction ? calledFunction : "";
    return text + " " + getErrorString(status) + ": " + getErrorDescription(status);
}

void MacOSStatusHelper::outputLogString(int32_t status, const char* calledFunction) {
    if (status == 0) return;
    LV_LOG("%s", getLogString(status, calledFunction).c_str());
}
