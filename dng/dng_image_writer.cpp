#include "dng/dng_image_writer.h"

#include "dng/dng_camera_profile.h"
#include "dng/dng_color_space.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_exif.h"
#include "dng/dng_host.h"
#include "dng/dng_ifd.h"
#include "dng/dng_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_metadata.h"
#include "dng/dng_mosaic_info.h"
#include "dng/dng_negative.h"
#include "dng/dng_preview.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_sets.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_xmp.h"

#include <algorithm>
#include <cstring>
#include <future>
#include <vector>

namespace {

constexpr uint32_t kVersion1_1 = 0x01010000;
constexpr uint32_t kVersion1_3 = 0x01030000;
constexpr uint32_t kVersion1_4 = 0x01040000;
constexpr uint64_t kFourGiB = uint64_t(1) << 32;

// A directory and the tag sets that fill it, written in the order they were added.
struct PlannedIFD {
    dng_tiff_directory directory;
    std::unique_ptr<dng_basic_tag_set> basic;
    std::vector<std::unique_ptr<dng_tag_set_base>> sets;
    uint32_t offset = 0;
};

class misc_tags : public dng_tag_set_base {
  public:
    template <typename Tag, typename... Args> Tag* Add(dng_tiff_directory& directory, Args&&... args) {
        return AddTag<Tag>(directory, std::forward<Args>(args)...);
    }
    template <typename Tag, typename... Args> Tag* Create(Args&&... args) {
        return Make<Tag>(std::forward<Args>(args)...);
    }
    template <typename T> const T* Keep(std::vector<T> values) { return Hold(std::move(values)); }
};

void VersionBytes(uint32_t version, uint8_t out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(version >> (24 - 8 * i));
}

void RequireBelow4GiB(uint64_t length, int32_t code) {
    if (length >= kFourGiB) Throw_dng_error(code);
}

// Lays the directories out back to back from offset 8.
uint32_t LayOut(const std::vector<PlannedIFD*>& ifds, const std::vector<const dng_tiff_directory*>& tail,
                std::vector<uint32_t>& tailOffsets) {
    uint64_t offset = 8;
    for (PlannedIFD* ifd : ifds) {
        ifd->offset = uint32_t(offset);
        offset += ifd->directory.Size();
    }
    for (const dng_tiff_directory* directory : tail) {
        tailOffsets.push_back(uint32_t(offset));
        offset += directory->Size();
    }
    RequireBelow4GiB(offset, dng_error_overflow);
    return uint32_t(offset);
}

// Size, samples, bits, sample format, compression with its predictor, and tiles or one strip,
// of a directory of raw data (the raw image, its transparency mask).
void SetRawDataLayout(dng_ifd& ifd, const dng_image& image, uint32_t bits, uint32_t compression,
                      uint32_t patternCols) {
    const bool isFloat = image.PixelType() == ttFloat;
    ifd.fImageWidth = image.Width();
    ifd.fImageLength = image.Height();
    ifd.fSamplesPerPixel = image.Planes();
    ifd.fCompression = compression;
    for (uint32_t& b : ifd.fBitsPerSample)
        b = bits;
    if (isFloat)
        for (uint32_t& f : ifd.fSampleFormat)
            f = 3;
    if (compression == 8) {
        // The differences reach over the mosaic's repeat so like colours meet.
        if (isFloat)
            ifd.fPredictor = patternCols == 2 ? 34894 : patternCols == 4 ? 34895 : 3;
        else
            ifd.fPredictor = patternCols == 2 ? 34892 : patternCols == 4 ? 34893 : 2;
    }
    if (compression == 7)
        ifd.FindTileSize(131072, 16, 16);
    else if (compression == 8)
        ifd.FindTileSize(524288, 16, 16);
    else
        ifd.SetSingleStrip();
}

// Everything of the EXIF record but the camera: how and with what the picture was taken goes,
// what it shows, who made it and when stays.
void KeepNonCameraExif(dng_exif& exif) {
    dng_exif kept;
    kept.fImageDescription = exif.fImageDescription;
    kept.fSoftware = exif.fSoftware;
    kept.fArtist = exif.fArtist;
    kept.fCopyright = exif.fCopyright;
    kept.fCopyright2 = exif.fCopyright2;
    kept.fTitle = exif.fTitle;
    kept.fUserComment = exif.fUserComment;
    kept.fDateTime = exif.fDateTime;
    kept.fDateTimeStorageInfo = exif.fDateTimeStorageInfo;
    kept.fDateTimeOriginal = exif.fDateTimeOriginal;
    kept.fDateTimeOriginalStorageInfo = exif.fDateTimeOriginalStorageInfo;
    kept.fDateTimeDigitized = exif.fDateTimeDigitized;
    kept.fDateTimeDigitizedStorageInfo = exif.fDateTimeDigitizedStorageInfo;
    kept.fExifVersion = exif.fExifVersion;
    kept.fFlashPixVersion = exif.fFlashPixVersion;
    kept.fColorSpace = exif.fColorSpace;
    kept.fPixelXDimension = exif.fPixelXDimension;
    kept.fPixelYDimension = exif.fPixelYDimension;
    kept.fImageUniqueID = exif.fImageUniqueID;
    kept.CopyGPSFrom(exif);
    exif = kept;
}

// What a metadata subset other than "all" leaves out of the file.
void RemoveMetadataSubset(dng_metadata& metadata, uint32_t subset) {
    if (subset == kMetadataSubset_All) return;
    dng_exif* exif = metadata.GetExif();
    dng_xmp* xmp = metadata.GetXMP();
    if (subset <= kMetadataSubset_CopyrightAndContact) {
        // The copyright, and for 1 its creator (the IPTC contact fields live in XMP only).
        if (exif) {
            dng_exif kept;
            kept.fCopyright = exif->fCopyright;
            kept.fCopyright2 = exif->fCopyright2;
            if (subset == kMetadataSubset_CopyrightAndContact) kept.fArtist = exif->fArtist;
            kept.fExifVersion = exif->fExifVersion;
            *exif = kept;
        }
        metadata.ClearMakerNote();
        if (xmp)
            for (dng_xmp_namespace ns :
                 {dng_xmp_namespace::tiff, dng_xmp_namespace::exif, dng_xmp_namespace::exifAux,
                  dng_xmp_namespace::exifEX, dng_xmp_namespace::xmp, dng_xmp_namespace::photoshop,
                  dng_xmp_namespace::iptcExt, dng_xmp_namespace::rawSettings,
                  dng_xmp_namespace::rawSavedSettings, dng_xmp_namespace::xmpMM, dng_xmp_namespace::mediaPro})
                xmp->RemoveProperties(ns);
        return;
    }
    const bool withoutCameraRaw = subset == kMetadataSubset_AllExceptCameraInfo ||
                                  subset == kMetadataSubset_AllExceptCameraAndLocation ||
                                  subset == kMetadataSubset_AllExceptCameraRawInfo ||
                                  subset == kMetadataSubset_AllExceptCameraRawInfoAndLocation;
    const bool withoutCamera =
        subset == kMetadataSubset_AllExceptCameraInfo || subset == kMetadataSubset_AllExceptCameraAndLocation;
    const bool withoutLocation = subset == kMetadataSubset_AllExceptLocationInfo ||
                                 subset == kMetadataSubset_AllExceptCameraAndLocation ||
                                 subset == kMetadataSubset_AllExceptCameraRawInfoAndLocation;
    if (withoutCameraRaw && xmp)
        for (dng_xmp_namespace ns :
             {dng_xmp_namespace::rawSettings, dng_xmp_namespace::rawSavedSettings, dng_xmp_namespace::xmpMM})
            xmp->RemoveProperties(ns);
    if (withoutCamera) {
        if (exif) KeepNonCameraExif(*exif);
        metadata.ClearMakerNote();
        if (xmp)
            for (dng_xmp_namespace ns : {dng_xmp_namespace::exifAux, dng_xmp_namespace::exifEX})
                xmp->RemoveProperties(ns);
    }
    if (withoutLocation) {
        if (exif) exif->CopyGPSFrom(dng_exif());
        if (xmp) {
            for (const char* name : {"City", "State", "Country"})
                xmp->Remove(dng_xmp_namespace::photoshop, name);
            for (const char* name : {"Location", "CountryCode"})
                xmp->Remove(dng_xmp_namespace::iptcCore, name);
            for (const char* name : {"LocationCreated", "LocationShown"})
                xmp->Remove(dng_xmp_namespace::iptcExt, name);
        }
    }
}

void PutHeader(dng_stream& stream) {
    stream.SetWritePosition(0);
    stream.Put_uint16(stream.BigEndian() ? 0x4D4D : 0x4949);
    stream.Put_uint16(42);
    stream.Put_uint32(8);
}

} // namespace

