#include "app/ui/ApplicationMenus.h"

namespace menus {

bool itemEnabled(Needs needs, const MenuState& state) {
    switch (needs) {
    case Needs::Always:
        return true;
    case Needs::Nothing:
        return state.menusActive;
    case Needs::Document:
        return state.menusActive && state.hasDocument;
    case Needs::ExternalEditor:
        return state.menusActive && state.hasDocument && state.externalEditor;
    case Needs::RecentDocuments:
        return state.menusActive && state.hasRecentDocuments;
    case Needs::PhotoCdDocument:
        return state.menusActive && state.hasDocument && state.photoCdDocument;
    }
    return false;
}

const std::vector<std::string_view>& menuTitles() {
    static const std::vector<std::string_view> titles{"File", "Edit", "View", "Window", "Lumivar", "Help"};
    return titles;
}

const std::vector<Item>& applicationMenuItems() {
    using enum Needs;
    static const std::vector<Item> items{
        {"File", "", "Open…", "open", "Ctrl+O", Nothing},
        {"File", "", kOpenRecentMenu, "openRecent", "", RecentDocuments},
        {"File", "", "Close", "close", "Ctrl+W", Nothing, false, true},
        {"File", "", "Export", "export", "Ctrl+E", Document, false, true},
        {"File", "", "Export As", "exportAs", "", Document},
        {"File", "Export As", "JPEG…", "exportAsJPEG", "", Document},
        {"File", "Export As", "TIFF…", "exportAsTIFF", "", Document},
        {"File", "Export As", "DNG…", "exportAsDNG", "", Document},
        {"File", "Export As", "OpenEXR…", "exportAsEXR", "", Document},
        {"File", "", "Update External Editor", "update", "", ExternalEditor},
        {"File", "", "Quit", "quit", "Ctrl+Q", Always, false, true},

        {"Edit", "", "Select All", "selectAll", "Ctrl+A", Nothing},
        {"Edit", "", "Save Preset…", "savePreset", "", Document, false, true},
        {"Edit", "", "Reset Crop", "resetCrop", "", Document},

        {"View", "", "Pan", "cursorPan", "P", Document, true},
        {"View", "", "Crop", "cursorCrop", "C", Document, true},
        {"View", "", "Eyedropper", "cursorEyedropper", "I", Document, true},
        {"View", "", "Zoom In", "zoomIn", "Ctrl+=", Document, false, true},
        {"View", "", "Zoom Out", "zoomOut", "Ctrl+-", Document},
        {"View", "", "Zoom to Fit", "zoomFit", "Ctrl+F", Document},
        {"View", "", "Actual Size", "zoom1", "Ctrl+1", Document},
        {"View", "", "Zoom to 200%", "zoom2", "Ctrl+2", Document},
        {"View", "", "Zoom to 300%", "zoom3", "Ctrl+3", Document},
        {"View", "", "Zoom to 400%", "zoom4", "Ctrl+4", Document},
        {"View", "", "Rotate Left", "rotateCCW", "Ctrl+L", Document, false, true},
        {"View", "", "Rotate Right", "rotateCW", "Ctrl+R", Document},
        {"View", "", "Photo CD Resolution…", "photoCDResolution", "", PhotoCdDocument, false, true},

        {"Window", "", "Browser", "showBrowser", "", Nothing},
        {"Window", "", "Inspector", "showInspector", "", Nothing},
        {"Window", "", "Camera Profiles", "showProfiles", "", Nothing},
        {"Window", "", "Presets", "showPresets", "", Nothing},

        {"Lumivar", "", "Preferences…", "preferences", "Ctrl+,", Nothing},
        {"Lumivar", "", "Reset Lumivar…", "reset", "", Nothing, false, true},

        {"Help", "", "Lumivar Help", "help", "", Nothing},
        {"Help", "", "Quick Reference", "quickReference", "", Nothing},
        {"Help", "", "Lumivar Website", "website", "", Nothing},
        {"Help", "", "Contact Us", "contact", "", Nothing},
        {"Help", "", "About Lumivar", "about", "", Always, false, true},
    };
    return items;
}

const Item* itemNamed(std::string_view name) {
    for (const Item& item : applicationMenuItems())
        if (item.name == name) return &item;
    return nullptr;
}

} // namespace menus
