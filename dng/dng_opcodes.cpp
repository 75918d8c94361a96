#include "dng/dng_opcodes.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_info.h"
#include "dng/dng_opcode_list.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>

namespace {
// Lists larger than this are not opcode lists any writer makes.
constexpr uint32_t kMaxOpcodes = 4096;
} // namespace

dng_opcode_Unknown::dng_opcode_Unknown(uint32_t id, uint32_t minVersion, uint32_t flags, dng_stream& stream)
    : dng_opcode(id, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = stream.Get_uint32();
    if (size > stream.Length() - stream.Position())
        ThrowBadFormat("Opcode parameters beyond the end of the list");
    fData.resize(size);
    if (size) stream.Get(fData.data(), size);
}

void dng_opcode_Unknown::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(fData.size()));
    if (!fData.empty()) stream.Put(fData.data(), uint32_t(fData.size()));
}

void dng_opcode_Unknown::Apply(dng_host&, dng_negative&, std::unique_ptr<dng_image>&) {
    ThrowBadFormat("Required opcode of an unknown kind");
}

void ParseOpcodeList(dng_host& host, dng_stream& stream, uint64_t offset, uint32_t count,
                     dng_opcode_list& list) {
    if (count < 4) ThrowBadFormat("Opcode list too short");
    const uint64_t length = stream.Length();
    if (offset > length || count > length - offset) ThrowBadFormat("Opcode list beyond the end of the file");
    // The list's stream form is big-endian whatever the file's byte order.
    TempBigEndian order(stream);
    stream.SetReadPosition(offset);
    const uint64_t end = offset + count;
    const uint32_t opcodes = stream.Get_uint32();
    if (opcodes > kMaxOpcodes || uint64_t(opcodes) * 16 > count - 4) ThrowBadFormat("Bad opcode count");
    list.Clear();
    for (uint32_t i = 0; i < opcodes; ++i) {
        host.SniffForAbort();
        if (stream.Position() + 16 > end) ThrowBadFormat("Opcode beyond the end of its list");
        const uint32_t id = stream.Get_uint32();
        const uint32_t minVersion = stream.Get_uint32();
        const uint32_t flags = stream.Get_uint32();
        const uint64_t sizeAt = stream.Position();
        const uint32_t size = stream.Get_uint32();
        if (size > end - stream.Position()) ThrowBadFormat("Opcode parameters beyond the end of the list");
        stream.SetReadPosition(sizeAt);
        std::unique_ptr<dng_opcode> opcode = MakeOpcode(id, minVersion, flags, stream);
        // Whatever the opcode read, the next one starts after this one's block.
        stream.SetReadPosition(sizeAt + 4 + size);
        list.Append(std::move(opcode));
    }
}

std::unique_ptr<dng_opcode> MakeOpcode(uint32_t id, uint32_t minVersion, uint32_t flags, dng_stream& stream) {
    switch (id) {
    case dngOpcode_GainMap:
        return std::make_unique<dng_opcode_GainMap>(minVersion, flags, stream);
    case dngOpcode_MapTable:
        return std::make_unique<dng_opcode_MapTable>(minVersion, flags, stream);
    case dngOpcode_MapPolynomial:
        return std::make_unique<dng_opcode_MapPolynomial>(minVersion, flags, stream);
    case dngOpcode_DeltaPerRow:
    case dngOpcode_DeltaPerColumn:
    case dngOpcode_ScalePerRow:
    case dngOpcode_ScalePerColumn:
        return std::make_unique<dng_opcode_RowColumnTable>(id, minVersion, flags, stream);
    case dngOpcode_TrimBounds:
        return std::make_unique<dng_opcode_TrimBounds>(minVersion, flags, stream);
    default:
        return std::make_unique<dng_opcode_Unknown>(id, minVersion, flags, stream);
    }
}

// ---- Parameter blocks.

