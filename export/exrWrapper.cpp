#include "export/exrWrapper.h"

#include "platform/ImageProperties.h"
#include "platform/Log.h"

#include <exception>

using namespace platform;

exrWrapper::exrWrapper(int width, int height) {
    try {
        exrWriter_ = std::make_unique<exrWriter>(width, height);
    } catch (const std::exception& e) {
        LV_LOG("%s cannot make a writer: %s", __PRETTY_FUNCTION__, e.what());
    }
}

exrWrapper::~exrWrapper() = default;

bool exrWrapper::writeToFile(const float* buffer, int outputFormat, const std::filesystem::path& fileName,
                             const Value& metaData, std::string_view /*type*/, Error* error) {
    if (!exrWriter_) return fail(error, exporting::errors::Table.error(exporting::errors::NoExrWriter));
    exrWriter_->setWriteChromaticities(false);
    if (outputFormat >= 0 && outputFormat <= 3) {
        exrWriter_->setFloatPixels(outputFormat % 2 == 1);
        exrWriter_->setOmitAlpha(outputFormat >= 2);
    }
    addMetaData(metaData);
    return exrWriter_->write(buffer, fileName.c_str(), error);
}

void exrWrapper::addMetaData(const Value& metaData) {
    const Dictionary* root = metaData.dictionary();
    if (!root || !exrWriter_) return;
    try {
        for (const auto& [group, value] : *root) {
            if (group != kCGImagePropertyExifDictionary && group != kCGImagePropertyTIFFDictionary &&
                group != kCGImagePropertyExifAuxDictionary)
                continue;
            const Dictionary* properties = value.dictionary();
            if (!properties) continue;
            for (const auto& entry : *properties)
                setEXIFFromMacImageProperty(entry.first, *properties);
        }
    } catch (const std::exception& e) {
        LV_LOG("Exception %s in %s", e.what(), __PRETTY_FUNCTION__);
    }
}

void exrWrapper::setEXIFFromMacImageProperty(std::string_view key, const Dictionary& properties) {
    if (!exrWriter_) return;
    try {
        auto code = metadataKeyForProperty(key);
        if (!code) return;
        int32_t iValue = 0;
        double fValue = 0.0;
        if (auto text = decodeObject(properties, key, &iValue, &fValue))
            exrWriter_->setMetadata(*code, *text, iValue, fValue);
    } catch (const std::exception& e) {
        LV_LOG("Exception %s in %s", e.what(), __PRETTY_FUNCTION__);
    }
}
