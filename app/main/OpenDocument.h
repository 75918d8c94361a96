#pragma once
// Opens a raw file as a document (its catalog entry or the "Default" preset, its engine) for a
// window of the lumivar program.
#include <memory>

#include "app/main/ViewerDocument.h"

class MyDocument;

OpenedDocument openDocument(const std::filesystem::path& file);
// The window's view of an opened document.
std::unique_ptr<ViewerDocument> viewerOf(std::shared_ptr<MyDocument> document);
