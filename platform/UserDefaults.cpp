#include "platform/UserDefaults.h"

#include "platform/Log.h"
#include "platform/Notifications.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

namespace platform {

UserDefaults& UserDefaults::standard() {
    static auto* defaults = new UserDefaults(); // leaked, as the other process-wide services
    return *defaults;
}

void UserDefaults::resetStandardUserDefaults() { standard().reset(); }

UserDefaults::UserDefaults(std::filesystem::path file) : requestedFile_(std::move(file)) {}

void UserDefaults::reset() {
    std::lock_guard<std::mutex> guard(lock_);
    if (loaded_ && unsaved_) saveLocked(nullptr);
    loaded_ = false;
    unsaved_ = false;
    stored_.clear();
    registered_.clear();
}

void UserDefaults::loadLocked() const {
    if (loaded_) return;
    loaded_ = true;
    file_ = requestedFile_.empty() ? paths::config() / "Lumivar.plist" : requestedFile_;
    stored_.clear();
    if (!std::filesystem::exists(file_)) return;
    Value root;
    Error error;
    if (!readPlistFile(file_, root, &error) || !root.isDictionary()) {
        // Unreadable preferences are replaced at the next change rather than blocking the program.
        LV_LOG("%s Warning: ignoring the user defaults in %s: %s", __PRETTY_FUNCTION__, file_.c_str(),
               error.failureReason.empty() ? "not a dictionary" : error.failureReason.c_str());
        return;
    }
    stored_ = std::move(*root.dictionary());
}

Value UserDefaults::effectiveLocked(const std::string& key) const {
    if (auto it = stored_.find(key); it != stored_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return Value();
}

bool UserDefaults::saveLocked(Error* error) {
    paths::ensure(file_.parent_path());
    Error failure;
    unsaved_ = !writePlistFile(file_, Value(stored_), &failure);
    if (!unsaved_) return true;
    LV_LOG("%s Error: could not write the user defaults: %s", __PRETTY_FUNCTION__,
           failure.failureReason.c_str());
    return fail(error, std::move(failure));
}

void UserDefaults::announce(const std::vector<Change>& changes) {
    for (const auto& c : changes) {
        Dictionary info{{"key", c.key}};
        if (!c.oldValue.isNull()) info["old"] = c.oldValue;
        if (!c.newValue.isNull()) info["new"] = c.newValue;
        NotificationCenter::defaultCenter().post(notification::UserDefaultsDidChange, this, std::move(info));
    }
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    std::vector<Change> changes;
    {
        std::lock_guard<std::mutex> guard(lock_);
        loadLocked();
        for (const auto& [key, value] : defaults) {
            Value before = effectiveLocked(key);
            if (value.isNull())
                registered_.erase(key);
            else
                registered_[key] = value;
            Value after = effectiveLocked(key);
            if (!(before == after)) changes.push_back({key, std::move(before), std::move(after)});
        }
    }
    announce(changes);
}

void UserDefaults::setObject(Value value, std::string_view key) {
    std::string k(key);
    std::vector<Change> changes;
    {
        std::lock_guard<std::mutex> guard(lock_);
        loadLocked();
        auto it = stored_.find(k);
        bool same = value.isNull() ? it == stored_.end() : (it != stored_.end() && it->second == value);
        if (same) return;
        Value before = effectiveLocked(k);
        if (value.isNull())
            stored_.erase(it);
        else
            stored_[k] = std::move(value);
        saveLocked(nullptr);
        Value after = effectiveLocked(k);
        if (!(before == after)) changes.push_back({k, std::move(before), std::move(after)});
    }
    announce(changes);
}

bool UserDefaults::synchronize(Error* error) {
    std::lock_guard<std::mutex> guard(lock_);
    loadLocked();
    return !unsaved_ || saveLocked(error);
}

Value UserDefaults::objectForKey(std::string_view key) const {
    std::lock_guard<std::mutex> guard(lock_);
    loadLocked();
    return effectiveLocked(std::string(key));
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
    Value v = objectForKey(key);
    if (v.isString() || v.isNumber()) return v.stringValue();
    return std::nullopt;
}

bool UserDefaults::boolForKey(std::string_view key) const { return objectForKey(key).boolValue(); }

int64_t UserDefaults::integerForKey(std::string_view key) const { return objectForKey(key).int64Value(); }

double UserDefaults::doubleForKey(std::string_view key) const { return objectForKey(key).doubleValue(); }

std::optional<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
    Value v = objectForKey(key);
    if (auto* d = v.dictionary()) return std::move(*d);
    return std::nullopt;
}

std::optional<Array> UserDefaults::arrayForKey(std::string_view key) const {
    Value v = objectForKey(key);
    if (auto* a = v.array()) return std::move(*a);
    return std::nullopt;
}

ObserverToken UserDefaults::addObserver(std::string_view key, Observer observer) {
    auto callback = [key = std::string(key), observer = std::move(observer)](const Notification& n) {
        const Value* changed = n.userInfo.count("key") ? &n.userInfo.at("key") : nullptr;
        if (!changed || changed->stringValue() != key) return;
        auto value = [&](const char* name) { return n.userInfo.count(name) ? n.userInfo.at(name) : Value(); };
        observer(value("old"), value("new"));
    };
    return NotificationCenter::defaultCenter().addObserver(notification::UserDefaultsDidChange, this,
                                                           std::move(callback));
}

void UserDefaults::removeObserver(ObserverToken token) {
    NotificationCenter::defaultCenter().removeObserver(token);
}

} // namespace platform
