#include "app/main/AutomationScript.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace automation {

namespace {

struct VerbSpec {
    const char* name;
    Verb verb;
    int minWords, maxWords;
    bool numeric; // every argument a finite number
};

constexpr VerbSpec kVerbs[] = {
    {"open", Verb::Open, 1, 1, false},
    {"wait-image", Verb::WaitImage, 0, 1, true},
    {"set", Verb::Set, 2, 2, false},
    {"expect", Verb::Expect, 2, 2, false},
    {"screenshot", Verb::Screenshot, 1, 2, false},
    {"close", Verb::Close, 0, 0, false},
    {"quit", Verb::Quit, 0, 0, false},
    {"zoom", Verb::Zoom, 1, 1, true},
    {"fit", Verb::Fit, 0, 0, false},
    {"mode", Verb::Mode, 1, 1, false},
    {"drag", Verb::Drag, 4, 4, true},
    {"wheel", Verb::Wheel, 2, 2, true},
    {"slider", Verb::Slider, 2, 2, false},
    {"click", Verb::Click, 1, 1, false},
    {"key", Verb::Key, 1, 1, false},
    {"export", Verb::Export, 2, 2, false},
    {"preset-save", Verb::PresetSave, 2, 64, false},
    {"preset-apply", Verb::PresetApply, 1, 1, false},
    {"rotate", Verb::Rotate, 1, 1, false},
    {"update", Verb::Update, 0, 0, false},
    {"pref", Verb::Pref, 2, 2, false},
    {"menu", Verb::Menu, 1, 1, false},
    {"type", Verb::Type, 2, 2, false},
    {"choose", Verb::Choose, 1, 64, false},
    {"expect-item", Verb::ExpectItem, 2, 2, false},
    {"browse", Verb::Browse, 1, 1, false},
    {"select", Verb::Select, 1, 4096, false},
    {"batch", Verb::Batch, 1, 2, false},
    {"wait-batch", Verb::WaitBatch, 0, 1, true},
    {"cancel", Verb::Cancel, 0, 0, false},
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits at blanks; false (with `error`) for an unterminated quote.
bool splitWords(std::string_view line, std::vector<std::string>& words, std::string& error) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size()) return true;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
                    word += line[i++];
                    continue;
                }
                word += c;
            }
            if (!closed) {
                error = "unterminated quote";
                return false;
            }
            if (i < line.size() && !isBlank(line[i])) {
                error = "text right after a closing quote";
                return false;
            }
        } else {
            while (i < line.size() && !isBlank(line[i]))
                word += line[i++];
        }
        words.push_back(std::move(word));
    }
}

std::optional<double> parseNumber(const std::string& word) {
    if (word.empty()) return std::nullopt;
    const char* begin = word.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    if (end != begin + word.size() || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int64_t> parseInteger(const std::string& word) {
    if (word.empty()) return std::nullopt;
    const char* begin = word.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end != begin + word.size() || errno == ERANGE) return std::nullopt;
    return int64_t(value);
}

std::string trimmed(std::string_view line) {
    size_t first = 0, last = line.size();
    while (first < last && isBlank(line[first]))
        ++first;
    while (last > first && isBlank(line[last - 1]))
        --last;
    return std::string(line.substr(first, last - first));
}

} // namespace

const char* verbName(Verb verb) {
    for (const VerbSpec& spec : kVerbs)
        if (spec.verb == verb) return spec.name;
    return "?";
}

