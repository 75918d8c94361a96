#pragma once
// One step of an opcode list. This program defines no concrete opcode; the interface exists so
// that a list can hold, check, apply and write any.
#include "dng/dng_rect.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>
#include <memory>

class dng_host;
class dng_image;
class dng_negative;
class dng_stream;

class dng_opcode : private dng_uncopyable {
  public:
    // A reader that cannot apply the opcode may skip it.
    static constexpr uint32_t kFlag_Optional = 1;
    // Skipped while the host's preview flag is set.
    static constexpr uint32_t kFlag_SkipIfPreview = 2;

    dng_opcode(uint32_t id, uint32_t minVersion, uint32_t flags)
        : fID(id), fMinVersion(minVersion), fFlags(flags) {}

    virtual void BeforeApply(dng_host& /*host*/, dng_negative& /*negative*/, const dng_rect& /*bounds*/,
                             uint32_t /*planes*/) {}
    virtual ~dng_opcode() = default;
    virtual bool IsNOP() const { return false; }
    virtual bool IsValidForNegative(const dng_negative& /*negative*/) const { return true; }
    // The parameter block, led by its byte count.
    virtual void PutData(dng_stream& stream) const;
    // May replace the image held in the slot.
    virtual void Apply(dng_host& host, dng_negative& negative, std::unique_ptr<dng_image>& image) = 0;

    uint32_t OpcodeID() const { return fID; }
    uint32_t MinVersion() const { return fMinVersion; }
    uint32_t Flags() const { return fFlags; }
    bool Optional() const { return (fFlags & kFlag_Optional) != 0; }
    bool SkipIfPreview() const { return (fFlags & kFlag_SkipIfPreview) != 0; }
    bool WasReadFromStream() const { return fWasReadFromStream; }
    uint32_t Stage() const { return fStage; }
    void SetStage(uint32_t stage) { fStage = stage; }

  protected:
    void SetWasReadFromStream() { fWasReadFromStream = true; }

  private:
    uint32_t fID;
    uint32_t fMinVersion;
    uint32_t fFlags;
    bool fWasReadFromStream = false;
    uint32_t fStage = 0;
};
