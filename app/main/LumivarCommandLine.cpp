#include "app/main/LumivarCommandLine.h"

LumivarCommandLine LumivarCommandLine::parse(const std::vector<std::string>& arguments) {
    LumivarCommandLine line;
    bool onlyFiles = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyFiles || argument.empty() || argument[0] != '-' || argument == "-") {
            line.files.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyFiles = true;
        } else if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--automation" || argument == "--screenshots") {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                line.error = argument + " needs a path";
                return line;
            }
            auto& target = argument == "--automation" ? line.automation : line.screenshots;
            if (target) {
                line.error = argument + " is given twice";
                return line;
            }
            target = std::filesystem::path(arguments[++i]);
        } else {
            // Qt's own options (-platform, -style...) are taken out before this.
            line.error = "unknown option " + argument;
            return line;
        }
    }
    return line;
}

const char* LumivarCommandLine::usage() {
    return "Usage: lumivar [--automation SCRIPT] [--screenshots FOLDER] [FILE...]\n"
           "  Opens each raw FILE in a window of its own.\n"
           "  --automation SCRIPT   runs the commands of SCRIPT, one a line, then quits;\n"
           "                        the exit status is 0 only when every line passed\n"
           "  --screenshots FOLDER  where the script's screenshots are written\n";
}
