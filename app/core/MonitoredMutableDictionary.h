#pragma once
// A dictionary shared between threads that posts notifications when it changes: every
// access takes its lock; setting or merging values then posts, for each registered name,
// that notification with its registered object. Removals and the "NoNotify" setters post
// nothing. Notifications are posted after the lock is released, so observers may read it.
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NotificationCenter.h"
#include "platform/Value.h"

class MonitoredMutableDictionary {
  public:
    // Posts through `center`, the default centre when none is given.
    explicit MonitoredMutableDictionary(platform::NotificationCenter* center = nullptr);

    void setObject(platform::Value value, std::string_view key);
    void setObjectNoNotify(platform::Value value, std::string_view key);
    // Key-value setting: a null value removes the key.
    void setValue(platform::Value value, std::string_view key);
    void setValueNoNotify(platform::Value value, std::string_view key);
    void addEntriesFromDictionary(const platform::Dictionary& entries);
    void removeObjectForKey(std::string_view key);

    size_t count() const;
    // A snapshot of the keys, in order.
    std::vector<std::string> keyEnumerator() const;
    std::optional<platform::Value> objectForKey(std::string_view key) const;
    std::optional<platform::Value> valueForKey(std::string_view key) const { return objectForKey(key); }

    // Changes post `name` with `object`; one object per name.
    void addObserver(const void* object, std::string_view name);
    void removeObserver(std::string_view name);

    platform::Dictionary copy() const;
    // "{", one "key = value;" line per pair indented by `level` steps of four spaces, "}".
    std::string descriptionWithLocale(int level) const;

  private:
    void store(platform::Value value, std::string_view key);
    void doNotify();

    platform::NotificationCenter& center_;
    mutable std::mutex theLock_;
    platform::Dictionary dictionary_;
    std::map<std::string, const void*, std::less<>> notifications_;
};
