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

// The part of an image an area opcode touches: a rectangle, a plane range and a pitch.
struct dng_area_spec {
    dng_rect fArea;
    uint32_t fPlane = 0;
    uint32_t fPlanes = 1;
    uint32_t fRowPitch = 1;
    uint32_t fColPitch = 1;

    void GetData(dng_stream& stream);
    void PutData(dng_stream& stream) const;
    // The area clipped to the image and moved onto the pitch's first row and column.
    dng_rect Overlap(const dng_rect& bounds) const;
};

// Base of the opcodes that change samples in place over an area spec.
class dng_inplace_opcode : public dng_opcode {
  public:
    dng_inplace_opcode(uint32_t id, uint32_t minVersion, uint32_t flags)
        : dng_opcode(id, minVersion, flags) {}

    void Apply(dng_host& host, dng_negative& negative, std::unique_ptr<dng_image>& image) override;
    const dng_area_spec& AreaSpec() const { return fAreaSpec; }

  protected:
    // Samples 0..1 of one plane over rows of `buffer` that fall on the pitch.
    virtual void ProcessRow(float* samples, uint32_t count, int32_t row, int32_t firstCol, uint32_t plane,
                            const dng_rect& bounds) const = 0;
    // Integer images may be handled exactly instead; false leaves it to ProcessRow.
    virtual bool ProcessRow16(uint16_t*, uint32_t, int32_t, int32_t, uint32_t) const { return false; }

    dng_area_spec fAreaSpec;
};

// Multiplies samples by a gain interpolated from a grid laid over the image.
class dng_opcode_GainMap : public dng_inplace_opcode {
  public:
    dng_opcode_GainMap(uint32_t minVersion, uint32_t flags, dng_stream& stream);
    void PutData(dng_stream& stream) const override;

    float Gain(double v, double h, uint32_t mapPlane) const;

  protected:
    void ProcessRow(float* samples, uint32_t count, int32_t row, int32_t firstCol, uint32_t plane,
                    const dng_rect& bounds) const override;

  private:
    uint32_t fPointsV = 0, fPointsH = 0;
    double fSpacingV = 0, fSpacingH = 0, fOriginV = 0, fOriginH = 0;
    uint32_t fMapPlanes = 0;
    std::vector<float> fGains;
};

// Maps 16-bit samples through a table (the last entry for values beyond it).
class dng_opcode_MapTable : public dng_inplace_opcode {
  public:
    dng_opcode_MapTable(uint32_t minVersion, uint32_t flags, dng_stream& stream);
    void PutData(dng_stream& stream) const override;

  protected:
    void ProcessRow(float* samples, uint32_t count, int32_t row, int32_t firstCol, uint32_t plane,
                    const dng_rect& bounds) const override;
    bool ProcessRow16(uint16_t* samples, uint32_t count, int32_t row, int32_t firstCol,
                      uint32_t plane) const override;

  private:
    std::vector<uint16_t> fTable;
};

// Maps samples through a polynomial of degree up to 8.
class dng_opcode_MapPolynomial : public dng_inplace_opcode {
  public:
    dng_opcode_MapPolynomial(uint32_t minVersion, uint32_t flags, dng_stream& stream);
    void PutData(dng_stream& stream) const override;

  protected:
    void ProcessRow(float* samples, uint32_t count, int32_t row, int32_t firstCol, uint32_t plane,
                    const dng_rect& bounds) const override;

  private:
    std::vector<double> fCoefficients;
};

// Adds (delta) or multiplies by (scale) one value per row or per column of the pitch.
class dng_opcode_RowColumnTable : public dng_inplace_opcode {
  public:
    dng_opcode_RowColumnTable(uint32_t id, uint32_t minVersion, uint32_t flags, dng_stream& stream);
    void PutData(dng_stream& stream) const override;

  protected:
    void ProcessRow(float* samples, uint32_t count, int32_t row, int32_t firstCol, uint32_t plane,
                    const dng_rect& bounds) const override;

  private:
    bool PerRow() const { return OpcodeID() == dngOpcode_DeltaPerRow || OpcodeID() == dngOpcode_ScalePerRow; }
    bool IsScale() const {
        return OpcodeID() == dngOpcode_ScalePerRow || OpcodeID() == dngOpcode_ScalePerColumn;
    }
    std::vector<float> fTable;
};

// Trims the image to a rectangle.
class dng_opcode_TrimBounds : public dng_opcode {
  public:
    dng_opcode_TrimBounds(uint32_t minVersion, uint32_t flags, dng_stream& stream);
    void PutData(dng_stream& stream) const override;
    void Apply(dng_host& host, dng_negative& negative, std::unique_ptr<dng_image>& image) override;

  private:
    dng_rect fBounds;
};
