#pragma once
// Opens a raw file as a document for a window of the lumivar program.
#include "app/main/ViewerDocument.h"

OpenedDocument openDocument(const std::filesystem::path& file);