void dng_image_writer::EncodeJPEGPreview(dng_host&, const dng_image&, dng_jpeg_preview&, int32_t) {
    ThrowProgramError("No JPEG encoder");
}

void dng_image_writer::SetExifColorSpace(dng_metadata& metadata, const void* profileData,
                                         uint32_t profileSize) {
    dng_exif* exif = metadata.GetExif();
    if (!exif) return;
    uint32_t srgbSize = 0;
    const uint8_t* srgbData = nullptr;
    const bool isSRGB = profileData && dng_space_sRGB::Get().ICCProfile(srgbSize, srgbData) &&
                        srgbSize == profileSize && std::memcmp(srgbData, profileData, profileSize) == 0;
    exif->fColorSpace = isSRGB ? 1 : 0xFFFF;
}

void dng_image_writer::PrepareMetadata(dng_host&, dng_metadata& metadata, uint32_t subset, const char*,
                                       const char* software) {
    dng_exif* exif = metadata.GetExif();
    dng_xmp* xmp = metadata.GetXMP();
    if (!exif && !xmp) return;
    if (software && *software) {
        if (exif) exif->fSoftware.Set(software);
        if (xmp) xmp->Set(dng_xmp_namespace::xmp, "CreatorTool", software);
    }
    if (exif) {
        metadata.SynchronizeMetadata();
        if (!exif->AtLeastVersion0231()) {
            exif->SetVersion0231();
            if (xmp) xmp->Set(dng_xmp_namespace::exif, "ExifVersion", "0231");
        }
    }
    if (xmp)
        for (dng_xmp_namespace ns :
             {dng_xmp_namespace::dc, dng_xmp_namespace::xmp, dng_xmp_namespace::photoshop,
              dng_xmp_namespace::iptcCore, dng_xmp_namespace::xmpRights, dng_xmp_namespace::mediaPro})
            xmp->PruneNamespace(ns);

    RemoveMetadataSubset(metadata, subset);

    // The DNG and TIFF forms of the XMP differ only in properties this program does not keep.
    if (xmp) {
        xmp->Remove(dng_xmp_namespace::photoshop, "SidecarForExtension");
        xmp->Remove(dng_xmp_namespace::photoshop, "EmbeddedXMPDigest");
    }
}

