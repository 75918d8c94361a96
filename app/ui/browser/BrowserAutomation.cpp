#include "app/ui/browser/BrowserAutomation.h"

#include <cstdlib>
#include <sstream>
#include <vector>

#include "app/ui/browser/BrowserWindowController.h"
#include "platform/UserDefaults.h"

namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

std::string trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

platform::Value parsedValue(const std::string& text) {
    if (text == "YES" || text == "true") return platform::Value(true);
    if (text == "NO" || text == "false") return platform::Value(false);
    char* end = nullptr;
    const long long integer = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && end && *end == '\0') return platform::Value(integer);
    const double real = std::strtod(text.c_str(), &end);
    if (!text.empty() && end && *end == '\0') return platform::Value(real);
    return platform::Value(text);
}

AutomationResult done(bool ok, std::string message = {}) { return {true, ok, std::move(message)}; }

} // namespace

AutomationResult runBrowserCommand(BrowserWindowController& browser, const std::string& line) {
    const std::string text = trimmed(line);
    const size_t space = text.find_first_of(" \t");
    const std::string command = text.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : trimmed(text.substr(space));
    if (command == "browse") {
        if (!browser.browse(rest)) return done(false, "not a readable folder: " + rest);
        return done(true);
    }
    if (command == "select") {
        if (rest == "all") {
            browser.selectAll();
            return done(true);
        }
        if (!browser.selectNames(words(rest))) return done(false, "not in the folder: " + rest);
        return done(true);
    }
    if (command == "batch") {
        std::optional<browser::BatchMenuItem> item = browser.batchItemTitled(rest + " settings");
        if (!item) item = browser.batchItemTitled(rest);
        if (!item) return done(false, "no preset " + rest);
        browser.popAction(*item);
        return done(true);
    }
    if (command == "cancel") {
        browser.userCancelAction();
        return done(true);
    }
    if (command == "pref") {
        const std::vector<std::string> parts = words(rest);
        if (parts.size() < 2) return done(false, "pref needs a key and a value");
        const size_t at = rest.find(parts[1], parts[0].size());
        platform::UserDefaults::standard().setObject(parsedValue(trimmed(rest.substr(at))), parts[0]);
        return done(true);
    }
    return {};
}
