#pragma once
// The context of every DNG operation: allocator, sniffer, factories, save settings and the
// runner of area tasks (on the shared concurrent queue).
#include "dng/dng_rect.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>

class dng_abort_sniffer;
class dng_area_task;
class dng_area_task_progress;
class dng_exif;
class dng_ifd;
class dng_image;
class dng_memory_allocator;
class dng_memory_block;
class dng_negative;
class dng_opcode;
class dng_opcode_list;
class dng_shared;
class dng_stream;
class dng_xmp;

class dng_host : private dng_uncopyable {
  public:
    explicit dng_host(dng_memory_allocator* allocator = nullptr, dng_abort_sniffer* sniffer = nullptr);
    virtual ~dng_host() = default;

    // The host's allocator, or the process-wide default.
    dng_memory_allocator& Allocator();
    dng_abort_sniffer* Sniffer() { return fSniffer; }

    virtual dng_memory_block* Allocate(uint32_t logicalSize);
    virtual void SniffForAbort();

    // The DNG version being saved; 0 when no DNG is being saved.
    virtual uint32_t SaveDNGVersion() const { return fSaveDNGVersion; }
    void SetSaveDNGVersion(uint32_t version) { fSaveDNGVersion = version; }
    virtual bool SaveLinearDNG(const dng_negative& negative) const;
    void SetSaveLinearDNG(bool saveLinear) { fSaveLinearDNG = saveLinear; }

    virtual bool IsTransientCode(int32_t code) const;

    virtual void PerformAreaTask(dng_area_task& task, const dng_rect& area,
                                 dng_area_task_progress* progress = nullptr);
    // The workers area tasks run on; 0, the default, means one per processor of the shared
    // concurrent queue. Tiles and per-thread buffers keep results independent of the count.
    virtual uint32_t AreaTaskThreadCount() const;
    void SetAreaTaskThreadCount(uint32_t count) { fAreaTaskThreadCount = count; }

    // Factories: the caller owns what they return.
    virtual dng_exif* CreateExif();
    virtual dng_xmp* CreateXmp();
    virtual dng_shared* CreateShared();
    virtual dng_ifd* CreateIfd();
    virtual dng_negative* MakeNegative();
    virtual dng_image* CreateImage(const dng_rect& bounds, uint32_t planes, uint32_t pixelType);
    virtual dng_opcode* CreateOpcode(uint32_t opcodeID, dng_stream& stream);
    // The list may replace the image held in the slot.
    virtual void ApplyOpcodeList(dng_opcode_list& list, dng_negative& negative,
                                 std::unique_ptr<dng_image>& image);
    virtual void ResampleInto(const dng_image& source, dng_image& destination);

    bool NeedsMetadata() const { return fNeedsMetadata; }
    bool NeedsImage() const { return fNeedsImage; }
    bool ForPreview() const { return fForPreview; }

    uint32_t MinimumSize() const { return fMinimumSize; }
    uint32_t PreferredSize() const { return fPreferredSize; }
    uint32_t MaximumSize() const { return fMaximumSize; }
    void SetMinimumSize(uint32_t size) { fMinimumSize = size; }
    void SetPreferredSize(uint32_t size) { fPreferredSize = size; }
    void SetMaximumSize(uint32_t size) { fMaximumSize = size; }
    // Makes the three sizes consistent and derives a missing minimum from the preferred size.
    void ValidateSizes();

    double CropFactor() const { return fCropFactor; }
    void SetCropFactor(double factor) { fCropFactor = factor; }

    bool UseAlternativeSize() const { return fUseAlternativeSize; }
    void SetUseAlternativeSize(bool use) { fUseAlternativeSize = use; }
    uint32_t AlternativePreferredSize() const { return fAlternativePreferredSize; }
    void SetAlternativePreferredSize(uint32_t size) { fAlternativePreferredSize = size; }

    // Keeps the stage-2 image, mosaic information and last opcode list after stage 3 is built.
    bool KeepStage2() const { return fKeepStage2; }
    void SetKeepStage2(bool keep) { fKeepStage2 = keep; }

  private:
    dng_memory_allocator* fAllocator;
    dng_abort_sniffer* fSniffer;
    bool fNeedsMetadata = true;
    bool fNeedsImage = true;
    bool fForPreview = false;
    uint32_t fMinimumSize = 0;
    uint32_t fPreferredSize = 0;
    uint32_t fMaximumSize = 0;
    double fCropFactor = 1.0;
    uint32_t fSaveDNGVersion = 0;
    bool fSaveLinearDNG = false;
    bool fUseAlternativeSize = false;
    uint32_t fAlternativePreferredSize = 0;
    bool fKeepStage2 = false;
    uint32_t fAreaTaskThreadCount = 0;
};
