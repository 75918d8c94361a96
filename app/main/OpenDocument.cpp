#include "app/main/OpenDocument.h"

OpenedDocument openDocument(const std::filesystem::path& file) {
    return platform::Error{"LumivarErrorDomain", -2,
                           "lumivar cannot open documents in this build: " + file.filename().string()};
}
