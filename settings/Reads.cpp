#include "settings/Reads.h"

#include <atomic>
#include <string>

namespace settings {
namespace {

std::atomic<ReadWatcher*> watcher{nullptr};

} // namespace

void watchReads(ReadWatcher* w) { watcher.store(w, std::memory_order_release); }

const platform::Value* lookup(const platform::Dictionary& values, const Setting& setting) {
    if (ReadWatcher* w = watcher.load(std::memory_order_acquire)) w->settingRead(setting);
    const auto found = values.find(std::string(setting.key));
    return found == values.end() ? nullptr : &found->second;
}

float number(const platform::Dictionary& values, const Setting& setting, float fallback) {
    const platform::Value* value = lookup(values, setting);
    return value ? value->floatValue() : fallback;
}

bool flag(const platform::Dictionary& values, const Setting& setting) {
    const platform::Value* value = lookup(values, setting);
    return value && value->boolValue();
}

const platform::Dictionary* form(const platform::Dictionary& values, const Setting& setting) {
    const platform::Value* value = lookup(values, setting);
    return value ? value->dictionary() : nullptr;
}

} // namespace settings
