#include "app/browser/MyDocumentBatch.h"

#include "app/core/MyDocument.h"

namespace browser {
namespace {

class MyDocumentBatch : public BatchDocument {
  public:
    explicit MyDocumentBatch(std::shared_ptr<MyDocument> document) : document_(std::move(document)) {}
    ~MyDocumentBatch() override { close(); }

    void addSettingValues(const platform::Dictionary& preset) override {
        document_->addSettingValues(preset);
    }
    bool exportToURL(const std::filesystem::path& destination, std::string_view type,
                     platform::Error* error) override {
        return document_->exportToURL(destination, type, platform::Rect{0, 0, 0, 0}, true, error);
    }
    void close() override {
        if (!document_->isClosed()) document_->close();
    }

  private:
    std::shared_ptr<MyDocument> document_;
};

} // namespace

std::unique_ptr<BatchDocument> MyDocumentBatchFactory::makeDocument(const std::filesystem::path& source,
                                                                    platform::Error* error) {
    std::shared_ptr<MyDocument> document = MyDocument::create();
    if (!document || !document->read(source.string(), error)) return nullptr;
    return std::make_unique<MyDocumentBatch>(std::move(document));
}

} // namespace browser
