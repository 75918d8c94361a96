#pragma once
// A setting's value in a settings dictionary. The engine asks for its settings only through
// these, so a test can watch which settings each stage asks for.
#include "platform/Value.h"
#include "settings/Setting.h"

namespace settings {

// The stored value; null when the key is absent.
const platform::Value* lookup(const platform::Dictionary& values, const Setting& setting);
// The value as a number; the fallback when absent.
float number(const platform::Dictionary& values, const Setting& setting, float fallback = 0.0f);
// The value as a boolean; false when absent.
bool flag(const platform::Dictionary& values, const Setting& setting);
// A profile's property-list form; null when absent or not a dictionary.
const platform::Dictionary* form(const platform::Dictionary& values, const Setting& setting);

// Hears every read above, on the reading thread.
class ReadWatcher {
  public:
    virtual ~ReadWatcher() = default;
    virtual void settingRead(const Setting& setting) = 0;
};
// One watcher for the whole process, or none (null). Tests only: the watcher must outlive
// every read that may still be running when it is removed.
void watchReads(ReadWatcher* watcher);

} // namespace settings
