#include "dng/dng_image.h"

#include "dng/dng_exceptions.h"
#include "dng/dng_orientation.h"
#include "dng/dng_pixel_buffer.h"
#include "dng/dng_tag_types.h"
#include "dng/dng_tile_buffer.h"
#include "dng/dng_tile_iterator.h"

#include <algorithm>

namespace {

// A copy of `buffer` narrowed to `area`, its data pointer moved to the area's first pixel.
dng_pixel_buffer Narrowed(const dng_pixel_buffer& buffer, const dng_rect& area) {
    dng_pixel_buffer temp(buffer);
    temp.area = area;
    temp.data = const_cast<void*>(buffer.ConstPixel(area.t, area.l, buffer.plane));
    return temp;
}

// Walks `area` in pieces that lie within one tile of each image; stops when `visit` says false.
template <typename Visit>
bool ForEachSharedTile(const dng_image& first, const dng_image& second, const dng_rect& area, Visit&& visit) {
    dng_tile_iterator firstIter(first.RepeatingTile(), area & first.Bounds());
    dng_rect firstTile;
    while (firstIter.GetOneTile(firstTile)) {
        dng_tile_iterator secondIter(second.RepeatingTile(), firstTile & second.Bounds());
        dng_rect piece;
        while (secondIter.GetOneTile(piece))
            if (!visit(piece)) return false;
    }
    return true;
}

} // namespace

dng_image::dng_image(const dng_rect& bounds, uint32_t planes, uint32_t pixelType)
    : fBounds(bounds), fPlanes(planes), fPixelType(pixelType) {
    if (bounds.IsEmpty() || planes == 0 || TagTypeSize(pixelType) == 0) Throw_dng_error(dng_error_bad_format);
    if (bounds.W() > kMaxDimension || bounds.H() > kMaxDimension)
        Throw_dng_error(dng_error_bad_format, "dng_image bounds too large");
}

uint32_t dng_image::PixelSize() const { return TagTypeSize(fPixelType); }

uint32_t dng_image::PixelRange() const {
    switch (fPixelType) {
    case ttByte:
    case ttSByte:
        return 0xFF;
    case ttShort:
    case ttSShort:
        return 0xFFFF;
    case ttLong:
    case ttSLong:
        return 0xFFFFFFFF;
    default:
        return 0;
    }
}

dng_image* dng_image::Clone() const {
    ThrowProgramError("Clone is not supported by this dng_image subclass");
}

void dng_image::SetPixelType(uint32_t pixelType) {
    if (TagTypeSize(pixelType) != PixelSize())
        ThrowProgramError("Cannot change pixel size for existing image");
    fPixelType = pixelType;
}

void dng_image::Trim(const dng_rect& r) {
    if (r != fBounds) ThrowProgramError("Trim is not support by this dng_image subclass");
}

void dng_image::Rotate(const dng_orientation& orientation) {
    if (orientation.Code() != dng_orientation::kNormal)
        ThrowProgramError("Rotate is not support by this dng_image subclass");
}

void dng_image::AcquireTileBuffer(dng_tile_buffer&, const dng_rect&, bool) const { ThrowProgramError(); }

bool dng_image::EqualArea(const dng_image& other, const dng_rect& area, uint32_t plane,
                          uint32_t planes) const {
    if (&other == this) return true;
    return ForEachSharedTile(*this, other, area, [&](const dng_rect& piece) {
        dng_const_tile_buffer mine(*this, piece);
        dng_const_tile_buffer theirs(other, piece);
        return mine.EqualArea(theirs, piece, plane, planes);
    });
}

void dng_image::DoGet(dng_pixel_buffer& buffer) const {
    dng_tile_iterator iter(RepeatingTile(), buffer.area & fBounds);
    dng_rect tile;
    while (iter.GetOneTile(tile)) {
        dng_const_tile_buffer tileBuffer(*this, tile);
        buffer.CopyArea(tileBuffer, tile, buffer.plane, buffer.plane, buffer.planes);
    }
}

void dng_image::DoPut(const dng_pixel_buffer& buffer) {
    dng_tile_iterator iter(RepeatingTile(), buffer.area & fBounds);
    dng_rect tile;
    while (iter.GetOneTile(tile)) {
        dng_dirty_tile_buffer tileBuffer(*this, tile);
        tileBuffer.CopyArea(buffer, tile, buffer.plane, buffer.plane, buffer.planes);
    }
}

void dng_image::CopyArea(const dng_image& src, const dng_rect& area, uint32_t srcPlane, uint32_t dstPlane,
                         uint32_t planes) {
    if (&src == this) return;
    ForEachSharedTile(*this, src, area, [&](const dng_rect& piece) {
        dng_dirty_tile_buffer destBuffer(*this, piece);
        dng_const_tile_buffer srcBuffer(src, piece);
        destBuffer.CopyArea(srcBuffer, piece, srcPlane, dstPlane, planes);
        return true;
    });
}

void dng_image::SetConstant(uint32_t value, const dng_rect& area) {
    dng_tile_iterator iter(RepeatingTile(), area & fBounds);
    dng_rect tile;
    while (iter.GetOneTile(tile)) {
        dng_dirty_tile_buffer buffer(*this, tile);
        buffer.SetAreaConstant(tile, 0, fPlanes, value);
    }
}