namespace {

constexpr int32_t kBandRows = 64;
constexpr uint32_t kMaxTableSize = 65536;
constexpr uint32_t kMaxMapPoints = 1u << 20;

// Reads the block's byte count and checks it against what the opcode holds.
void ExpectSize(dng_stream& stream, uint64_t expected) {
    const uint32_t size = stream.Get_uint32();
    if (size != expected) ThrowBadFormat("Opcode parameters of the wrong size");
}

uint32_t RemainingBlock(dng_stream& stream) {
    // The count leads the block; what follows must lie in the stream.
    const uint32_t size = stream.Get_uint32();
    if (size > stream.Length() - stream.Position())
        ThrowBadFormat("Opcode parameters beyond the end of the list");
    return size;
}

} // namespace

void dng_area_spec::GetData(dng_stream& stream) {
    const uint32_t t = stream.Get_uint32(), l = stream.Get_uint32();
    const uint32_t b = stream.Get_uint32(), r = stream.Get_uint32();
    fPlane = stream.Get_uint32();
    fPlanes = stream.Get_uint32();
    fRowPitch = stream.Get_uint32();
    fColPitch = stream.Get_uint32();
    if (t > b || l > r || b > INT32_MAX || r > INT32_MAX || fPlanes == 0 || fPlane > 65535 ||
        fPlanes > 65535 || fRowPitch == 0 || fColPitch == 0 || fRowPitch > INT32_MAX || fColPitch > INT32_MAX)
        ThrowBadFormat("Bad opcode area");
    fArea = dng_rect(int32_t(t), int32_t(l), int32_t(b), int32_t(r));
}

void dng_area_spec::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(fArea.t));
    stream.Put_uint32(uint32_t(fArea.l));
    stream.Put_uint32(uint32_t(fArea.b));
    stream.Put_uint32(uint32_t(fArea.r));
    stream.Put_uint32(fPlane);
    stream.Put_uint32(fPlanes);
    stream.Put_uint32(fRowPitch);
    stream.Put_uint32(fColPitch);
}

dng_rect dng_area_spec::Overlap(const dng_rect& bounds) const {
    dng_rect o = fArea & bounds;
    if (o.IsEmpty()) return dng_rect();
    const int64_t rp = fRowPitch, cp = fColPitch;
    const int64_t t = fArea.t + (int64_t(o.t) - fArea.t + rp - 1) / rp * rp;
    const int64_t l = fArea.l + (int64_t(o.l) - fArea.l + cp - 1) / cp * cp;
    if (t >= o.b || l >= o.r) return dng_rect();
    return dng_rect(int32_t(t), int32_t(l), o.b, o.r);
}

// ---- In-place opcodes.

