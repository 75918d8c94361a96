#include "app/core/MonitoredMutableDictionary.h"

#include <algorithm>
#include <utility>

using platform::Value;

MonitoredMutableDictionary::MonitoredMutableDictionary(platform::NotificationCenter* center)
    : center_(center ? *center : platform::NotificationCenter::defaultCenter()) {}

void MonitoredMutableDictionary::setObject(Value value, std::string_view key) {
    setObjectNoNotify(std::move(value), key);
    doNotify();
}

void MonitoredMutableDictionary::setObjectNoNotify(Value value, std::string_view key) {
    std::scoped_lock guard(theLock_);
    dictionary_[std::string(key)] = std::move(value);
}

void MonitoredMutableDictionary::setValue(Value value, std::string_view key) {
    store(std::move(value), key);
    doNotify();
}

void MonitoredMutableDictionary::setValueNoNotify(Value value, std::string_view key) {
    store(std::move(value), key);
}

void MonitoredMutableDictionary::store(Value value, std::string_view key) {
    std::scoped_lock guard(theLock_);
    if (value.isNull())
        dictionary_.erase(std::string(key));
    else
        dictionary_[std::string(key)] = std::move(value);
}

void MonitoredMutableDictionary::addEntriesFromDictionary(const platform::Dictionary& entries) {
    {
        std::scoped_lock guard(theLock_);
        for (const auto& [key, value] : entries)
            dictionary_[key] = value;
    }
    doNotify();
}

void MonitoredMutableDictionary::removeObjectForKey(std::string_view key) {
    std::scoped_lock guard(theLock_);
    dictionary_.erase(std::string(key));
}

size_t MonitoredMutableDictionary::count() const {
    std::scoped_lock guard(theLock_);
    return dictionary_.size();
}

std::vector<std::string> MonitoredMutableDictionary::keyEnumerator() const {
    std::scoped_lock guard(theLock_);
    std::vector<std::string> keys;
    keys.reserve(dictionary_.size());
    for (const auto& entry : dictionary_)
        keys.push_back(entry.first);
    return keys;
}

std::optional<Value> MonitoredMutableDictionary::objectForKey(std::string_view key) const {
    std::scoped_lock guard(theLock_);
    auto it = dictionary_.find(std::string(key));
    if (it == dictionary_.end()) return std::nullopt;
    return it->second;
}

void MonitoredMutableDictionary::addObserver(const void* object, std::string_view name) {
    std::scoped_lock guard(theLock_);
    notifications_[std::string(name)] = object;
}

void MonitoredMutableDictionary::removeObserver(std::string_view name) {
    std::scoped_lock guard(theLock_);
    if (auto it = notifications_.find(name); it != notifications_.end()) notifications_.erase(it);
}

platform::Dictionary MonitoredMutableDictionary::copy() const {
    std::scoped_lock guard(theLock_);
    return dictionary_;
}

std::string MonitoredMutableDictionary::descriptionWithLocale(int level) const {
    const std::string indent(size_t(std::max(level, 0)) * 4, ' ');
    std::string text = indent + "{\n";
    std::scoped_lock guard(theLock_);
    for (const auto& [key, value] : dictionary_)
        text += indent + "    " + key + " = " + value.stringValue() + ";\n";
    return text + indent + "}";
}

void MonitoredMutableDictionary::doNotify() {
    std::map<std::string, const void*, std::less<>> notifications;
    {
        std::scoped_lock guard(theLock_);
        notifications = notifications_;
    }
    for (const auto& [name, object] : notifications)
        center_.post(name, object);
}
