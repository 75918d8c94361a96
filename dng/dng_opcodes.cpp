#include "dng/dng_opcodes.h"

#include "dng/dng_area_task.h"
#include "dng/dng_exceptions.h"
#include "dng/dng_host.h"
#include "dng/dng_image.h"
#include "dng/dng_info.h"
#include "dng/dng_negative.h"
#include "dng/dng_opcode_list.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_resample.h"
#include "dng/dng_stream.h"
#include "dng/dng_tag_types.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>

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
    case dngOpcode_WarpRectilinear:
        return std::make_unique<dng_opcode_WarpRectilinear>(minVersion, flags, stream);
    case dngOpcode_WarpFisheye:
        return std::make_unique<dng_opcode_WarpFisheye>(minVersion, flags, stream);
    case dngOpcode_FixVignetteRadial:
        return std::make_unique<dng_opcode_FixVignetteRadial>(minVersion, flags, stream);
    case dngOpcode_FixBadPixelsConstant:
    case dngOpcode_FixBadPixelsList:
        return std::make_unique<dng_opcode_FixBadPixels>(id, minVersion, flags, stream);
    default:
        return std::make_unique<dng_opcode_Unknown>(id, minVersion, flags, stream);
    }
}

// ---- Parameter blocks.

namespace {

constexpr int32_t kBandRows = 64;

// NaN (a gain or coefficient a file made so) goes to 0, like anything below it.
uint16_t ToUint16(float x) {
    if (!(x > 0.0f)) return 0;
    return x >= 1.0f ? 65535 : uint16_t(x * 65535.0f + 0.5f);
}
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
                            row16[i] = ToUint16(row[i]);
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

// ---- Rectilinear warp.

dng_opcode_WarpRectilinear::dng_opcode_WarpRectilinear(uint32_t minVersion, uint32_t flags,
                                                       dng_stream& stream)
    : dng_opcode(dngOpcode_WarpRectilinear, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = RemainingBlock(stream);
    if (size < 4) ThrowBadFormat("WarpRectilinear parameters too short");
    const uint32_t planes = stream.Get_uint32();
    if (planes < 1 || planes > 4 || size != 4 + uint64_t(planes) * 48 + 16)
        ThrowBadFormat("Bad WarpRectilinear parameters");
    fPlanes.resize(planes);
    for (Coefficients& c : fPlanes) {
        for (double& k : c.kr)
            k = stream.Get_real64();
        for (double& k : c.kt)
            k = stream.Get_real64();
    }
    fCenterX = stream.Get_real64();
    fCenterY = stream.Get_real64();
    for (const Coefficients& c : fPlanes)
        for (double k : {c.kr[0], c.kr[1], c.kr[2], c.kr[3], c.kt[0], c.kt[1]})
            if (!std::isfinite(k)) ThrowBadFormat("Bad WarpRectilinear parameters");
    if (!std::isfinite(fCenterX) || !std::isfinite(fCenterY))
        ThrowBadFormat("Bad WarpRectilinear parameters");
}

void dng_opcode_WarpRectilinear::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(4 + fPlanes.size() * 48 + 16));
    stream.Put_uint32(uint32_t(fPlanes.size()));
    for (const Coefficients& c : fPlanes) {
        for (double k : c.kr)
            stream.Put_real64(k);
        for (double k : c.kt)
            stream.Put_real64(k);
    }
    stream.Put_real64(fCenterX);
    stream.Put_real64(fCenterY);
}

bool dng_opcode_WarpRectilinear::IsValidForNegative(const dng_negative&) const { return true; }

namespace {

// The optical centre in pixels and the distance to the farthest corner, the unit of radii.
struct OpticalFrame {
    double cx, cy, m;
    OpticalFrame(const dng_rect& b, double centerX, double centerY)
        : cx(b.l + centerX * b.W()), cy(b.t + centerY * b.H()) {
        const double w = std::max(cx - b.l, b.r - cx), h = std::max(cy - b.t, b.b - cy);
        m = std::max(std::sqrt(w * w + h * h), 1e-9);
    }
};

bool AllFinite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

} // namespace

