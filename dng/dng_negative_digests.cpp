// The MD5 digests that identify a negative's raw data, and their validation.
#include "dng/dng_negative.h"

#include "dng/dng_area_task.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_jpeg_image.h"
#include "dng/dng_linearization_info.h"
#include "dng/dng_memory.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_safe_arithmetic.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_utils.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kDigestTileSize = 256;
constexpr uint32_t kClassicBandRows = 16;
// A linearization table of at most 256 entries means the raw data is 8-bit indices.
constexpr uint32_t kByteTableLimit = 514;

dng_fingerprint MD5(const void* data, uint32_t length) {
    dng_md5_printer printer;
    printer.Process(data, length);
    return printer.Result();
}

dng_fingerprint MD5(const dng_fingerprint& a, const dng_fingerprint& b) {
    dng_md5_printer printer;
    printer.Process(a.data, sizeof(a.data));
    printer.Process(b.data, sizeof(b.data));
    return printer.Result();
}

// One MD5 per 256 x 256 tile, stored by tile index, then one MD5 over them all in index order.
class dng_find_new_raw_image_digest_task : public dng_area_task {
  public:
    dng_find_new_raw_image_digest_task(const dng_image& image, uint32_t pixelType)
        : dng_area_task("dng_find_new_raw_image_digest_task"), fImage(image), fPixelType(pixelType),
          fPixelSize(TagTypeSize(pixelType)), fTileSize(std::min(kDigestTileSize, int32_t(image.Height())),
                                                        std::min(kDigestTileSize, int32_t(image.Width()))) {
        fMaxThreads = 1;
        // Granule and limit both at the tile size keep the runner's grid on the digest's tiles.
        fUnitCell = fTileSize;
        fMaxTileSize = fTileSize;
    }

    void Start(uint32_t threadCount, const dng_rect&, const dng_point& tileSize,
               dng_memory_allocator* allocator, dng_abort_sniffer*) override {
        if (tileSize != fTileSize) ThrowProgramError();
        fTilesAcross = SafeUint32DivideUp(fImage.Width(), uint32_t(fTileSize.h));
        fTilesDown = SafeUint32DivideUp(fImage.Height(), uint32_t(fTileSize.v));
        const uint32_t tileCount = SafeUint32Mult(fTilesAcross, fTilesDown);
        dng_guard_allocation([&] { fTileHash.assign(tileCount, dng_fingerprint()); });
        const uint32_t bufferSize = ComputeBufferSize(fPixelType, fTileSize, fImage.Planes(), padNone);
        dng_memory_allocator& blocks = allocator ? *allocator : gDefaultDNGMemoryAllocator;
        fBuffers.clear();
        for (uint32_t i = 0; i < std::clamp(threadCount, 1u, kMaxBuffers); ++i) {
            fBuffers.emplace_back(dng_guard_allocation([&] { return blocks.Allocate(bufferSize); }));
            if (!fBuffers.back()) ThrowMemoryFull();
        }
    }

    void ProcessArea(uint32_t threadIndex, const dng_rect& tile, dng_abort_sniffer*) override {
        dng_memory_block& block = *fBuffers[threadIndex % fBuffers.size()];
        dng_pixel_buffer buffer(tile, 0, fImage.Planes(), fPixelType, dng_pixel_buffer::interleaved,
                                block.Buffer());
        fImage.Get(buffer);
        const uint32_t row = uint32_t(tile.t - fImage.Bounds().t) / uint32_t(fTileSize.v);
        const uint32_t col = uint32_t(tile.l - fImage.Bounds().l) / uint32_t(fTileSize.h);
        const uint32_t bytes =
            SafeUint32Mult(SafeUint32Mult3(tile.H(), tile.W(), fImage.Planes()), fPixelSize);
        fTileHash[row * fTilesAcross + col] = MD5(block.Buffer(), bytes);
    }

    dng_fingerprint Result() const {
        dng_md5_printer printer;
        for (const dng_fingerprint& hash : fTileHash)
            printer.Process(hash.data, sizeof(hash.data));
        return printer.Result();
    }

  private:
    static constexpr uint32_t kMaxBuffers = 128;

