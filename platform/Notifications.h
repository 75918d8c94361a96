#pragma once
// The names of the notifications posted across subsystems (NotificationCenter), with who
// posts them as the object.
#include <string_view>

namespace platform::notification {

// Object: the document. Posted on the main thread.
inline constexpr std::string_view EngineDidStart = "Tarnwell_EngineDidStart";
inline constexpr std::string_view NewProcessedImage = "Tarnwell_NewProcessedImage";
inline constexpr std::string_view UpdatedImage = "Tarnwell_UpdatedImage";
// Object: the engine's delegate (the document). Posted on the engine's own queue.
inline constexpr std::string_view NewImageMetadata = "Tarnwell_NewImageMetadata";
// Object: the editing window's controller.
inline constexpr std::string_view DocumentChange = "Tarnwell_DocumentChange";
// Object: the browser's window controller, around a batch export.
inline constexpr std::string_view DisableMenus = "Tarnwell_DisableMenus";
inline constexpr std::string_view EnableMenus = "Tarnwell_EnableMenus";
// Object: the preset manager.
inline constexpr std::string_view PresetsChanged = "Tarnwell_PresetsChanged";

// Object: the catalog store or the preset manager that found one of the user's files damaged
// and renamed it aside. userInfo holds "kind" ("catalog" or "preset"), "file" (where it was),
// "aside" (where it is kept now) and "reason" (why it could not be read). Posted on the thread that read the
// file.
inline constexpr std::string_view UserDataSetAside = "LumivarUserDataSetAside";

// Object: the UserDefaults whose value changed; userInfo holds "key", "old" and "new"
// (absent when the value is). UserDefaults::addObserver is the usual way to follow it.
inline constexpr std::string_view UserDefaultsDidChange = "LumivarUserDefaultsDidChange";

} // namespace platform::notification