void dng_opcode_WarpRectilinear::SourceOf(const dng_rect& bounds, uint32_t plane, double x, double y,
                                          double& sx, double& sy) const {
    const Coefficients& k = fPlanes[std::min<size_t>(plane, fPlanes.size() - 1)];
    const OpticalFrame frame(bounds, fCenterX, fCenterY);
    const double cx = frame.cx, cy = frame.cy, m = frame.m;
    const double dx = (x - cx) / m, dy = (y - cy) / m;
    const double r2 = dx * dx + dy * dy;
    const double f = k.kr[0] + r2 * (k.kr[1] + r2 * (k.kr[2] + r2 * k.kr[3]));
    const double tx = k.kt[0] * 2 * dx * dy + k.kt[1] * (r2 + 2 * dx * dx);
    const double ty = k.kt[1] * 2 * dx * dy + k.kt[0] * (r2 + 2 * dy * dy);
    sx = cx + m * (dx * f + tx);
    sy = cy + m * (dy * f + ty);
}

namespace {

class dng_warp_task : public dng_area_task {
  public:
    using SourceMap = std::function<void(uint32_t plane, double x, double y, double& sx, double& sy)>;

    dng_warp_task(SourceMap map, const dng_image& src, dng_image& dst)
        : dng_area_task("dng_warp_task"), fMap(std::move(map)), fSrc(src), fDst(dst) {
        fWeights.Initialize(dng_resample_bicubic::Get());
    }

    void ProcessArea(uint32_t, const dng_rect& tile, dng_abort_sniffer*) override {
        for (uint32_t p = 0; p < fDst.Planes(); ++p)
            WarpPiece(tile, p);
    }

  private:
    static constexpr int64_t kMaxSourcePixels = 1 << 20;

    // Source positions limited to the image, so no position reads far outside it.
    void Source(uint32_t plane, int32_t row, int32_t col, double& sx, double& sy) const {
        const dng_rect& b = fSrc.Bounds();
        fMap(plane, col + 0.5, row + 0.5, sx, sy);
        sx = std::clamp(sx - 0.5, double(b.l), double(b.r - 1));
        sy = std::clamp(sy - 0.5, double(b.t), double(b.b - 1));
    }

    void WarpPiece(const dng_rect& piece, uint32_t plane) {
        const int32_t radius = int32_t(fWeights.Radius());
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
        for (int32_t r = piece.t; r < piece.b; ++r)
            for (int32_t c = piece.l; c < piece.r; ++c) {
                double sx, sy;
                Source(plane, r, c, sx, sy);
                minX = std::min(minX, sx), maxX = std::max(maxX, sx);
                minY = std::min(minY, sy), maxY = std::max(maxY, sy);
            }
        const dng_rect src(int32_t(std::floor(minY)) - radius + 1, int32_t(std::floor(minX)) - radius + 1,
                           int32_t(std::floor(maxY)) + radius + 2, int32_t(std::floor(maxX)) + radius + 2);
        // A strong warp spreads a piece's sources widely: split it until its sources fit.
        if (int64_t(src.W()) * src.H() > kMaxSourcePixels && piece.W() * piece.H() > 1) {
            const bool splitRows = piece.H() >= piece.W();
            const int32_t midR = piece.t + int32_t(piece.H() / 2), midC = piece.l + int32_t(piece.W() / 2);
            WarpPiece(splitRows ? dng_rect(piece.t, piece.l, midR, piece.r)
                                : dng_rect(piece.t, piece.l, piece.b, midC),
                      plane);
            WarpPiece(splitRows ? dng_rect(midR, piece.l, piece.b, piece.r)
                                : dng_rect(piece.t, midC, piece.b, piece.r),
                      plane);
            return;
        }
        std::vector<float> in(size_t(src.W()) * src.H());
        dng_pixel_buffer inBuffer(src, plane, 1, ttFloat, dng_pixel_buffer::interleaved, in.data());
        fSrc.Get(inBuffer, dng_image::edge_repeat);
        std::vector<float> out(size_t(piece.W()) * piece.H());
        const int32_t width = int32_t(2 * fWeights.Radius());
        size_t o = 0;
        for (int32_t r = piece.t; r < piece.b; ++r)
            for (int32_t c = piece.l; c < piece.r; ++c, ++o) {
                double sx, sy;
                Source(plane, r, c, sx, sy);
                // Positions in 1/32 pixel: the whole part picks the taps, the rest the phase.
                const int64_t qx = int64_t(std::floor(sx * 32.0 + 0.5)),
                              qy = int64_t(std::floor(sy * 32.0 + 0.5));
                const int32_t ix = int32_t(qx >> 5), iy = int32_t(qy >> 5);
                const uint32_t fx = uint32_t(qx & 31), fy = uint32_t(qy & 31);
                const float* w = fWeights.Weights32(fy, fx);
                const float* base =
                    &in[size_t(iy - radius + 1 - src.t) * src.W() + size_t(ix - radius + 1 - src.l)];
                float sum = 0.0f;
                for (int32_t i = 0; i < width; ++i)
                    for (int32_t j = 0; j < width; ++j)
                        sum += w[i * width + j] * base[size_t(i) * src.W() + j];
                out[o] = std::clamp(sum, 0.0f, 1.0f);
            }
        dng_pixel_buffer outBuffer(piece, plane, 1, ttFloat, dng_pixel_buffer::interleaved, out.data());
        fDst.Put(outBuffer);
    }

