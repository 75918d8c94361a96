#include "export/dngWrapper.h"

#include "export/ExportErrors.h"
#include "platform/ImageProperties.h"
#include "platform/Log.h"

#include <exception>
#include <functional>
#include <map>

using namespace platform;

dngWrapper::dngWrapper(int width, int height) {
    try {
        dngWriter_ = std::make_unique<DngTiffWriter>(width, height);
    } catch (const std::exception& e) {
        LV_LOG("%s cannot make a writer: %s", __PRETTY_FUNCTION__, e.what());
    }
}

dngWrapper::~dngWrapper() = default;

bool dngWrapper::writeToFile(const uint16_t* buffer, int outputFormat, const std::filesystem::path& fileName,
                             const std::filesystem::path& embedFile, const Value& metaData,
                             std::string_view type, Error* error) {
    return write(buffer, nullptr, outputFormat, fileName, embedFile, metaData, type, error);
}

bool dngWrapper::writeToFile(std::unique_ptr<uint16_t[]> buffer, int outputFormat,
                             const std::filesystem::path& fileName, const std::filesystem::path& embedFile,
                             const Value& metaData, std::string_view type, Error* error) {
    const uint16_t* samples = buffer.get();
    return write(samples, &buffer, outputFormat, fileName, embedFile, metaData, type, error);
}

bool dngWrapper::write(const uint16_t* buffer, std::unique_ptr<uint16_t[]>* owned, int outputFormat,
                       const std::filesystem::path& fileName, const std::filesystem::path& embedFile,
                       const Value& metaData, std::string_view type, Error* error) {
    if (!dngWriter_) return fail(error, exporting::errors::Table.error(exporting::errors::NoDngWriter));
    if (outputFormat == 1) dngWriter_->setCFAPattern(DngTiffWriter::kCFA_RGGB);
    Error imageError;
    const bool imageSet = dngWriter_->setImage(buffer, 0, &imageError);
    if (owned) owned->reset(); // the writer's image holds the samples now
    dngWriter_->setMake(kFixedMake);
    dngWriter_->setModel(kFixedModel);
    dngWriter_->setSoftware(kFixedSoftware);
    // Other programs pick camera profiles by this name: a developed image must never be
    // taken for the camera's raw data, whatever make and model its EXIF names.
    dngWriter_->setCameraModelName(std::string(kFixedMake) + " " + kFixedModel);
    addMetaData(metaData);
    if (!imageSet) return fail(error, std::move(imageError));
    std::string embedPath;
    if (!embedFile.empty()) {
        dngWriter_->setDocumentName(embedFile.filename().string().c_str());
        embedPath = embedFile.string();
    }
    const std::string typeText(type);
    return dngWriter_->writeFile(fileName.c_str(), embedFile.empty() ? nullptr : embedPath.c_str(),
                                 typeText.c_str(), error);
}

void dngWrapper::copyGroup(const std::string& group, const Dictionary& properties) {
    DngTiffWriter& writer = *dngWriter_;
    using Setter = void (DngTiffWriter::*)(const char*);
    static const std::map<std::string_view, Setter> exifSetters = {
        {kCGImagePropertyExifDateTimeOriginal, &DngTiffWriter::setDateTime},
        {kCGImagePropertyExifDateTimeDigitized, &DngTiffWriter::setDateTime},
        {kCGImagePropertyExifUserComment, &DngTiffWriter::setUserComment}};
    static const std::map<std::string_view, Setter> tiffSetters = {
        {kCGImagePropertyTIFFImageDescription, &DngTiffWriter::setImageDescription},
        {kCGImagePropertyTIFFDocumentName, &DngTiffWriter::setDocumentName},
        {kCGImagePropertyTIFFSoftware, &DngTiffWriter::setSoftware},
        {kCGImagePropertyTIFFMake, &DngTiffWriter::setMake},
        {kCGImagePropertyTIFFModel, &DngTiffWriter::setModel},
        {kCGImagePropertyTIFFCopyright, &DngTiffWriter::setCopyright},
        {kCGImagePropertyTIFFDateTime, &DngTiffWriter::setDateTime}};
    const std::map<std::string_view, Setter>* setters = group == kCGImagePropertyExifDictionary ? &exifSetters
                                                        : group == kCGImagePropertyTIFFDictionary
                                                            ? &tiffSetters
                                                            : nullptr;
    for (const auto& [key, value] : properties) {
        const auto setter =
            setters ? setters->find(key) : std::map<std::string_view, Setter>::const_iterator();
        if (!setters || setter == setters->end()) {
            setEXIFFromMacImageProperty(key, properties);
            continue;
        }
        // A key without a text (an empty array among them) is skipped alone.
        if (auto text = decodeObject(properties, key, nullptr, nullptr))
            (writer.*(setter->second))(text->c_str());
    }
}

// The image's own resolution, when its metadata carries one; the writer keeps its
// default otherwise.
void dngWrapper::copyResolution(const Dictionary& tiff) {
    const auto number = [&](const char* key) {
        const auto found = tiff.find(key);
        return found == tiff.end() ? 0.0 : found->second.doubleValue();
    };
    const double x = number(kCGImagePropertyTIFFXResolution), y = number(kCGImagePropertyTIFFYResolution);
    const double unit =
        tiff.count(kCGImagePropertyTIFFResolutionUnit) ? number(kCGImagePropertyTIFFResolutionUnit) : 2;
    if (unit >= 1 && unit <= 3) dngWriter_->setResolution(x, y, uint32_t(unit));
}

void dngWrapper::addMetaData(const Value& metaData) {
    const Dictionary* root = metaData.dictionary();
    if (!root || !dngWriter_) return;
    try {
        if (const auto tiff = root->find(kCGImagePropertyTIFFDictionary); tiff != root->end())
            if (const Dictionary* properties = tiff->second.dictionary()) copyResolution(*properties);
        for (const auto& [group, value] : *root) {
            if (group != kCGImagePropertyExifDictionary && group != kCGImagePropertyTIFFDictionary &&
                group != kCGImagePropertyExifAuxDictionary)
                continue;
            if (const Dictionary* properties = value.dictionary()) copyGroup(group, *properties);
        }
    } catch (const std::exception& e) {
        LV_LOG("Exception %s in %s\n", e.what(), __PRETTY_FUNCTION__);
    }
}

void dngWrapper::setEXIFFromMacImageProperty(std::string_view key, const Dictionary& properties) {
    if (!dngWriter_) return;
    try {
        const auto code = metadataKeyForProperty(key);
        if (!code) return;
        int32_t iValue = 0;
        double fValue = 0.0;
        if (auto text = decodeObject(properties, key, &iValue, &fValue))
            dngWriter_->setEXIFField(*code, text->c_str(), iValue, fValue);
    } catch (const std::exception& e) {
        LV_LOG("Exception %s in %s\n", e.what(), __PRETTY_FUNCTION__);
    }
}
