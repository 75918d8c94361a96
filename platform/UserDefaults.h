#pragma once
// The user's preferences: values stored by the program over the defaults it registers at
// start (registration domain, never stored). Stored values live in "Lumivar.plist" in the
// config folder, read on first use and written whenever a stored value changes, so that a
// flag set before a crash is there at the next launch.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "platform/NotificationCenter.h"
#include "platform/Value.h"

namespace platform {

class UserDefaults {
  public:
    using Observer = std::function<void(const Value& oldValue, const Value& newValue)>;

    static UserDefaults& standard();
    // Writes what is pending and forgets the standard defaults' values and registrations;
    // the next use reads the file of the config folder as it is then ($LUMIVAR_HOME in tests).
    static void resetStandardUserDefaults();

    // Defaults kept in `file`; empty means "Lumivar.plist" in the config folder.
    explicit UserDefaults(std::filesystem::path file = {});
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    void registerDefaults(const Dictionary& defaults);

    // The stored value, else the registered one; null when neither exists.
    Value objectForKey(std::string_view key) const;
    // Strings as they are, numbers as text; nothing for other kinds.
    std::optional<std::string> stringForKey(std::string_view key) const;
    // Numbers and number-like strings ("YES", "4") converted; 0 / false when absent.
    bool boolForKey(std::string_view key) const;
    int64_t integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    std::optional<Dictionary> dictionaryForKey(std::string_view key) const;
    std::optional<Array> arrayForKey(std::string_view key) const;

    // A null value removes the key.
    void setObject(Value value, std::string_view key);
    void setBool(bool value, std::string_view key) { setObject(Value(value), key); }
    void setInteger(int64_t value, std::string_view key) { setObject(Value(value), key); }
    void setDouble(double value, std::string_view key) { setObject(Value(value), key); }
    void removeObjectForKey(std::string_view key) { setObject(Value(), key); }

    // Writes the stored values if an earlier write failed; false when the file cannot be written.
    bool synchronize(Error* error = nullptr);

    // Called on the changing thread when the value objectForKey(key) gives changes.
    ObserverToken addObserver(std::string_view key, Observer observer);
    void removeObserver(ObserverToken token);

  private:
    struct Change {
        std::string key;
        Value oldValue, newValue;
    };
    void loadLocked() const;
    Value effectiveLocked(const std::string& key) const;
    bool saveLocked(Error* error);
    void announce(const std::vector<Change>& changes);
    void reset();

    mutable std::mutex lock_;
    const std::filesystem::path requestedFile_;
    mutable std::filesystem::path file_;
    mutable bool loaded_ = false;
    mutable Dictionary stored_;
    Dictionary registered_;
    bool unsaved_ = false;
};

} // namespace platform