    const dng_image& fImage;
    uint32_t fPixelType;
    uint32_t fPixelSize;
    dng_point fTileSize;
    uint32_t fTilesAcross = 0;
    uint32_t fTilesDown = 0;
    std::vector<dng_fingerprint> fTileHash;
    std::vector<std::unique_ptr<dng_memory_block>> fBuffers;
};

} // namespace

dng_fingerprint dng_negative::FindImageDigest(dng_host& host, const dng_image& image,
                                              uint32_t pixelType) const {
    dng_find_new_raw_image_digest_task task(image, pixelType);
    host.PerformAreaTask(task, image.Bounds());
    return task.Result();
}

dng_fingerprint dng_negative::ComputeNewRawImageDigest(dng_host& host) const {
    const dng_image& image = RawImage();
    uint32_t pixelType = image.PixelType();
    if (pixelType == ttShort && fLinearizationInfo && fLinearizationInfo->fLinearizationTable &&
        fLinearizationInfo->fLinearizationTable->LogicalSize() < kByteTableLimit)
        pixelType = ttByte;
    const dng_fingerprint imageDigest = FindImageDigest(host, image, pixelType);
    const dng_image* mask = RawTransparencyMask();
    if (!mask) return imageDigest;
    return MD5(imageDigest, FindImageDigest(host, *mask, mask->PixelType()));
}

dng_fingerprint dng_negative::ComputeClassicRawImageDigest(dng_host& host) const {
    const dng_image& image = RawImage();
    // 8-bit samples are digested widened to 16 bits.
    const uint32_t pixelType = image.PixelType() == ttByte ? uint32_t(ttShort) : image.PixelType();
    const uint32_t sampleSize = TagTypeSize(pixelType);
    uint32_t rowStep = 0;
    uint32_t bufferSize = 0;
    if (!SafeUint32MultChecked(image.Width(), image.Planes(), &rowStep) ||
        !SafeUint32MultChecked(rowStep, sampleSize, &bufferSize) ||
        !SafeUint32MultChecked(bufferSize, kClassicBandRows, &bufferSize))
        ThrowOverflow("Arithmetic overflow computing buffer size.");
    std::unique_ptr<dng_memory_block> block(host.Allocate(bufferSize));
    if (!block) ThrowMemoryFull();

    dng_md5_printer printer;
    const dng_rect& bounds = image.Bounds();
    for (int32_t top = bounds.t; top < bounds.b; top += int32_t(kClassicBandRows)) {
        const int32_t bottom = std::min(bounds.b, top + int32_t(kClassicBandRows));
        const dng_rect band(top, bounds.l, bottom, bounds.r);
        dng_pixel_buffer buffer(band, 0, image.Planes(), pixelType, dng_pixel_buffer::interleaved,
                                block->Buffer());
        image.Get(buffer);
        printer.Process(block->Buffer(), band.H() * rowStep * sampleSize);
    }
    return printer.Result();
}

void dng_negative::FindRawImageDigest(dng_host& host) {
    if (fRawImageDigest.IsValid()) return;
    if (RawImage().PixelType() == ttFloat || RawTransparencyMask()) {
        FindNewRawImageDigest(host);
        fRawImageDigest = fNewRawImageDigest;
        return;
    }
    fRawImageDigest = ComputeClassicRawImageDigest(host);
}

void dng_negative::FindNewRawImageDigest(dng_host& host) {
    if (fNewRawImageDigest.IsValid()) return;
    fNewRawImageDigest = ComputeNewRawImageDigest(host);
}

void dng_negative::FindRawJPEGImageDigest(dng_host& host) {
    if (fRawJPEGImageDigest.IsValid()) return;
    if (!fRawJPEGImage) ThrowProgramError("No raw JPEG image");
    fRawJPEGImageDigest = fRawJPEGImage->FindDigest(host);
}