    SourceMap fMap;
    const dng_image& fSrc;
    dng_image& fDst;
    dng_resample_weights_2d fWeights;
};

void Warp(dng_host& host, std::unique_ptr<dng_image>& image, dng_warp_task::SourceMap map) {
    std::unique_ptr<dng_image> warped(host.CreateImage(image->Bounds(), image->Planes(), image->PixelType()));
    dng_warp_task task(std::move(map), *image, *warped);
    host.PerformAreaTask(task, image->Bounds());
    image = std::move(warped);
}

} // namespace

void dng_opcode_WarpRectilinear::Apply(dng_host& host, dng_negative&, std::unique_ptr<dng_image>& image) {
    const dng_rect bounds = image->Bounds();
    Warp(host, image, [this, bounds](uint32_t plane, double x, double y, double& sx, double& sy) {
        SourceOf(bounds, plane, x, y, sx, sy);
    });
}

// ---- Fisheye warp.

dng_opcode_WarpFisheye::dng_opcode_WarpFisheye(uint32_t minVersion, uint32_t flags, dng_stream& stream)
    : dng_opcode(dngOpcode_WarpFisheye, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = RemainingBlock(stream);
    if (size < 4) ThrowBadFormat("WarpFisheye parameters too short");
    const uint32_t planes = stream.Get_uint32();
    if (planes < 1 || planes > 4 || size != 4 + uint64_t(planes) * 32 + 16)
        ThrowBadFormat("Bad WarpFisheye parameters");
    fPlanes.resize(planes);
    for (auto& k : fPlanes)
        for (double& v : k)
            v = stream.Get_real64();
    fCenterX = stream.Get_real64();
    fCenterY = stream.Get_real64();
    for (const auto& k : fPlanes)
        if (!AllFinite({k[0], k[1], k[2], k[3]})) ThrowBadFormat("Bad WarpFisheye parameters");
    if (!AllFinite({fCenterX, fCenterY})) ThrowBadFormat("Bad WarpFisheye parameters");
}

void dng_opcode_WarpFisheye::PutData(dng_stream& stream) const {
    stream.Put_uint32(uint32_t(4 + fPlanes.size() * 32 + 16));
    stream.Put_uint32(uint32_t(fPlanes.size()));
    for (const auto& k : fPlanes)
        for (double v : k)
            stream.Put_real64(v);
    stream.Put_real64(fCenterX);
    stream.Put_real64(fCenterY);
}

void dng_opcode_WarpFisheye::SourceOf(const dng_rect& bounds, uint32_t plane, double x, double y, double& sx,
                                      double& sy) const {
    const auto& k = fPlanes[std::min<size_t>(plane, fPlanes.size() - 1)];
    const OpticalFrame f(bounds, fCenterX, fCenterY);
    const double dx = (x - f.cx) / f.m, dy = (y - f.cy) / f.m;
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r < 1e-12) {
        sx = f.cx;
        sy = f.cy;
        return;
    }
    const double t = std::atan(r), t2 = t * t;
    const double rd = t * (k[0] + t2 * (k[1] + t2 * (k[2] + t2 * k[3])));
    sx = f.cx + f.m * dx * rd / r;
    sy = f.cy + f.m * dy * rd / r;
}

