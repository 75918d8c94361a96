#pragma once
// The opcodes a DNG file may carry in its opcode lists, read from their stream form.
#include "dng/dng_opcode.h"

#include <cstdint>
#include <vector>

class dng_stream;

enum dng_opcode_id : uint32_t {
    dngOpcode_WarpRectilinear = 1,
    dngOpcode_WarpFisheye = 2,
    dngOpcode_FixVignetteRadial = 3,
    dngOpcode_FixBadPixelsConstant = 4,
    dngOpcode_FixBadPixelsList = 5,
    dngOpcode_TrimBounds = 6,
    dngOpcode_MapTable = 7,
    dngOpcode_MapPolynomial = 8,
    dngOpcode_GainMap = 9,
    dngOpcode_DeltaPerRow = 10,
    dngOpcode_DeltaPerColumn = 11,
    dngOpcode_ScalePerRow = 12,
    dngOpcode_ScalePerColumn = 13,
};

// An opcode this reader does not know: kept byte for byte so that it writes back unchanged.
// An optional one is skipped; a required one fails with the bad-format code when applied.
class dng_opcode_Unknown : public dng_opcode {
  public:
    dng_opcode_Unknown(uint32_t id, uint32_t minVersion, uint32_t flags, dng_stream& stream);

    bool IsNOP() const override { return Optional(); }
    void PutData(dng_stream& stream) const override;
    void Apply(dng_host& host, dng_negative& negative, std::unique_ptr<dng_image>& image) override;

  private:
    std::vector<uint8_t> fData;
};

// The opcode of `id` whose parameter block (led by its byte count) is at the stream's position.
// A block that does not match what the opcode holds fails with the bad-format code.
std::unique_ptr<dng_opcode> MakeOpcode(uint32_t id, uint32_t minVersion, uint32_t flags, dng_stream& stream);
