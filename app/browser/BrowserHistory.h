#pragma once
// The browser's back and forward history. Element 0 of the back list is the folder shown;
// element 0 of the forward list the one forward goes to.
#include <deque>
#include <filesystem>
#include <optional>

namespace browser {

class BrowserHistory {
  public:
    enum Source { New = 0, Back = 1, Forward = 2 };

    // Moves through the history as `source` says and returns the folder to show: for New the
    // given folder (none: the current one), for Back the given one (the previous folder), for
    // Forward the next one. Nothing when there is nowhere to go. Going to the folder already
    // shown leaves the history as it is.
    std::optional<std::filesystem::path> change(std::optional<std::filesystem::path> url, Source source);

    std::optional<std::filesystem::path> current() const;
    std::optional<std::filesystem::path> previous() const;
    bool canGoBack() const { return backArray_.size() > 1; }
    bool canGoForward() const { return !forwardArray_.empty(); }
    const std::deque<std::filesystem::path>& backArray() const { return backArray_; }
    const std::deque<std::filesystem::path>& forwardArray() const { return forwardArray_; }

  private:
    std::deque<std::filesystem::path> backArray_, forwardArray_;
};

} // namespace browser
