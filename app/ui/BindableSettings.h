#pragma once
// What the window's controls need of a document's settings: read a key, set it (the document
// applies it as a user's change), and hear when it changes from anywhere else.
#include <functional>
#include <string_view>

#include "platform/Value.h"

class BindableSettings {
  public:
    virtual ~BindableSettings() = default;
    virtual platform::Value settingValue(std::string_view key) const = 0;
    virtual void setSettingValue(std::string_view key, const platform::Value& value) = 0;
    // The callback runs on the main thread after the key changed; the token ends it.
    virtual int observeSetting(std::string_view key, std::function<void()> changed) = 0;
    virtual void stopObserving(int token) = 0;
};