std::optional<Command> parseLine(std::string_view line, int number, std::string& error) {
    error.clear();
    std::vector<std::string> words;
    if (!splitWords(line, words, error)) return std::nullopt;
    if (words.empty() || words.front().front() == '#') return std::nullopt;
    const VerbSpec* spec = nullptr;
    for (const VerbSpec& candidate : kVerbs)
        if (words.front() == candidate.name) spec = &candidate;
    if (!spec) {
        error = "unknown command \"" + words.front() + "\"";
        return std::nullopt;
    }
    Command command;
    command.line = number;
    command.verb = spec->verb;
    command.text = trimmed(line);
    command.words.assign(words.begin() + 1, words.end());
    const int count = int(command.words.size());
    if (count < spec->minWords || count > spec->maxWords) {
        std::ostringstream expected;
        expected << spec->name << " takes " << spec->minWords;
        if (spec->maxWords != spec->minWords)
            expected << (spec->maxWords - spec->minWords > 1 ? " to " : " or ") << spec->maxWords;
        expected << (spec->maxWords == 1 && spec->minWords == 1 ? " argument" : " arguments") << ", not "
                 << count;
        error = expected.str();
        return std::nullopt;
    }
    if (spec->numeric)
        for (const std::string& word : command.words) {
            const auto value = parseNumber(word);
            if (!value) {
                error = std::string(spec->name) + ": \"" + word + "\" is not a number";
                return std::nullopt;
            }
            command.numbers.push_back(*value);
        }
    if ((spec->verb == Verb::WaitImage || spec->verb == Verb::WaitBatch) && !command.numbers.empty() &&
        command.numbers[0] <= 0) {
        error = std::string(spec->name) + ": the time must be above 0 seconds";
        return std::nullopt;
    }
    if (spec->verb == Verb::Menu &&
        (command.words[0].empty() || command.words[0].front() == '/' || command.words[0].back() == '/')) {
        error = "menu: a menu, or a menu and an item, as \"Title/Item\"";
        return std::nullopt;
    }
    if (spec->verb == Verb::Zoom && command.numbers[0] <= 0) {
        error = "zoom: the factor must be above 0";
        return std::nullopt;
    }
    if (spec->verb == Verb::Mode && command.words[0] != "pan" && command.words[0] != "crop" &&
        command.words[0] != "eyedropper") {
        error = "mode is pan, crop or eyedropper, not \"" + command.words[0] + "\"";
        return std::nullopt;
    }
    if (spec->verb == Verb::Rotate && command.words[0] != "cw" && command.words[0] != "ccw") {
        error = "rotate is cw or ccw, not \"" + command.words[0] + "\"";
        return std::nullopt;
    }
    if (spec->verb == Verb::Export && command.words[0] != "jpeg" && command.words[0] != "tiff" &&
        command.words[0] != "dng" && command.words[0] != "exr") {
        error = "export is jpeg, tiff, dng or exr, not \"" + command.words[0] + "\"";
        return std::nullopt;
    }
    if (spec->verb == Verb::Slider && !parseNumber(command.words[1])) {
        error = "slider: the value must be a number";
        return std::nullopt;
    }
    if (spec->verb == Verb::Screenshot &&
        (command.words[0].empty() || command.words[0].find('/') != std::string::npos ||
         command.words[0][0] == '.')) {
        error = "screenshot: a plain file name, without folders";
        return std::nullopt;
    }
    if (spec->verb == Verb::Screenshot && count == 2 && command.words[1] != "window" &&
        command.words[1] != "view" && command.words[1] != "histogram" && command.words[1] != "screen") {
        error = "screenshot: the part is window, view, histogram or screen, not \"" + command.words[1] + "\"";
        return std::nullopt;
    }
    return command;
}

Script parseScript(std::string_view text) {
    Script script;
    int number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ++number;
        std::string error;
        if (auto command = parseLine(text.substr(start, end - start), number, error))
            script.commands.push_back(std::move(*command));
        else if (!error.empty())
            script.errors.push_back("line " + std::to_string(number) + ": " + error);
        start = end + 1;
    }
    return script;
}

std::optional<platform::Value> parseValue(const std::string& word) {
    if (word == "none") return std::nullopt;
    if (word == "true") return platform::Value(true);
    if (word == "false") return platform::Value(false);
    if (auto integer = parseInteger(word)) return platform::Value(*integer);
    if (auto real = parseNumber(word)) return platform::Value(*real);
    return platform::Value(word);
}

bool valuesMatch(const std::optional<platform::Value>& actual,
                 const std::optional<platform::Value>& expected) {
    const bool actualNone = !actual || actual->isNull(), expectedNone = !expected || expected->isNull();
    if (actualNone || expectedNone) return actualNone == expectedNone;
    if (actual->isNumber() && expected->isNumber()) {
        const double a = actual->doubleValue(), b = expected->doubleValue();
        return std::abs(a - b) <= 1e-6 * std::max(1.0, std::abs(b));
    }
    return *actual == *expected;
}

std::string describeValue(const std::optional<platform::Value>& value) {
    if (!value || value->isNull()) return "none";
    if (const bool* b = value->boolean()) return *b ? "true" : "false";
    if (const int64_t* i = value->integer()) return std::to_string(*i);
    if (const double* d = value->real()) {
        std::ostringstream out;
        out.precision(9);
        out << *d;
        return out.str();
    }
    if (const std::string* s = value->string()) return "\"" + *s + "\"";
    if (value->isDictionary()) return "(a dictionary)";
    if (value->isArray()) return "(an array)";
    return "(a value)";
}

} // namespace automation