void dng_inplace_opcode::Apply(dng_host& host, dng_negative&, std::unique_ptr<dng_image>& image) {
    const dng_rect bounds = image->Bounds();
    const dng_rect overlap = fAreaSpec.Overlap(bounds);
    if (overlap.IsEmpty() || fAreaSpec.fPlane >= image->Planes()) return;
    const uint32_t planes = std::min(fAreaSpec.fPlanes, image->Planes() - fAreaSpec.fPlane);
    const uint32_t width = overlap.W();
    const uint32_t count = (width + fAreaSpec.fColPitch - 1) / fAreaSpec.fColPitch;
    const bool exact16 = image->PixelType() == ttShort;
    std::vector<float> row(count);
    std::vector<uint16_t> row16(count);
    for (int32_t top = overlap.t; top < overlap.b; top += kBandRows) {
        host.SniffForAbort();
        const dng_rect band(top, overlap.l, std::min(top + kBandRows, overlap.b), overlap.r);
        const uint32_t type = exact16 ? uint32_t(ttShort) : uint32_t(ttFloat);
        std::vector<uint8_t> data(size_t(band.H()) * width * planes * TagTypeSize(type));
        dng_pixel_buffer buffer(band, fAreaSpec.fPlane, planes, type, dng_pixel_buffer::planar, data.data());
        image->Get(buffer);
        for (int32_t r = band.t; r < band.b; ++r) {
            if ((int64_t(r) - fAreaSpec.fArea.t) % fAreaSpec.fRowPitch) continue;
            for (uint32_t p = 0; p < planes; ++p) {
                const uint32_t plane = fAreaSpec.fPlane + p;
                if (exact16) {
                    uint16_t* s = buffer.DirtyPixelAs<uint16_t>(r, band.l, plane);
                    for (uint32_t i = 0; i < count; ++i)
                        row16[i] = s[i * fAreaSpec.fColPitch];
                    if (!ProcessRow16(row16.data(), count, r, band.l, plane)) {
                        for (uint32_t i = 0; i < count; ++i)
                            row[i] = row16[i] * (1.0f / 65535.0f);
                        ProcessRow(row.data(), count, r, band.l, plane, bounds);
                        for (uint32_t i = 0; i < count; ++i)
                            row16[i] = uint16_t(std::clamp(row[i], 0.0f, 1.0f) * 65535.0f + 0.5f);
                    }
                    for (uint32_t i = 0; i < count; ++i)
                        s[i * fAreaSpec.fColPitch] = row16[i];
                } else {
                    float* s = buffer.DirtyPixelAs<float>(r, band.l, plane);
                    for (uint32_t i = 0; i < count; ++i)
                        row[i] = s[i * fAreaSpec.fColPitch];
                    ProcessRow(row.data(), count, r, band.l, plane, bounds);
                    for (uint32_t i = 0; i < count; ++i)
                        s[i * fAreaSpec.fColPitch] = row[i];
                }
            }
        }
        image->Put(buffer);
    }
}

// ---- Gain map.

dng_opcode_GainMap::dng_opcode_GainMap(uint32_t minVersion, uint32_t flags, dng_stream& stream)
    : dng_inplace_opcode(dngOpcode_GainMap, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = RemainingBlock(stream);
    if (size < 76) ThrowBadFormat("GainMap parameters too short");
    fAreaSpec.GetData(stream);
    fPointsV = stream.Get_uint32();
    fPointsH = stream.Get_uint32();
    fSpacingV = stream.Get_real64();
    fSpacingH = stream.Get_real64();
    fOriginV = stream.Get_real64();
    fOriginH = stream.Get_real64();
    fMapPlanes = stream.Get_uint32();
    const uint64_t points = uint64_t(fPointsV) * fPointsH * fMapPlanes;
    if (fPointsV == 0 || fPointsH == 0 || fMapPlanes == 0 || points > kMaxMapPoints ||
        76 + points * 4 != size || !(fSpacingV > 0) || !(fSpacingH > 0) || !std::isfinite(fOriginV) ||
        !std::isfinite(fOriginH))
        ThrowBadFormat("Bad GainMap parameters");
    fGains.resize(size_t(points));
    for (float& g : fGains)
        g = stream.Get_real32();
}

void dng_opcode_GainMap::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(76 + fGains.size() * 4));
    fAreaSpec.PutData(stream);
    stream.Put_uint32(fPointsV);
    stream.Put_uint32(fPointsH);
    stream.Put_real64(fSpacingV);
    stream.Put_real64(fSpacingH);
    stream.Put_real64(fOriginV);
    stream.Put_real64(fOriginH);
    stream.Put_uint32(fMapPlanes);
    for (float g : fGains)
        stream.Put_real32(g);
}