void dng_opcode_WarpFisheye::Apply(dng_host& host, dng_negative&, std::unique_ptr<dng_image>& image) {
    const dng_rect bounds = image->Bounds();
    Warp(host, image, [this, bounds](uint32_t plane, double x, double y, double& sx, double& sy) {
        SourceOf(bounds, plane, x, y, sx, sy);
    });
}

// ---- Radial vignette.

dng_opcode_FixVignetteRadial::dng_opcode_FixVignetteRadial(uint32_t minVersion, uint32_t flags,
                                                           dng_stream& stream)
    : dng_opcode(dngOpcode_FixVignetteRadial, minVersion, flags) {
    SetWasReadFromStream();
    ExpectSize(stream, 56);
    for (double& k : fK)
        k = stream.Get_real64();
    fCenterX = stream.Get_real64();
    fCenterY = stream.Get_real64();
    if (!AllFinite({fK[0], fK[1], fK[2], fK[3], fK[4], fCenterX, fCenterY}))
        ThrowBadFormat("Bad FixVignetteRadial parameters");
}

void dng_opcode_FixVignetteRadial::PutData(dng_stream& stream) const {
    stream.Put_uint32(56);
    for (double k : fK)
        stream.Put_real64(k);
    stream.Put_real64(fCenterX);
    stream.Put_real64(fCenterY);
}

double dng_opcode_FixVignetteRadial::Gain(const dng_rect& bounds, double x, double y) const {
    const OpticalFrame f(bounds, fCenterX, fCenterY);
    const double dx = (x - f.cx) / f.m, dy = (y - f.cy) / f.m;
    const double r2 = dx * dx + dy * dy;
    return 1.0 + r2 * (fK[0] + r2 * (fK[1] + r2 * (fK[2] + r2 * (fK[3] + r2 * fK[4]))));
}

void dng_opcode_FixVignetteRadial::Apply(dng_host& host, dng_negative&, std::unique_ptr<dng_image>& image) {
    const dng_rect bounds = image->Bounds();
    const uint32_t planes = image->Planes();
    for (int32_t top = bounds.t; top < bounds.b; top += kBandRows) {
        host.SniffForAbort();
        const dng_rect band(top, bounds.l, std::min(top + kBandRows, bounds.b), bounds.r);
        std::vector<float> data(size_t(band.H()) * band.W() * planes);
        dng_pixel_buffer buffer(band, 0, planes, ttFloat, dng_pixel_buffer::interleaved, data.data());
        image->Get(buffer);
        size_t i = 0;
        for (int32_t r = band.t; r < band.b; ++r)
            for (int32_t c = band.l; c < band.r; ++c) {
                const float g = float(Gain(bounds, c + 0.5, r + 0.5));
                for (uint32_t p = 0; p < planes; ++p, ++i)
                    data[i] *= g;
            }
        image->Put(buffer);
    }
}

// ---- Bad pixels.

dng_opcode_FixBadPixels::dng_opcode_FixBadPixels(uint32_t id, uint32_t minVersion, uint32_t flags,
                                                 dng_stream& stream)
    : dng_opcode(id, minVersion, flags) {
    SetWasReadFromStream();
    const uint32_t size = RemainingBlock(stream);
    if (id == dngOpcode_FixBadPixelsConstant) {
        if (size != 8) ThrowBadFormat("Bad FixBadPixelsConstant parameters");
        fConstant = stream.Get_uint32();
        fBayerPhase = stream.Get_uint32();
    } else {
        if (size < 12) ThrowBadFormat("Bad FixBadPixelsList parameters");
        fBayerPhase = stream.Get_uint32();
        const uint32_t points = stream.Get_uint32(), rects = stream.Get_uint32();
        if (12 + uint64_t(points) * 8 + uint64_t(rects) * 16 != size)
            ThrowBadFormat("Bad FixBadPixelsList parameters");
        for (uint32_t i = 0; i < points; ++i) {
            const uint32_t r = stream.Get_uint32(), c = stream.Get_uint32();
            if (r > INT32_MAX || c > INT32_MAX) ThrowBadFormat("Bad pixel outside any image");
            fPoints.emplace_back(int32_t(r), int32_t(c));
        }
        for (uint32_t i = 0; i < rects; ++i) {
            const uint32_t t = stream.Get_uint32(), l = stream.Get_uint32();
            const uint32_t b = stream.Get_uint32(), r = stream.Get_uint32();
            if (t > b || l > r || b > INT32_MAX || r > INT32_MAX)
                ThrowBadFormat("Bad rectangle of bad pixels");
            fRects.emplace_back(int32_t(t), int32_t(l), int32_t(b), int32_t(r));
        }
    }
    if (fBayerPhase > 3) ThrowBadFormat("Bad Bayer phase");
}