void dng_image_writer::WriteDNG(dng_host& host, dng_stream& stream, dng_negative& negative,
                                const dng_preview_list* previews, uint32_t compatibilityVersion,
                                bool uncompressed) {
    WriteDNG(host, stream, negative, negative.Metadata(), previews, compatibilityVersion, uncompressed);
}

void dng_image_writer::WriteDNG(dng_host& host, dng_stream& stream, dng_negative& negative,
                                const dng_metadata& sourceMetadata, const dng_preview_list* previews,
                                uint32_t compatibilityVersion, bool uncompressed) {
    std::unique_ptr<dng_metadata> metadata(sourceMetadata.Clone(host.Allocator()));
    PrepareMetadata(host, *metadata, kMetadataSubset_All, "image/dng", nullptr);

    const dng_image& rawImage = negative.RawImage();
    const bool use14 = compatibilityVersion >= kVersion1_4;
    if (!use14 || uncompressed) negative.ClearRawImageDigest();
    // The depth-map and enhanced-image directories are never written by this program.
    if (negative.DepthMap()) ThrowNotYetImplemented("Depth maps are not written");
    const dng_image* mask = negative.RawTransparencyMask();

    uint32_t compression = uncompressed ? 1 : 7;
    const bool isFloat = rawImage.PixelType() == ttFloat;
    if (isFloat && !uncompressed) compression = 8;
    if (rawImage.PixelType() == ttLong) compression = (use14 && !uncompressed) ? 8 : 1;

    const dng_mosaic_info* mosaic = negative.GetMosaicInfo();
    const bool isCFA = mosaic && mosaic->IsColorFilterArray();

    const uint32_t dngVersion = kVersion1_4;
    uint32_t backward = kVersion1_1;
    backward = std::max(backward, negative.OpcodeList1().MinVersion(false));
    backward = std::max(backward, negative.OpcodeList2().MinVersion(false));
    backward = std::max(backward, negative.OpcodeList3().MinVersion(false));
    if (isCFA && mosaic->fCFALayout > 5) backward = std::max(backward, kVersion1_3);
    if (isFloat || mask || (rawImage.PixelType() == ttLong && use14))
        backward = std::max(backward, kVersion1_4);
    if (backward > dngVersion) ThrowProgramError();

    // The raw image's directory.
    dng_ifd rawIFD;
    rawIFD.fPhotometricInterpretation = isCFA ? 32803 : 34892;
    uint32_t bits = 8 * rawImage.PixelSize();
    if (rawImage.PixelType() == ttShort) {
        const dng_linearization_info* info = negative.GetLinearizationInfo();
        if (info && info->fLinearizationTable && info->fLinearizationTable->LogicalSize() < 514) bits = 8;
    }
    if (isFloat)
        bits = negative.RawFloatBitDepth() == 16 || negative.RawFloatBitDepth() == 24
                   ? negative.RawFloatBitDepth()
                   : 32;
    SetRawDataLayout(rawIFD, rawImage, bits, compression, isCFA ? uint32_t(mosaic->fCFAPatternSize.h) : 1);
    uint32_t fakeChannels = 1;
    if (compression == 7 && isCFA) {
        fakeChannels = mosaic->fCFAPatternSize.h == 2 ? 2 : mosaic->fCFAPatternSize.h == 4 ? 4 : 1;
        while (fakeChannels > 1 && fakeChannels * rawIFD.fSamplesPerPixel > 4)
            fakeChannels /= 2;
    }

    // The transparency mask's directory: deflated like float data unless nothing is compressed.
    dng_ifd maskIFD;
    if (mask) {
        maskIFD.fNewSubFileType = 4;
        maskIFD.fPhotometricInterpretation = 4;
        SetRawDataLayout(maskIFD, *mask, negative.RawTransparencyMaskBitDepth(), uncompressed ? 1 : 8, 1);
    }

    // IFD 0 is the smallest preview when there is one.
    const dng_preview* ifd0Preview = nullptr;
    if (previews)
        for (uint32_t i = 0; i < previews->Count(); ++i)
            if (!ifd0Preview || previews->Preview(i).PixelCount() < ifd0Preview->PixelCount())
                ifd0Preview = &previews->Preview(i);

    PlannedIFD ifd0Plan;
    PlannedIFD rawPlan;
    PlannedIFD* rawTarget = ifd0Preview ? &rawPlan : &ifd0Plan;
    std::vector<std::unique_ptr<PlannedIFD>> previewPlans;
    std::vector<const dng_preview*> previewOrder;
    if (ifd0Preview) {
        ifd0Plan.basic = ifd0Preview->AddTagSet(ifd0Plan.directory);
        previewOrder.push_back(ifd0Preview);
    }
    for (uint32_t i = 0; previews && i < previews->Count(); ++i) {
        if (&previews->Preview(i) == ifd0Preview) continue;
        auto plan = std::make_unique<PlannedIFD>();
        plan->basic = previews->Preview(i).AddTagSet(plan->directory);
        previewOrder.push_back(&previews->Preview(i));
        previewPlans.push_back(std::move(plan));
    }

    dng_tiff_directory& ifd0 = ifd0Plan.directory;
    auto misc = std::make_unique<misc_tags>();
    misc_tags& tags = *misc;
    uint8_t versionBytes[4];
    VersionBytes(dngVersion, versionBytes);
    tags.Add<tag_uint8_ptr>(ifd0, 50706, tags.Keep(std::vector<uint8_t>(versionBytes, versionBytes + 4)), 4);
    VersionBytes(backward, versionBytes);
    tags.Add<tag_uint8_ptr>(ifd0, 50707, tags.Keep(std::vector<uint8_t>(versionBytes, versionBytes + 4)), 4);
    tags.Add<tag_string>(ifd0, 50708, negative.ModelName());
    if (negative.LocalName().NotEmpty()) tags.Add<tag_string>(ifd0, 50709, negative.LocalName(), false);
    tags.Add<tag_uint16>(ifd0, 274, uint16_t(metadata->BaseOrientation().ToTIFF()));
    tags.Add<tag_srational>(ifd0, 50730, negative.BaselineExposureR());
    tags.Add<tag_urational>(ifd0, 50731, negative.BaselineNoiseR());
    tags.Add<tag_urational>(ifd0, 50732, negative.BaselineSharpnessR());
    tags.Add<tag_urational>(ifd0, 50739, negative.ShadowScaleR());
    if (negative.PrivateLength())
        tags.Add<tag_data_ptr>(ifd0, 50740, ttByte, negative.PrivateLength(),
                               negative.PrivateData()->Buffer());
    if (negative.ColorimetricReference())
        tags.Add<tag_uint16>(ifd0, 50879, uint16_t(negative.ColorimetricReference()));

    ifd0Plan.sets.push_back(std::move(misc));
    // The embedded profile goes into IFD 0; every other one is an extra profile, in list order.
    const dng_camera_profile* embedded = negative.ProfileToEmbed();
    std::vector<const dng_camera_profile*> extraProfiles;
    for (uint32_t i = 0; i < negative.ProfileCount(); ++i)
        if (&negative.ProfileByIndex(i) != embedded) extraProfiles.push_back(&negative.ProfileByIndex(i));
    if (embedded) ifd0Plan.sets.push_back(std::make_unique<profile_tag_set>(ifd0, *embedded));
    ifd0Plan.sets.push_back(std::make_unique<color_tag_set>(ifd0, negative));

    auto more = std::make_unique<misc_tags>();
    misc_tags& tags2 = *more;
    std::vector<uint32_t> extraProfileOffsets(extraProfiles.size(), 0);
    if (!extraProfileOffsets.empty())
        tags2.Add<tag_uint32_ptr>(ifd0, 50933, extraProfileOffsets.data(),
                                  uint32_t(extraProfileOffsets.size()));

    // The digest and the unique ID are only read when the directories go out, after the data:
    // with threads to spare they are computed while the tiles are encoded.
    tags2.Add<tag_uint8_ptr>(ifd0, use14 ? 51111 : 50972,
                             use14 ? negative.NewRawImageDigest().data : negative.RawImageDigest().data, 16);
    dng_fingerprint uniqueID;
    tags2.Add<tag_uint8_ptr>(ifd0, 50781, uniqueID.data, 16);
    auto findDigest = [&negative, use14, &host] {
        dng_host digestHost(&host.Allocator(), host.Sniffer());
        if (use14)
            negative.FindNewRawImageDigest(digestHost);
        else
            negative.FindRawImageDigest(digestHost);
    };
    auto findUniqueID = [&negative, &host, &uniqueID] {
        dng_host digestHost(&host.Allocator(), host.Sniffer());
        negative.FindRawDataUniqueID(digestHost);
        uniqueID = negative.RawDataUniqueID();
    };
    // The ID is made from the tiled digest. Where the file's digest is that one too, the ID
    // follows it in one job; the classic digest of plain integer data is another pass over
    // the image, which runs beside it.
    const bool oneDigest = use14 || isFloat || mask;
    std::future<void> digest, identity;
    if (host.AreaTaskThreadCount() > 1 && oneDigest) {
        digest = std::async(std::launch::async, [&] {
            findDigest();
            findUniqueID();
        });
    } else if (host.AreaTaskThreadCount() > 1) {
        digest = std::async(std::launch::async, findDigest);
        identity = std::async(std::launch::async, findUniqueID);
    } else {
        findDigest();
        findUniqueID();
    }
    if (negative.OriginalRawFileName().NotEmpty())
        tags2.Add<tag_string>(ifd0, 50827, negative.OriginalRawFileName(), false);
    if (negative.HasOriginalRawFileData()) {
        const dng_memory_block* data = negative.OriginalRawFileData();
        tags2.Add<tag_data_ptr>(ifd0, 50828, ttUndefined, data->LogicalSize(), data->Buffer());
        tags2.Add<tag_uint8_ptr>(ifd0, 50973, negative.OriginalRawFileDigest().data, 16);
    }
    if (tag_xmp* xmp = tags2.Create<tag_xmp>(metadata->GetXMP()); xmp->Count()) ifd0.Add(xmp);
    const dng_memory_block* makerNote = metadata->MakerNote();
    ifd0Plan.sets.push_back(std::move(more));
    exif_tag_set* exifSet = nullptr;
    if (const dng_exif* exif = metadata->GetExif()) {
        auto set = std::make_unique<exif_tag_set>(ifd0, *exif, metadata->IsMakerNoteSafe(),
                                                  makerNote ? makerNote->Buffer() : nullptr,
                                                  makerNote ? makerNote->LogicalSize() : 0, true);
        exifSet = set.get();
        ifd0Plan.sets.push_back(std::move(set));
    }

    auto sizes = std::make_unique<misc_tags>();
    misc_tags& tags3 = *sizes;
    const dng_point originalFinal = negative.OriginalDefaultFinalSize();
    if (originalFinal != dng_point() && negative.Stage3Image() &&
        originalFinal !=
            dng_point(int32_t(negative.DefaultFinalHeight()), int32_t(negative.DefaultFinalWidth())))
        tags3.Add<tag_uint32_ptr>(
            ifd0, 51089,
            tags3.Keep(std::vector<uint32_t>{uint32_t(originalFinal.h), uint32_t(originalFinal.v)}), 2);
    const dng_point originalBest = negative.OriginalBestQualityFinalSize();
    if (originalBest != dng_point() && negative.Stage3Image() &&
        originalBest !=
            dng_point(int32_t(negative.BestQualityFinalHeight()), int32_t(negative.BestQualityFinalWidth())))
        tags3.Add<tag_uint32_ptr>(
            ifd0, 51090,
            tags3.Keep(std::vector<uint32_t>{uint32_t(originalBest.h), uint32_t(originalBest.v)}), 2);
    if (negative.OriginalDefaultCropSizeH().IsValid() && negative.OriginalDefaultCropSizeV().IsValid() &&
        (negative.OriginalDefaultCropSizeH() != negative.DefaultCropSizeH() ||
         negative.OriginalDefaultCropSizeV() != negative.DefaultCropSizeV()))
        tags3.Add<tag_urational_ptr>(
            ifd0, 51091,
            tags3.Keep(std::vector<dng_urational>{negative.OriginalDefaultCropSizeH(),
                                                  negative.OriginalDefaultCropSizeV()}),
            2);

    // The raw directory's own tags.
    dng_tiff_directory& raw = rawTarget->directory;
    auto rawBasic = std::make_unique<dng_basic_tag_set>(raw, rawIFD);
    dng_basic_tag_set* rawBasicPtr = rawBasic.get();
    if (ifd0Preview)
        rawPlan.basic = std::move(rawBasic);
    else
        ifd0Plan.sets.push_back(std::move(rawBasic));
    if (isCFA) ifd0Plan.sets.push_back(std::make_unique<mosaic_tag_set>(raw, *mosaic));
    tags3.Add<tag_urational_ptr>(
        raw, 50718,
        tags3.Keep(std::vector<dng_urational>{negative.DefaultScaleH(), negative.DefaultScaleV()}), 2);
    tags3.Add<tag_urational>(raw, 50780, negative.BestQualityScale());
    tags3.Add<tag_urational_ptr>(
        raw, 50719,
        tags3.Keep(std::vector<dng_urational>{negative.DefaultCropOriginH(), negative.DefaultCropOriginV()}),
        2);
    tags3.Add<tag_urational_ptr>(
        raw, 50720,
        tags3.Keep(std::vector<dng_urational>{negative.DefaultCropSizeH(), negative.DefaultCropSizeV()}), 2);
    if (negative.HasDefaultUserCrop())
        tags3.Add<tag_urational_ptr>(
            raw, 51125,
            tags3.Keep(std::vector<dng_urational>{negative.DefaultUserCropT(), negative.DefaultUserCropL(),
                                                  negative.DefaultUserCropB(), negative.DefaultUserCropR()}),
            4);
    if (negative.ChromaBlurRadius().d) tags3.Add<tag_urational>(raw, 50737, negative.ChromaBlurRadius());
    if (negative.AntiAliasStrength().d) tags3.Add<tag_urational>(raw, 50738, negative.AntiAliasStrength());
    std::unique_ptr<dng_memory_block> opcodeBlocks[3];
    const dng_opcode_list* lists[3] = {&negative.OpcodeList1(), &negative.OpcodeList2(),
                                       &negative.OpcodeList3()};
    const uint16_t listCodes[3] = {51008, 51009, 51022};
    for (int i = 0; i < 3; ++i)
        if (lists[i]->NotEmpty()) {
            opcodeBlocks[i] = lists[i]->Spool(host);
            tags3.Add<tag_data_ptr>(raw, listCodes[i], ttUndefined, opcodeBlocks[i]->LogicalSize(),
                                    opcodeBlocks[i]->Buffer());
        }
    std::vector<dng_tiff_directory*> noiseTargets{&raw};
    if (ifd0Preview) noiseTargets.push_back(&ifd0);
    for (dng_tiff_directory* target : noiseTargets) {
        if (negative.NoiseReductionApplied().d)
            tags3.Add<tag_urational>(*target, 50935, negative.NoiseReductionApplied());
        if (negative.HasNoiseProfile()) tags3.Add<tag_dng_noise_profile>(*target, negative.NoiseProfile());
    }
    ifd0Plan.sets.push_back(std::move(sizes));
    ifd0Plan.sets.push_back(std::make_unique<range_tag_set>(raw, negative));

    PlannedIFD maskPlan;
    if (mask) maskPlan.basic = std::make_unique<dng_basic_tag_set>(maskPlan.directory, maskIFD);

    // SubIFDs lists every other image directory in directory order.
    std::vector<PlannedIFD*> order{&ifd0Plan};
    if (ifd0Preview) order.push_back(&rawPlan);
    if (mask) order.push_back(&maskPlan);
    for (auto& plan : previewPlans)
        order.push_back(plan.get());
    std::vector<uint32_t> subIFDs(order.size() - 1, 0);
    auto subs = std::make_unique<misc_tags>();
    if (!subIFDs.empty()) subs->Add<tag_uint32_ptr>(ifd0, 330, subIFDs.data(), uint32_t(subIFDs.size()));
    ifd0Plan.sets.push_back(std::move(subs));

    std::vector<const dng_tiff_directory*> tail;
    if (exifSet) {
        tail.push_back(&exifSet->ExifIFD());
        tail.push_back(&exifSet->GPSIFD());
    }
    std::vector<uint32_t> tailOffsets;
    const uint32_t dataStart = LayOut(order, tail, tailOffsets);
    for (size_t i = 1; i < order.size(); ++i)
        subIFDs[i - 1] = order[i]->offset;
    if (exifSet) {
        exifSet->SetExifOffset(tailOffsets[0]);
        exifSet->SetGPSOffset(tailOffsets[1]);
    }

    fTooBigCode = dng_error_image_too_big_dng;
    stream.SetWritePosition(dataStart);
    for (size_t i = 0; i < extraProfiles.size(); ++i) {
        extraProfileOffsets[i] = uint32_t(stream.Position());
        tiff_dng_extended_color_profile extended(*extraProfiles[i]);
        extended.Put(stream, false);
        if (stream.Position() & 1) stream.Put_uint8(0);
        RequireBelow4GiB(stream.Position(), fTooBigCode);
    }
    for (size_t i = 0; i < previewOrder.size(); ++i) {
        PlannedIFD& plan = i == 0 && ifd0Preview ? ifd0Plan : *previewPlans[i - (ifd0Preview ? 1 : 0)];
        previewOrder[i]->WriteData(host, *this, *plan.basic, stream);
    }
    WriteImage(host, rawIFD, *rawBasicPtr, stream, rawImage, fakeChannels);
    if (mask) WriteImage(host, maskIFD, *maskPlan.basic, stream, *mask);
    if (digest.valid()) digest.get();
    if (identity.valid()) identity.get();
    RequireBelow4GiB(stream.Position(), fTooBigCode);
    stream.SetLength(stream.Position());

    PutHeader(stream);
    for (PlannedIFD* plan : order)
        plan->directory.Put(stream);
    for (const dng_tiff_directory* directory : tail)
        directory->Put(stream);
    stream.Flush();
}

