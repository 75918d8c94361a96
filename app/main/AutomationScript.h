#pragma once
// The automation scripts of `lumivar --automation FILE`: one command a line, words split at
// blanks, a word in double quotes may hold blanks (and \" or \\). Empty lines and lines
// starting with '#' are comments. The whole script is checked before anything runs.
//
//   open FILE              a new window with the file (relative to the script's folder)
//   wait-image [SECONDS]   until the image is shown with all its tiles (60 s)
//   set KEY VALUE          a setting of the current document
//   expect KEY VALUE       passes when the setting has that value
//   screenshot NAME [PART] NAME.png of the window in front (PART window), the current
//                          document's view or histogram, or the whole screen (PART screen)
//   close, quit            the current document's window; every window and the script
// In any window (the window in front, a dialog over it first):
//   menu "Title/Item"      chooses the item of the window's menu bar as a hand would (a
//                          disabled item fails), e.g. menu "File/Export As/JPEG..."; the
//                          dots of an item's title may be left out; a menu's own title
//                          ("View") opens that menu as a click would, or closes it
//   click NAME             clicks the button named so (object name or title); a pop-up
//                          opens or closes its list
//   type NAME TEXT         puts the text into the named field, as typing it would
//   choose PATH...         in the open file dialog: types the files' names and presses Open
//                          (a folder in a folder dialog), waits until the dialog is done
//   expect-item NAME TEXT  passes when the named pop-up offers an item of that title
// In the browser:
//   browse FOLDER          shows the browser on the folder (granted as the folder panel would)
//   select all|NAME...     selects every file, or the named ones
//   batch PRESET [FOLDER]  batch-exports the selection with the preset's settings, into
//                          FOLDER when given (else beside the originals)
//   wait-batch [SECONDS]   until the batch has ended (300 s); fails with the batch's error
//   cancel                 the batch's Cancel
//   zoom FACTOR, fit       device pixels per image pixel; the whole image in the view
//   mode pan|crop|eyedropper
//   drag X1 Y1 X2 Y2       a left-button drag between two image pixels (of the unturned
//                          image, from its upper left), mapped to the view when it starts
//   wheel DX DY            a wheel turn of so many notches over the view's centre
// In the editing window:
//   slider KEY VALUE       moves the slider of the key to the value, as a hand would
//   key SEQ                a key press in the window, e.g. "Ctrl+E" (the application rewrites keys)
//   export TYPE PATH       exports as jpeg, tiff, dng or exr to PATH through the window and
//                          waits for the export
//   preset-save NAME GROUP...  a preset of the named groups ("Monochrome Filters" ...)
//   preset-apply NAME      applies the preset of that name
//   rotate cw|ccw          turns the image a quarter
//   update                 the external editor's update, waited for
//   pref KEY VALUE         a user default (e.g. "rawSearchDirectoryBookmark" and a folder)
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.h"

namespace automation {

enum class Verb {
    Open,
    WaitImage,
    Set,
    Expect,
    Screenshot,
    Close,
    Quit,
    Zoom,
    Fit,
    Mode,
    Drag,
    Wheel,
    // The editing window's.
    Slider,
    Click,
    Key,
    Export,
    PresetSave,
    PresetApply,
    Rotate,
    Update,
    Pref,
    // Any window's.
    Menu,
    Type,
    Choose,
    ExpectItem,
    // The browser's.
    Browse,
    Select,
    Batch,
    WaitBatch,
    Cancel
};

struct Command {
    int line = 0; // 1-based line of the script
    Verb verb = Verb::Quit;
    std::string text;               // the line as written, for reports
    std::vector<std::string> words; // the arguments after the verb
    std::vector<double> numbers;    // the arguments of wait-image, wait-batch, zoom, drag and wheel
};

struct Script {
    std::vector<Command> commands;
    std::vector<std::string> errors; // "line N: ..." for each line that does not parse
};

Script parseScript(std::string_view text);
// One line; nullopt for a comment or an empty line, or (with `error` set) a bad one.
std::optional<Command> parseLine(std::string_view line, int number, std::string& error);

const char* verbName(Verb verb);

// The value of a `set` or `expect` word: "true"/"false" a boolean, a whole number an
// integer, another number a real, "none" no value, anything else the text itself.
std::optional<platform::Value> parseValue(const std::string& word);
// Numbers (booleans included) compare by value, to a part in a million; other values exactly.
bool valuesMatch(const std::optional<platform::Value>& actual,
                 const std::optional<platform::Value>& expected);
// A value as a script would write it.
std::string describeValue(const std::optional<platform::Value>& value);

} // namespace automation
