#pragma once
// The browser's commands of the automation script, one line each:
//   browse DIR           grant and show the folder
//   select all|NAME...   select every item, or the named ones (no others)
//   batch PRESET         batch-export the selection with the preset of that name
//                        ("Default settings" style titles are accepted too)
//   cancel               the progress sheet's Cancel
//   pref KEY VALUE       a user default: YES/NO, an integer, a real, or text
#include <string>

class BrowserWindowController;

struct AutomationResult {
    bool handled = false; // the line was one of these commands
    bool ok = false;
    std::string message; // why it failed
};

AutomationResult runBrowserCommand(BrowserWindowController& browser, const std::string& line);
