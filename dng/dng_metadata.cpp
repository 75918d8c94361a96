#include "dng/dng_metadata.h"

#include "dng/dng_date_time.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_exif.h"
#include "dng/dng_host.h"
#include "dng/dng_memory.h"
#include "dng/dng_xmp.h"

namespace {
std::unique_ptr<dng_memory_block> CloneBlock(const std::unique_ptr<dng_memory_block>& block,
                                             dng_memory_allocator& allocator) {
    return std::unique_ptr<dng_memory_block>(block ? block->Clone(allocator) : nullptr);
}

template <typename T> std::unique_ptr<T> CloneObject(const std::unique_ptr<T>& object) {
    return std::unique_ptr<T>(object ? object->Clone() : nullptr);
}
} // namespace

dng_metadata::dng_metadata(dng_host& host) : fExif(host.CreateExif()), fXMP(host.CreateXmp()) {}

dng_metadata::~dng_metadata() = default;

dng_metadata* dng_metadata::Clone(dng_memory_allocator& allocator) const {
    std::unique_ptr<dng_metadata> copy(dng_guard_allocation([] { return new dng_metadata; }));
    copy->fHasBaseOrientation = fHasBaseOrientation;
    copy->fBaseOrientation = fBaseOrientation;
    copy->fIsMakerNoteSafe = fIsMakerNoteSafe;
    copy->fMakerNote = CloneBlock(fMakerNote, allocator);
    copy->fExif = CloneObject(fExif);
    copy->fOriginalExif = CloneObject(fOriginalExif);
    copy->fIPTCBlock = CloneBlock(fIPTCBlock, allocator);
    copy->fIPTCOffset = fIPTCOffset;
    copy->fXMP = CloneObject(fXMP);
    copy->fEmbeddedXMPDigest = fEmbeddedXMPDigest;
    copy->fXMPPriority = fXMPPriority;
    copy->fSecondXMP = fSecondXMP;
    copy->fSourceMIME = fSourceMIME;
    return copy.release();
}

void dng_metadata::SetBaseOrientation(const dng_orientation& orientation) {
    fHasBaseOrientation = true;
    fBaseOrientation = orientation;
}

void dng_metadata::SetMakerNote(std::unique_ptr<dng_memory_block> block) { fMakerNote = std::move(block); }

void dng_metadata::ClearMakerNote() {
    fIsMakerNoteSafe = false;
    fMakerNote.reset();
}

void dng_metadata::ResetExif(std::unique_ptr<dng_exif> exif) { fExif = std::move(exif); }

void dng_metadata::ResetOriginalExif(std::unique_ptr<dng_exif> exif) { fOriginalExif = std::move(exif); }

void dng_metadata::ResetXMP(std::unique_ptr<dng_xmp> xmp) { fXMP = std::move(xmp); }

const void* dng_metadata::IPTCData() const { return fIPTCBlock ? fIPTCBlock->Buffer() : nullptr; }

uint32_t dng_metadata::IPTCLength() const { return fIPTCBlock ? fIPTCBlock->LogicalSize() : 0; }

int64_t dng_metadata::IPTCOffset() const { return fIPTCBlock ? fIPTCOffset : -1; }

void dng_metadata::SetIPTC(std::unique_ptr<dng_memory_block> block) { SetIPTC(std::move(block), -1); }

void dng_metadata::SetIPTC(std::unique_ptr<dng_memory_block> block, int64_t offset) {
    fIPTCBlock = std::move(block);
    fIPTCOffset = offset;
}

void dng_metadata::ClearIPTC() { SetIPTC(nullptr); }

dng_fingerprint dng_metadata::IPTCDigest(bool includePadding) const {
    uint32_t length = IPTCLength();
    if (length == 0) return dng_fingerprint();
    const uint8_t* data = fIPTCBlock->Buffer_uint8();
    // TIFF writers pad the block to whole words.
    for (uint32_t removed = 0; !includePadding && removed < 3 && length > 0 && data[length - 1] == 0;
         ++removed)
        --length;
    dng_md5_printer printer;
    printer.Process(data, length);
    return printer.Result();
}

void dng_metadata::RebuildIPTC(dng_memory_allocator& allocator, bool padForTIFF) {
    ClearIPTC();
    if (!fXMP) return;
    fXMP->MakeIPTC(*this, allocator, padForTIFF);
    fXMP->SetIPTCDigest(IPTCDigest(true));
}

void dng_metadata::SynchronizeMetadata() {
    if (!fExif) ThrowProgramError("Expected valid fExif field in dng_metadata::SynchronizeMetadata");
    if (!fOriginalExif) fOriginalExif.reset(fExif->Clone());
    if (!fXMP) return;
    fXMP->PrepareNamespaces();
    fXMP->TakeIPTC(*this);
    fXMP->SyncExif(*fExif);
    fXMP->SyncOrientation(*this, fXMPPriority);
}

void dng_metadata::UpdateDateTimeToNow() {
    dng_date_time_info now;
    CurrentDateTimeAndZone(now);
    if (fExif) fExif->SetDateTime(now);
    if (fXMP) {
        fXMP->UpdateDateTime(now);
        fXMP->UpdateMetadataDate(now);
    }
}