float dng_opcode_GainMap::Gain(double v, double h, uint32_t mapPlane) const {
    // Map coordinates, limited to the grid: beyond it the edge gains hold.
    const double fv = std::clamp((v - fOriginV) / fSpacingV, 0.0, double(fPointsV - 1));
    const double fh = std::clamp((h - fOriginH) / fSpacingH, 0.0, double(fPointsH - 1));
    const uint32_t r0 = uint32_t(fv), c0 = uint32_t(fh);
    const uint32_t r1 = std::min(r0 + 1, fPointsV - 1), c1 = std::min(c0 + 1, fPointsH - 1);
    const double dv = fv - r0, dh = fh - c0;
    auto at = [&](uint32_t r, uint32_t c) {
        return double(fGains[(size_t(r) * fPointsH + c) * fMapPlanes + mapPlane]);
    };
    const double top = at(r0, c0) + (at(r0, c1) - at(r0, c0)) * dh;
    const double bottom = at(r1, c0) + (at(r1, c1) - at(r1, c0)) * dh;
    return float(top + (bottom - top) * dv);
}

void dng_opcode_GainMap::ProcessRow(float* samples, uint32_t count, int32_t row, int32_t firstCol,
                                    uint32_t plane, const dng_rect& bounds) const {
    const uint32_t mapPlane = std::min(plane - fAreaSpec.fPlane, fMapPlanes - 1);
    // Gains are sampled at pixel centres, in fractions of the image's size.
    const double v = (row - bounds.t + 0.5) / bounds.H();
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t col = firstCol + int64_t(i) * fAreaSpec.fColPitch;
        const double h = (double(col - bounds.l) + 0.5) / bounds.W();
        samples[i] *= Gain(v, h, mapPlane);
    }
}

// ---- Map table.

dng_opcode_MapTable::dng_opcode_MapTable(uint32_t minVersion, uint32_t flags, dng_stream& stream)
    : dng_inplace_opcode(dngOpcode_MapTable, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = RemainingBlock(stream);
    if (size < 36) ThrowBadFormat("MapTable parameters too short");
    fAreaSpec.GetData(stream);
    const uint32_t n = stream.Get_uint32();
    if (n == 0 || n > kMaxTableSize || 36 + uint64_t(n) * 2 != size)
        ThrowBadFormat("Bad MapTable parameters");
    fTable.resize(n);
    for (uint16_t& v : fTable)
        v = stream.Get_uint16();
}

void dng_opcode_MapTable::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(36 + fTable.size() * 2));
    fAreaSpec.PutData(stream);
    stream.Put_uint32(uint32_t(fTable.size()));
    for (uint16_t v : fTable)
        stream.Put_uint16(v);
}

bool dng_opcode_MapTable::ProcessRow16(uint16_t* samples, uint32_t count, int32_t, int32_t, uint32_t) const {
    const size_t last = fTable.size() - 1;
    for (uint32_t i = 0; i < count; ++i)
        samples[i] = fTable[std::min<size_t>(samples[i], last)];
    return true;
}

void dng_opcode_MapTable::ProcessRow(float*, uint32_t, int32_t, int32_t, uint32_t, const dng_rect&) const {
    ThrowBadFormat("MapTable on an image that is not 16-bit");
}

// ---- Map polynomial.

dng_opcode_MapPolynomial::dng_opcode_MapPolynomial(uint32_t minVersion, uint32_t flags, dng_stream& stream)
    : dng_inplace_opcode(dngOpcode_MapPolynomial, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = RemainingBlock(stream);
    if (size < 36) ThrowBadFormat("MapPolynomial parameters too short");
    fAreaSpec.GetData(stream);
    const uint32_t degree = stream.Get_uint32();
    if (degree > 8 || 36 + uint64_t(degree + 1) * 8 != size) ThrowBadFormat("Bad MapPolynomial parameters");
    fCoefficients.resize(degree + 1);
    for (double& c : fCoefficients)
        c = stream.Get_real64();
}

void dng_opcode_MapPolynomial::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(36 + fCoefficients.size() * 8));
    fAreaSpec.PutData(stream);
    stream.Put_uint32(uint32_t(fCoefficients.size() - 1));
    for (double c : fCoefficients)
        stream.Put_real64(c);
}

