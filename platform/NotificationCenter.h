#pragma once
// Notifications by name: a poster names what happened and who sent it; observers registered
// for that name and/or sender are called on the posting thread, or on a queue of their choice.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DispatchQueue.h"
#include "platform/Value.h"

namespace platform {

struct Notification {
    std::string name;
    const void* object = nullptr; // the sender, only ever compared
    Dictionary userInfo;
};

struct ObserverToken {
    uint64_t id = 0;
    explicit operator bool() const { return id != 0; }
    bool operator==(const ObserverToken&) const = default;
};

class NotificationCenter {
  public:
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // An empty name matches every name, a null object every sender. With a queue, the
    // callback runs there later; the queue must outlive the registration.
    ObserverToken addObserver(std::string_view name, const void* object, Callback callback,
                              DispatchQueue* queue = nullptr);
    // Once this returns the callback does not run again, and no call of it is still running
    // on another thread (it may be removing itself from inside its own call).
    void removeObserver(ObserverToken token);
    void post(std::string_view name, const void* object = nullptr, Dictionary userInfo = {});

  private:
    struct Observer;
    static void deliver(Observer& observer, const Notification& notification);

    std::mutex lock_;
    uint64_t nextId_ = 1;
    std::vector<std::shared_ptr<Observer>> observers_;
};

} // namespace platform
