#include "export/ExifBlock.h"

#include <map>
#include <string_view>

#include "export/ExifFields.h"
#include "platform/ImageProperties.h"
#include "raw/tiff/exifTagTables.h"

using namespace platform;
using exif::Field;

namespace {

using Directory = std::map<uint16_t, Field>; // sorted by tag, as TIFF wants

constexpr uint16_t kExifPointer = 34665;
constexpr uint16_t kGpsPointer = 34853;

// The tag of a property key within its sub-dictionary, as the metadata reader assigns them.
std::optional<uint16_t> tagForKey(std::string_view group, std::string_view key) {
    static const auto tags = [] {
        std::map<std::pair<std::string, std::string>, uint16_t> map;
        for (auto table : {raw::exifMainTags(), raw::exifGpsTags()})
            for (const raw::ExifTagRow& row : table)
                if (row.dictionary && row.property && row.tag <= 0xFFFF)
                    map.emplace(std::pair{std::string(row.dictionary), std::string(row.property)},
                                uint16_t(row.tag));
        return map;
    }();
    auto it = tags.find({std::string(group), std::string(key)});
    if (it == tags.end()) return std::nullopt;
    return it->second;
}

// Copies the writable entries of one sub-dictionary; false at the first it cannot encode.
bool copyGroup(const Dictionary& properties, const char* group, Directory& dir, std::string* failure) {
    auto it = properties.find(group);
    if (it == properties.end() || !it->second.isDictionary()) return true;
    const bool gps = std::string_view(group) == kCGImagePropertyGPSDictionary;
    for (const auto& [key, value] : *it->second.dictionary()) {
        auto tag = tagForKey(group, key);
        const exif::FieldRule* rule = tag ? exif::writableField(*tag, gps) : nullptr;
        if (!rule || !exif::writesValue(*rule, value)) continue;
        auto field = exif::encodeField(*rule, value);
        if (!field) {
            if (failure)
                *failure = std::string("The value of ") + group + " " + key + " cannot be written in EXIF";
            return false;
        }
        dir[field->tag] = std::move(*field);
    }
    return true;
}

void set(Directory& dir, Field field) { dir[field.tag] = std::move(field); }

void addImageFields(Directory& ifd0, Directory& exifDir, const ExifImageInfo& image) {
    set(ifd0, exif::shortField(274, {1})); // Orientation: the pixels are upright
    set(ifd0, exif::asciiField(305, lumivarSoftwareName()));
    if (!ifd0.count(282)) set(ifd0, exif::rationalField(282, 72, 1));
    if (!ifd0.count(283)) set(ifd0, exif::rationalField(283, 72, 1));
    if (!ifd0.count(296)) set(ifd0, exif::shortField(296, {2}));                // inches
    set(ifd0, exif::shortField(531, {1}));                                      // YCbCrPositioning: centred
    set(exifDir, exif::undefinedField(36864, "0230"));                          // ExifVersion
    set(exifDir, exif::undefinedField(37121, std::string_view("\1\2\3\0", 4))); // Y Cb Cr
    set(exifDir, exif::undefinedField(40960, "0100"));                          // FlashpixVersion
    set(exifDir, exif::shortField(40961, {uint16_t(image.sRGB ? 1 : 0xFFFF)}));
    set(exifDir, exif::longField(40962, image.width));
    set(exifDir, exif::longField(40963, image.height));
}

size_t directorySize(const Directory& dir) {
    size_t size = 2 + 12 * dir.size() + 4;
    for (const auto& [tag, f] : dir)
        if (f.value.size() > 4) size += (f.value.size() + 1) & ~size_t(1);
    return size;
}

// Writes one directory at its offset (`out` has reached it) with its values behind it.
void writeDirectory(const Directory& dir, std::vector<uint8_t>& out, size_t tiffStart) {
    size_t valueOffset = out.size() - tiffStart + 2 + 12 * dir.size() + 4;
    std::vector<uint8_t> values;
    exif::put16(out, uint32_t(dir.size()));
    for (const auto& [tag, f] : dir) {
        exif::put16(out, f.tag);
        exif::put16(out, f.type);
        exif::put32(out, f.count);
        if (f.value.size() <= 4) {
            out.insert(out.end(), f.value.begin(), f.value.end());
            out.insert(out.end(), 4 - f.value.size(), 0);
            continue;
        }
        exif::put32(out, uint32_t(valueOffset + values.size()));
        values.insert(values.end(), f.value.begin(), f.value.end());
        if (values.size() % 2) values.push_back(0); // values start on word boundaries
    }
    exif::put32(out, 0); // no next directory
    out.insert(out.end(), values.begin(), values.end());
}

std::vector<uint8_t> layOut(Directory& ifd0, const Directory& exifDir, const Directory& gps) {
    set(ifd0, exif::longField(kExifPointer, 0));
    if (!gps.empty()) set(ifd0, exif::longField(kGpsPointer, 0));
    const size_t exifOffset = 8 + directorySize(ifd0);
    const size_t gpsOffset = exifOffset + directorySize(exifDir);
    set(ifd0, exif::longField(kExifPointer, uint32_t(exifOffset)));
    if (!gps.empty()) set(ifd0, exif::longField(kGpsPointer, uint32_t(gpsOffset)));

    std::vector<uint8_t> out{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42};
    const size_t tiffStart = 6;
    exif::put32(out, 8);
    writeDirectory(ifd0, out, tiffStart);
    writeDirectory(exifDir, out, tiffStart);
    if (!gps.empty()) writeDirectory(gps, out, tiffStart);
    return out;
}

size_t blockSize(const Directory& ifd0, const Directory& exifDir, const Directory& gps) {
    // 6 bytes of EXIF header, 8 of TIFF header; IFD0 gains one or two pointer fields.
    return 6 + 8 + directorySize(ifd0) + 12 * (gps.empty() ? 1 : 2) + directorySize(exifDir) +
           (gps.empty() ? 0 : directorySize(gps));
}

} // namespace

std::optional<std::vector<uint8_t>> makeExifBlock(const Dictionary& properties, const ExifImageInfo& image,
                                                  std::string* failure) {
    Directory ifd0, exifDir, gps;
    if (!copyGroup(properties, kCGImagePropertyTIFFDictionary, ifd0, failure) ||
        !copyGroup(properties, kCGImagePropertyExifDictionary, exifDir, failure) ||
        !copyGroup(properties, kCGImagePropertyExifAuxDictionary, exifDir, failure) ||
        !copyGroup(properties, kCGImagePropertyGPSDictionary, gps, failure))
        return std::nullopt;
    addImageFields(ifd0, exifDir, image);
    if (!gps.empty() && !gps.count(0)) set(gps, exif::Field{0, uint16_t(ttByte), 4, {2, 3, 0, 0}});
    size_t size = blockSize(ifd0, exifDir, gps);
    if (size > kExifBlockLimit) {
        if (failure)
            *failure = "The EXIF block of " + std::to_string(size) + " bytes exceeds the " +
                       std::to_string(kExifBlockLimit) + " an APP1 segment holds";
        return std::nullopt;
    }
    return layOut(ifd0, exifDir, gps);
}

std::string lumivarSoftwareName() { return std::string("Lumivar V") + LUMIVAR_VERSION; }