void dng_image_writer::WriteTIFF(dng_host& host, dng_stream& stream, const dng_image& image,
                                 uint32_t photometric, uint32_t compression, const dng_negative* negative,
                                 const dng_color_space* space, const dng_resolution* resolution,
                                 const dng_jpeg_preview* thumbnail, const dng_memory_block* imageResources,
                                 uint32_t metadataSubset, bool hasTransparency) {
    uint32_t profileSize = 0;
    const uint8_t* profileData = nullptr;
    if (space && !space->ICCProfile(profileSize, profileData)) {
        profileSize = 0;
        profileData = nullptr;
    }
    WriteTIFF(host, stream, image, photometric, compression, negative ? &negative->Metadata() : nullptr,
              profileData, profileSize, resolution, thumbnail, imageResources, metadataSubset,
              hasTransparency);
}

void dng_image_writer::WriteTIFF(dng_host& host, dng_stream& stream, const dng_image& image,
                                 uint32_t photometric, uint32_t compression,
                                 const dng_metadata* sourceMetadata, const void* profileData,
                                 uint32_t profileSize, const dng_resolution* resolution,
                                 const dng_jpeg_preview* thumbnail, const dng_memory_block* imageResources,
                                 uint32_t metadataSubset, bool hasTransparency) {
    std::unique_ptr<dng_metadata> metadata;
    if (sourceMetadata) {
        metadata.reset(sourceMetadata->Clone(host.Allocator()));
        PrepareMetadata(host, *metadata, metadataSubset, "image/tiff", nullptr);
        SetExifColorSpace(*metadata, profileData, profileSize);
    }

    dng_ifd ifd;
    ifd.fImageWidth = image.Width();
    ifd.fImageLength = image.Height();
    ifd.fSamplesPerPixel = image.Planes();
    for (uint32_t& b : ifd.fBitsPerSample)
        b = 8 * image.PixelSize();
    ifd.fPhotometricInterpretation = photometric;
    ifd.fCompression = compression;
    if (compression == 1) {
        ifd.SetSingleStrip();
    } else {
        ifd.FindStripSize(131072, 16);
        ifd.fPredictor = 2;
    }
    uint32_t colorSamples = 0;
    switch (photometric) {
    case 1:
        colorSamples = 1;
        break;
    case 2:
    case 8:
    case 9:
        colorSamples = 3;
        break;
    case 5:
        colorSamples = 4;
        break;
    default:
        break;
    }
    if (colorSamples && image.Planes() > colorSamples) {
        ifd.fExtraSamplesCount = std::min(image.Planes() - colorSamples, dng_ifd::kMaxSamples);
        if (hasTransparency) ifd.fExtraSamples[0] = 1;
    }
    if (image.PixelType() == ttFloat)
        for (uint32_t& f : ifd.fSampleFormat)
            f = 3;

    PlannedIFD plan;
    dng_tiff_directory& dir = plan.directory;
    plan.basic = std::make_unique<dng_basic_tag_set>(dir, ifd);
    auto misc = std::make_unique<misc_tags>();
    misc_tags& tags = *misc;
    if (resolution && resolution->fXResolution.d && resolution->fYResolution.d) {
        tags.Add<tag_urational>(dir, 282, resolution->fXResolution);
        tags.Add<tag_urational>(dir, 283, resolution->fYResolution);
        tags.Add<tag_uint16>(dir, 296, resolution->fResolutionUnit);
    }
    if (profileData && profileSize) tags.Add<tag_icc_profile>(dir, profileData, profileSize);
    if (metadata && metadata->GetXMP())
        if (tag_xmp* xmp = tags.Create<tag_xmp>(metadata->GetXMP()); xmp->Count()) dir.Add(xmp);
    if (metadata && metadata->IPTCLength())
        tags.Add<tag_iptc>(dir, metadata->IPTCData(), metadata->IPTCLength());

    // Photoshop image resources.
    dng_memory_stream resources(host.Allocator());
    resources.SetBigEndian(stream.BigEndian());
    if (thumbnail) thumbnail->SpoolAdobeThumbnail(resources);
    if (metadata && metadata->IPTCLength()) {
        const dng_fingerprint digest = metadata->IPTCDigest();
        if (digest.IsValid()) {
            resources.Put_uint32(0x3842494D);
            resources.Put_uint16(0x0425);
            resources.Put_uint16(0);
            resources.Put_uint32(16);
            resources.Put(digest.data, 16);
        }
    }
    if (imageResources) resources.Put(imageResources->Buffer(), imageResources->LogicalSize());
    std::unique_ptr<dng_memory_block> resourceBlock;
    if (resources.Length()) {
        resourceBlock = resources.AsMemoryBlock(host.Allocator());
        tags.Add<tag_data_ptr>(dir, 34377, ttByte, resourceBlock->LogicalSize(), resourceBlock->Buffer());
    }
    plan.sets.push_back(std::move(misc));

    dng_exif emptyExif;
    const dng_exif& exif = metadata && metadata->GetExif() ? *metadata->GetExif() : emptyExif;
    auto exifSet = std::make_unique<exif_tag_set>(dir, exif);
    std::vector<const dng_tiff_directory*> tail{&exifSet->ExifIFD(), &exifSet->GPSIFD()};
    std::vector<uint32_t> tailOffsets;
    const uint32_t dataStart = LayOut({&plan}, tail, tailOffsets);
    exifSet->SetExifOffset(tailOffsets[0]);
    exifSet->SetGPSOffset(tailOffsets[1]);

    fTooBigCode = dng_error_image_too_big_tiff;
    stream.SetWritePosition(dataStart);
    WriteImage(host, ifd, *plan.basic, stream, image);
    RequireBelow4GiB(stream.Position(), fTooBigCode);
    stream.SetLength(stream.Position());

    PutHeader(stream);
    plan.directory.Put(stream);
    for (const dng_tiff_directory* directory : tail)
        directory->Put(stream);
    stream.Flush();
}
