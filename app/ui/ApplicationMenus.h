#pragma once
// The application's one menu bar, as a table: every window gets the same menus (File, Edit,
// View, Window, Lumivar, Help), and what an item needs decides whether it is enabled there.
// Items act on the window whose menu bar they are in; those that need a document are
// disabled on a window without one (the browser, the preferences...). While a batch export
// runs, every item but Quit and About is disabled.
#include <string_view>
#include <vector>

namespace menus {

enum class Needs {
    Always,          // even during a batch: Quit, About
    Nothing,         // menus active
    Document,        // menus active, on a document's window
    ExternalEditor,  // menus active, on the window of a document opened as an external editor
    RecentDocuments, // menus active, with files in Open Recent
    PhotoCdDocument, // menus active, on the window of a Photo CD image's document
};

struct MenuState {
    bool menusActive = true;
    bool hasDocument = false;
    bool externalEditor = false;
    bool hasRecentDocuments = false;
    bool photoCdDocument = false;
};

bool itemEnabled(Needs needs, const MenuState& state);

struct Item {
    std::string_view menu;     // the top-level menu's title
    std::string_view submenu;  // empty, or the submenu of the menu it sits in
    std::string_view title;    // as shown
    std::string_view name;     // the action's object name
    std::string_view shortcut; // a key sequence, shown beside the title; empty for none
    Needs needs;
    bool checkable = false;
    bool separatorBefore = false;
};

// The top-level menus in order.
const std::vector<std::string_view>& menuTitles();
// Every item, in menu order; submenus' items follow their menu's.
const std::vector<Item>& applicationMenuItems();
const Item* itemNamed(std::string_view name);

// Filled when shown: the files of Open Recent and the documents' windows of the Window menu.
inline constexpr std::string_view kOpenRecentMenu = "Open Recent";
inline constexpr std::string_view kRecentItemName = "recentDocument";
inline constexpr std::string_view kWindowItemName = "documentWindow";
inline constexpr size_t kRecentDocumentCount = 10;

} // namespace menus