void dng_opcode_FixBadPixels::PutData(dng_stream& stream) const {
    if (OpcodeID() == dngOpcode_FixBadPixelsConstant) {
        stream.Put_uint32(8);
        stream.Put_uint32(fConstant);
        stream.Put_uint32(fBayerPhase);
        return;
    }
    stream.Put_uint32(uint32_t(12 + fPoints.size() * 8 + fRects.size() * 16));
    stream.Put_uint32(fBayerPhase);
    stream.Put_uint32(uint32_t(fPoints.size()));
    stream.Put_uint32(uint32_t(fRects.size()));
    for (const dng_point& p : fPoints) {
        stream.Put_uint32(uint32_t(p.v));
        stream.Put_uint32(uint32_t(p.h));
    }
    for (const dng_rect& r : fRects)
        for (int32_t v : {r.t, r.l, r.b, r.r})
            stream.Put_uint32(uint32_t(v));
}

void dng_opcode_FixBadPixels::Apply(dng_host& host, dng_negative&, std::unique_ptr<dng_image>& image) {
    if (image->Planes() != 1) ThrowBadFormat("Bad pixels of an image that is not a mosaic");
    const dng_rect bounds = image->Bounds();
    const uint32_t w = bounds.W(), h = bounds.H();
    std::vector<float> v(size_t(w) * h);
    dng_pixel_buffer buffer(bounds, 0, 1, ttFloat, dng_pixel_buffer::interleaved, v.data());
    image->Get(buffer);
    std::vector<uint8_t> bad(v.size(), 0);
    if (OpcodeID() == dngOpcode_FixBadPixelsConstant) {
        const float marker = float(fConstant) / float(image->PixelRange());
        for (size_t i = 0; i < v.size(); ++i)
            bad[i] = v[i] == marker;
    } else {
        for (const dng_point& p : fPoints)
            if (p.v >= bounds.t && p.v < bounds.b && p.h >= bounds.l && p.h < bounds.r)
                bad[size_t(p.v - bounds.t) * w + size_t(p.h - bounds.l)] = 1;
        for (const dng_rect& r : fRects) {
            const dng_rect o = r & bounds;
            for (int32_t y = o.t; y < o.b; ++y)
                for (int32_t x = o.l; x < o.r; ++x)
                    bad[size_t(y - bounds.t) * w + size_t(x - bounds.l)] = 1;
        }
    }
    // Greens lie where row + column has the parity of the phase's first green.
    const int32_t greenParity = (fBayerPhase == 1 || fBayerPhase == 2) ? 0 : 1;
    static const dng_point kGreen[] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}, {-2, 0}, {2, 0}, {0, -2}, {0, 2}};
    static const dng_point kOther[] = {{-2, 0}, {2, 0}, {0, -2}, {0, 2}, {-2, -2}, {-2, 2}, {2, -2}, {2, 2}};
    std::vector<float> fixed = v;
    for (uint32_t y = 0; y < h; ++y) {
        host.SniffForAbort();
        for (uint32_t x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            if (!bad[i]) continue;
            const bool green = int32_t((y + bounds.t + x + bounds.l) & 1) == greenParity;
            double sum = 0;
            int count = 0;
            for (const dng_point& d : green ? kGreen : kOther) {
                const int64_t yy = int64_t(y) + d.v, xx = int64_t(x) + d.h;
                if (yy < 0 || xx < 0 || yy >= h || xx >= w) continue;
                const size_t j = size_t(yy) * w + size_t(xx);
                if (bad[j]) continue;
                sum += v[j];
                ++count;
            }
            if (count) fixed[i] = float(sum / count);
        }
    }
    dng_pixel_buffer out(bounds, 0, 1, ttFloat, dng_pixel_buffer::interleaved, fixed.data());
    image->Put(out);
}