void dng_negative::ValidateStoredDigest(dng_host& host, bool isNewDigest, const dng_fingerprint& stored) {
    dng_fingerprint& slot = isNewDigest ? fNewRawImageDigest : fRawImageDigest;
    slot = dng_fingerprint();
    try {
        if (isNewDigest)
            FindNewRawImageDigest(host);
        else
            FindRawImageDigest(host);
    } catch (...) {
        slot = stored;
        throw;
    }
    if (slot == stored) return;
    if (!isNewDigest) {
        // Older writers differed only in the first four bytes, or wrote a marker value there.
        if (std::memcmp(stored.data + 4, slot.data + 4, 12) == 0) return;
        const uint32_t marker = uint32_t(stored.data[0]) | uint32_t(stored.data[1]) << 8 |
                                uint32_t(stored.data[2]) << 16 | uint32_t(stored.data[3]) << 24;
        if (marker == 8) return;
    }
    SetIsDamaged(true);
}

void dng_negative::ValidateRawImageDigest(dng_host& host) {
    if (!fStage1Image || fIsPreview) return;
    if (fRawImageDigest.IsNull() && fNewRawImageDigest.IsNull()) return;
    const bool isNewDigest = fNewRawImageDigest.IsValid();
    const dng_fingerprint stored = isNewDigest ? fNewRawImageDigest : fRawImageDigest;
    if (fRawJPEGImageDigest.IsNull() && !fRawJPEGImage) {
        ValidateStoredDigest(host, isNewDigest, stored);
        return;
    }
    FindRawJPEGImageDigest(host);
    if (fRawJPEGImageDigest != stored) SetIsDamaged(true);
}

dng_fingerprint dng_negative::RawDataUniqueID() const {
    std::lock_guard<std::mutex> lock(fRawDataUniqueIDMutex);
    if (fRawDataUniqueID.IsNull() || fEnhanceParams.IsEmpty()) return fRawDataUniqueID;
    dng_md5_printer printer;
    printer.Process(fRawDataUniqueID.data, sizeof(fRawDataUniqueID.data));
    printer.Process(fEnhanceParams.Get(), fEnhanceParams.Length());
    return printer.Result();
}

void dng_negative::SetRawDataUniqueID(const dng_fingerprint& id) {
    std::lock_guard<std::mutex> lock(fRawDataUniqueIDMutex);
    fRawDataUniqueID = id;
}

void dng_negative::FindRawDataUniqueID(dng_host& host) {
    if (RawDataUniqueID().IsValid()) return;
    dng_md5_printer_stream printer;
    printer.SetLittleEndian();
    if (!fRawJPEGImage || RawTransparencyMask()) {
        FindNewRawImageDigest(host);
        printer.Put(fNewRawImageDigest.data, sizeof(fNewRawImageDigest.data));
    } else {
        FindRawJPEGImageDigest(host);
        printer.Put(fRawJPEGImageDigest.data, sizeof(fRawJPEGImageDigest.data));
    }
    printer.Put(fModelName.Get(), fModelName.Length());
    for (const dng_urational* r :
         {&fDefaultCropSizeH, &fDefaultCropSizeV, &fDefaultCropOriginH, &fDefaultCropOriginV,
          &fDefaultUserCropT, &fDefaultUserCropL, &fDefaultUserCropB, &fDefaultUserCropR}) {
        printer.Put_uint32(r->n);
        printer.Put_uint32(r->d);
    }
    fOpcodeList1.Write(printer);
    fOpcodeList2.Write(printer);
    fOpcodeList3.Write(printer);
    std::lock_guard<std::mutex> lock(fRawDataUniqueIDMutex);
    printer.Flush();
    fRawDataUniqueID = printer.Result();
}

void dng_negative::RecomputeRawDataUniqueID(dng_host& host) {
    SetRawDataUniqueID(dng_fingerprint());
    FindRawDataUniqueID(host);
}

void dng_negative::FindOriginalRawFileDigest() {
    if (fOriginalRawFileDigest.IsNull() && fOriginalRawFileData)
        fOriginalRawFileDigest = MD5(fOriginalRawFileData->Buffer(), fOriginalRawFileData->LogicalSize());
}

void dng_negative::ValidateOriginalRawFileDigest() {
    if (fOriginalRawFileDigest.IsNull() || !fOriginalRawFileData) return;
    const dng_fingerprint stored = fOriginalRawFileDigest;
    fOriginalRawFileDigest = dng_fingerprint();
    FindOriginalRawFileDigest();
    if (fOriginalRawFileDigest != stored) {
        SetIsDamaged(true);
        fOriginalRawFileDigest = stored;
    }
}