void dng_opcode_MapPolynomial::ProcessRow(float* samples, uint32_t count, int32_t, int32_t, uint32_t,
                                          const dng_rect&) const {
    for (uint32_t i = 0; i < count; ++i) {
        const double x = samples[i];
        double y = 0.0;
        for (size_t k = fCoefficients.size(); k-- > 0;)
            y = y * x + fCoefficients[k];
        samples[i] = float(y);
    }
}

// ---- Per-row and per-column deltas and scales.

dng_opcode_RowColumnTable::dng_opcode_RowColumnTable(uint32_t id, uint32_t minVersion, uint32_t flags,
                                                     dng_stream& stream)
    : dng_inplace_opcode(id, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = RemainingBlock(stream);
    if (size < 36) ThrowBadFormat("Row or column table parameters too short");
    fAreaSpec.GetData(stream);
    const uint32_t n = stream.Get_uint32();
    const uint64_t expected =
        PerRow() ? (uint64_t(fAreaSpec.fArea.H()) + fAreaSpec.fRowPitch - 1) / fAreaSpec.fRowPitch
                 : (uint64_t(fAreaSpec.fArea.W()) + fAreaSpec.fColPitch - 1) / fAreaSpec.fColPitch;
    // One value per pitched row or column of the area, no more and no fewer.
    if (n != expected || 36 + uint64_t(n) * 4 != size) ThrowBadFormat("Bad row or column table parameters");
    fTable.resize(n);
    for (float& v : fTable)
        v = stream.Get_real32();
}

void dng_opcode_RowColumnTable::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(36 + fTable.size() * 4));
    fAreaSpec.PutData(stream);
    stream.Put_uint32(uint32_t(fTable.size()));
    for (float v : fTable)
        stream.Put_real32(v);
}

void dng_opcode_RowColumnTable::ProcessRow(float* samples, uint32_t count, int32_t row, int32_t firstCol,
                                           uint32_t, const dng_rect&) const {
    const dng_rect& a = fAreaSpec.fArea;
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t col = firstCol + int64_t(i) * fAreaSpec.fColPitch;
        const size_t k = PerRow() ? size_t((int64_t(row) - a.t) / fAreaSpec.fRowPitch)
                                  : size_t((col - a.l) / fAreaSpec.fColPitch);
        if (k >= fTable.size()) continue;
        if (IsScale())
            samples[i] *= fTable[k];
        else
            samples[i] += fTable[k];
    }
}

// ---- Trim bounds.

dng_opcode_TrimBounds::dng_opcode_TrimBounds(uint32_t minVersion, uint32_t flags, dng_stream& stream)
    : dng_opcode(dngOpcode_TrimBounds, minVersion, flags) {
    SetWasReadFromStream();
    ExpectSize(stream, 16);
    const uint32_t t = stream.Get_uint32(), l = stream.Get_uint32();
    const uint32_t b = stream.Get_uint32(), r = stream.Get_uint32();
    if (t >= b || l >= r || b > INT32_MAX || r > INT32_MAX) ThrowBadFormat("Bad TrimBounds");
    fBounds = dng_rect(int32_t(t), int32_t(l), int32_t(b), int32_t(r));
}

void dng_opcode_TrimBounds::PutData(dng_stream& stream) const {
    stream.Put_uint32(16);
    stream.Put_uint32(uint32_t(fBounds.t));
    stream.Put_uint32(uint32_t(fBounds.l));
    stream.Put_uint32(uint32_t(fBounds.b));
    stream.Put_uint32(uint32_t(fBounds.r));
}

void dng_opcode_TrimBounds::Apply(dng_host&, dng_negative&, std::unique_ptr<dng_image>& image) {
    const dng_rect trimmed = fBounds & image->Bounds();
    if (trimmed.IsEmpty()) ThrowBadFormat("TrimBounds outside the image");
    image->Trim(trimmed);
}
