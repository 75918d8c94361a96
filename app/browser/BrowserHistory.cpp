#include "app/browser/BrowserHistory.h"

namespace browser {

std::optional<std::filesystem::path> BrowserHistory::current() const {
    if (backArray_.empty()) return std::nullopt;
    return backArray_.front();
}

std::optional<std::filesystem::path> BrowserHistory::previous() const {
    if (backArray_.size() < 2) return std::nullopt;
    return backArray_[1];
}

std::optional<std::filesystem::path> BrowserHistory::change(std::optional<std::filesystem::path> url,
                                                            Source source) {
    const std::optional<std::filesystem::path> shown = current();
    if (url && shown && *url == *shown) return url;
    switch (source) {
    case Forward:
        if (forwardArray_.empty()) return std::nullopt;
        url = forwardArray_.front();
        forwardArray_.pop_front();
        backArray_.push_front(*url);
        break;
    case Back:
        if (!url) return std::nullopt;
        if (shown) forwardArray_.push_front(*shown);
        if (!backArray_.empty()) backArray_.pop_front();
        if (backArray_.empty() || backArray_.front() != *url) backArray_.push_front(*url);
        break;
    case New:
        if (url)
            backArray_.push_front(*url);
        else
            url = shown;
        break;
    }
    return url;
}

} // namespace browser
