#include "platform/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <thread>

namespace platform {

struct NotificationCenter::Observer {
    uint64_t id;
    std::string name;
    const void* object;
    Callback callback;
    DispatchQueue* queue;

    // Calls in progress, by thread, so that removal can wait for the other threads' calls.
    std::mutex callLock;
    std::condition_variable callEnded;
    std::vector<std::thread::id> callers;
    bool removed = false;

    bool matches(std::string_view n, const void* o) const {
        return (name.empty() || name == n) && (!object || object == o);
    }
};

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter(); // leaked: posts may come during exit
    return *center;
}

ObserverToken NotificationCenter::addObserver(std::string_view name, const void* object, Callback callback,
                                              DispatchQueue* queue) {
    auto observer = std::make_shared<Observer>();
    observer->name = std::string(name);
    observer->object = object;
    observer->callback = std::move(callback);
    observer->queue = queue;
    std::lock_guard<std::mutex> guard(lock_);
    observer->id = nextId_++;
    observers_.push_back(observer);
    return {observer->id};
}

void NotificationCenter::removeObserver(ObserverToken token) {
    std::shared_ptr<Observer> observer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto it =
            std::find_if(observers_.begin(), observers_.end(), [&](auto& o) { return o->id == token.id; });
        if (it == observers_.end()) return;
        observer = *it;
        observers_.erase(it);
    }
    auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(observer->callLock);
    observer->removed = true;
    observer->callEnded.wait(guard, [&] {
        return std::all_of(observer->callers.begin(), observer->callers.end(),
                           [&](auto id) { return id == self; });
    });
}

void NotificationCenter::deliver(Observer& observer, const Notification& notification) {
    auto self = std::this_thread::get_id();
    {
        std::lock_guard<std::mutex> guard(observer.callLock);
        if (observer.removed) return;
        observer.callers.push_back(self);
    }
    struct EndCall {
        Observer& o;
        std::thread::id self;
        ~EndCall() {
            std::lock_guard<std::mutex> guard(o.callLock);
            o.callers.erase(std::find(o.callers.begin(), o.callers.end(), self));
            o.callEnded.notify_all();
        }
    } endCall{observer, self};
    observer.callback(notification);
}

void NotificationCenter::post(std::string_view name, const void* object, Dictionary userInfo) {
    // Observers are picked under the lock and called outside it, so callbacks may add and
    // remove observers; one added during a post does not receive it.
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& o : observers_)
            if (o->matches(name, object)) targets.push_back(o);
    }
    if (targets.empty()) return;
    auto notification =
        std::make_shared<const Notification>(Notification{std::string(name), object, std::move(userInfo)});
    for (auto& observer : targets) {
        if (!observer->queue) {
            deliver(*observer, *notification);
            continue;
        }
        observer->queue->async([observer, notification] { deliver(*observer, *notification); });
    }
}

} // namespace platform
