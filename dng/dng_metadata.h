#pragma once
// Everything about a photograph that is not pixels or colour: the EXIF record and a copy of its
// original values, the XMP object, the IPTC-IIM block, the maker note and the base orientation.
#include "dng/dng_fingerprint.h"
#include "dng/dng_orientation.h"
#include "dng/dng_string.h"

#include <cstdint>
#include <memory>

class dng_exif;
class dng_host;
class dng_memory_allocator;
class dng_memory_block;
class dng_xmp;

class dng_metadata {
  public:
    // The EXIF record and the XMP object come from the host's factories.
    explicit dng_metadata(dng_host& host);
    dng_metadata(const dng_metadata&) = delete;
    dng_metadata& operator=(const dng_metadata&) = delete;
    virtual ~dng_metadata();

    // A deep copy; blocks are copied with the given allocator. The caller owns it.
    virtual dng_metadata* Clone(dng_memory_allocator& allocator) const;

    bool HasBaseOrientation() const { return fHasBaseOrientation; }
    const dng_orientation& BaseOrientation() const { return fBaseOrientation; }
    void SetBaseOrientation(const dng_orientation& orientation);

    bool IsMakerNoteSafe() const { return fIsMakerNoteSafe; }
    void SetMakerNoteSafety(bool safe) { fIsMakerNoteSafe = safe; }
    const dng_memory_block* MakerNote() const { return fMakerNote.get(); }
    void SetMakerNote(std::unique_ptr<dng_memory_block> block);
    void ClearMakerNote();

    dng_exif* GetExif() { return fExif.get(); }
    const dng_exif* GetExif() const { return fExif.get(); }
    void ResetExif(std::unique_ptr<dng_exif> exif);
    const dng_exif* GetOriginalExif() const { return fOriginalExif.get(); }
    void ResetOriginalExif(std::unique_ptr<dng_exif> exif);

    dng_xmp* GetXMP() { return fXMP.get(); }
    const dng_xmp* GetXMP() const { return fXMP.get(); }
    void ResetXMP(std::unique_ptr<dng_xmp> xmp);

    // IPTC-IIM bytes, or null and 0; the offset in a source file is -1 without a block.
    const void* IPTCData() const;
    uint32_t IPTCLength() const;
    int64_t IPTCOffset() const;
    // Replaces the block; a block set here has no source offset.
    void SetIPTC(std::unique_ptr<dng_memory_block> block);
    void SetIPTC(std::unique_ptr<dng_memory_block> block, int64_t offset);
    void ClearIPTC();
    // MD5 of the block; without padding up to three trailing zero bytes are left out.
    dng_fingerprint IPTCDigest(bool includePadding = true) const;
    // Rebuilds the block from the XMP's IPTC properties.
    void RebuildIPTC(dng_memory_allocator& allocator, bool padForTIFF);

    const dng_fingerprint& EmbeddedXMPDigest() const { return fEmbeddedXMPDigest; }
    void SetEmbeddedXMPDigest(const dng_fingerprint& digest) { fEmbeddedXMPDigest = digest; }
    bool XMPPriority() const { return fXMPPriority; }
    void SetXMPPriority(bool priority) { fXMPPriority = priority; }
    bool SecondXMP() const { return fSecondXMP; }
    void SetSecondXMP(bool second) { fSecondXMP = second; }
    const dng_string& SourceMIME() const { return fSourceMIME; }
    void SetSourceMIME(const char* s) { fSourceMIME.Set(s); }

    // Brings the EXIF, IPTC and XMP records in step before a save.
    void SynchronizeMetadata();
    // Stamps the EXIF and XMP modification dates with the current local time.
    void UpdateDateTimeToNow();

  private:
    // For Clone: every field default, nothing from a host.
    dng_metadata() = default;

    bool fHasBaseOrientation = false;
    dng_orientation fBaseOrientation;
    bool fIsMakerNoteSafe = false;
    std::unique_ptr<dng_memory_block> fMakerNote;
    std::unique_ptr<dng_exif> fExif;
    std::unique_ptr<dng_exif> fOriginalExif;
    std::unique_ptr<dng_memory_block> fIPTCBlock;
    int64_t fIPTCOffset = -1;
    std::unique_ptr<dng_xmp> fXMP;
    dng_fingerprint fEmbeddedXMPDigest;
    bool fXMPPriority = false;
    bool fSecondXMP = false;
    dng_string fSourceMIME;
};