void dng_image::Get(dng_pixel_buffer& buffer, edge_option edge, uint32_t repeatV, uint32_t repeatH) const {
    const dng_rect overlap = buffer.area & fBounds;
    if (overlap.NotEmpty()) {
        dng_pixel_buffer temp = Narrowed(buffer, overlap);
        DoGet(temp);
    }
    if (edge == edge_none || buffer.area == overlap) return;
    FillEdges(buffer, edge, repeatV, repeatH);
}

void dng_image::FillEdges(dng_pixel_buffer& buffer, edge_option edge, uint32_t repeatV,
                          uint32_t repeatH) const {
    // A strip taller or wider than the image, or empty, would read outside it or repeat nothing.
    const int32_t rv = int32_t(std::clamp<uint32_t>(repeatV, 1, Height()));
    const int32_t rh = int32_t(std::clamp<uint32_t>(repeatH, 1, Width()));
    const dng_rect a = buffer.area;
    const dng_rect& B = fBounds;
    const int32_t rowLo[3] = {a.t, B.t, B.b};
    const int32_t rowHi[3] = {B.t, B.b, a.b};
    const int32_t colLo[3] = {a.l, B.l, B.r};
    const int32_t colHi[3] = {B.l, B.r, a.r};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (i == 1 && j == 1) continue;
            const dng_rect D(std::max(a.t, rowLo[i]), std::max(a.l, colLo[j]), std::min(a.b, rowHi[i]),
                             std::min(a.r, colHi[j]));
            if (D.IsEmpty()) continue;
            const int32_t srcT = i == 0 ? B.t : i == 1 ? D.t : B.b - rv;
            const int32_t srcB = i == 0 ? B.t + rv : i == 1 ? D.b : B.b;
            const int32_t srcL = j == 0 ? B.l : j == 1 ? D.l : B.r - rh;
            const int32_t srcR = j == 0 ? B.l + rh : j == 1 ? D.r : B.r;
            GetEdge(buffer, edge, dng_rect(srcT, srcL, srcB, srcR), D);
        }
    }
}

void dng_image::GetEdge(dng_pixel_buffer& buffer, edge_option edge, const dng_rect& srcArea,
                        const dng_rect& dstArea) const {
    switch (edge) {
    case edge_zero:
        buffer.SetAreaZero(dstArea, buffer.plane, buffer.planes);
        return;
    case edge_repeat:
        GetRepeat(buffer, srcArea, dstArea);
        return;
    case edge_repeat_zero_last: {
        if (buffer.planes > 1) {
            dng_pixel_buffer temp(buffer);
            temp.planes = buffer.planes - 1;
            GetRepeat(temp, srcArea, dstArea);
        }
        buffer.SetAreaZero(dstArea, buffer.plane + buffer.planes - 1, 1);
        return;
    }
    default:
        ThrowProgramError();
    }
}

void dng_image::GetRepeat(dng_pixel_buffer& buffer, const dng_rect& srcArea, const dng_rect& dstArea) const {
    dng_rect source = srcArea;
    if ((srcArea & buffer.area) != srcArea) {
        // Lay one cell of the source at dst's corner, in dst's phase, and repeat that instead.
        const dng_point phase = dng_pixel_buffer::RepeatPhase(srcArea, dstArea);
        const int32_t h = int32_t(srcArea.H());
        const int32_t w = int32_t(srcArea.W());
        const int32_t midRow = dstArea.t + h - phase.v;
        const int32_t midCol = dstArea.l + w - phase.h;
        const dng_rect pieces[4] = {
            dng_rect(dstArea.t, dstArea.l, midRow, midCol),
            dng_rect(dstArea.t, midCol, midRow, dstArea.l + w),
            dng_rect(midRow, dstArea.l, dstArea.t + h, midCol),
            dng_rect(midRow, midCol, dstArea.t + h, dstArea.l + w),
        };
        const dng_point sourceOrigin[4] = {
            dng_point(srcArea.t + phase.v, srcArea.l + phase.h),
            dng_point(srcArea.t + phase.v, srcArea.l),
            dng_point(srcArea.t, srcArea.l + phase.h),
            dng_point(srcArea.t, srcArea.l),
        };
        for (int k = 0; k < 4; ++k) {
            const dng_rect piece = pieces[k] & dstArea;
            if (piece.IsEmpty()) continue;
            const int32_t t = sourceOrigin[k].v + (piece.t - pieces[k].t);
            const int32_t l = sourceOrigin[k].h + (piece.l - pieces[k].l);
            dng_pixel_buffer temp(buffer);
            temp.area = dng_rect(t, l, t + int32_t(piece.H()), l + int32_t(piece.W()));
            temp.data = buffer.DirtyPixel(piece.t, piece.l, buffer.plane);
            DoGet(temp);
        }
        source = dng_rect(dstArea.t, dstArea.l, dstArea.t + h, dstArea.l + w) & dstArea;
    }
    buffer.RepeatArea(source, dstArea);
}

void dng_image::Put(const dng_pixel_buffer& buffer) {
    const dng_rect overlap = buffer.area & fBounds;
    if (overlap.IsEmpty() || buffer.plane >= fPlanes) return;
    dng_pixel_buffer temp = Narrowed(buffer, overlap);
    temp.planes = std::min(temp.planes, fPlanes - temp.plane);
    DoPut(temp);
}
