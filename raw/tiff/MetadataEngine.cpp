#include "raw/tiff/MetadataEngine.h"

#include "raw/tiff/exifEngine.h"

namespace raw {

exifEngine* create_metadata_engine() { return new exifEngine(); }

void destroy_metadata_engine(exifEngine* engine) { delete engine; }

platform::Dictionary copy_metadata_dictionary(const exifEngine* engine) {
    if (!engine) return {};
    platform::Value root = engine->copyDictionary();
    if (auto* d = root.dictionary()) return std::move(*d);
    return {};
}

} // namespace raw
