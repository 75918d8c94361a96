#pragma once
// Batch export's documents are the application's own: each file opened, given the preset's
// values, exported whole (no crop, images released afterwards) and closed. Never shown, so
// closing stores nothing in the catalog.
#include "app/browser/BatchExport.h"

namespace browser {

class MyDocumentBatchFactory : public BatchDocumentFactory {
  public:
    std::unique_ptr<BatchDocument> makeDocument(const std::filesystem::path& source,
                                                platform::Error* error) override;
};

} // namespace browser
