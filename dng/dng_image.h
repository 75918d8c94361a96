#pragma once
// The multi-plane raster every DNG stage reads and writes; storage stays behind tile buffers.
#include "dng/dng_rect.h"
#include "dng/dng_uncopyable.h"

#include <cstdint>

class dng_orientation;
class dng_pixel_buffer;
class dng_tile_buffer;

class dng_image : private dng_uncopyable {
  public:
    enum edge_option : uint32_t { edge_none = 0, edge_zero = 1, edge_repeat = 2, edge_repeat_zero_last = 3 };

    static constexpr uint32_t kMaxDimension = 130000;

    dng_image(const dng_rect& bounds, uint32_t planes, uint32_t pixelType);
    virtual ~dng_image() = default;

    virtual dng_image* Clone() const;
    virtual void SetPixelType(uint32_t pixelType);
    virtual dng_rect RepeatingTile() const { return fBounds; }
    virtual void Trim(const dng_rect& r);
    virtual void Rotate(const dng_orientation& orientation);
    virtual bool EqualArea(const dng_image& other, const dng_rect& area, uint32_t plane,
                           uint32_t planes) const;
    virtual void GetRepeat(dng_pixel_buffer& buffer, const dng_rect& srcArea, const dng_rect& dstArea) const;
    virtual void AcquireTileBuffer(dng_tile_buffer& buffer, const dng_rect& area, bool dirty) const;
    virtual void ReleaseTileBuffer(dng_tile_buffer& /*buffer*/) const {}
    virtual void DoGet(dng_pixel_buffer& buffer) const;
    virtual void DoPut(const dng_pixel_buffer& buffer);
    virtual void CopyArea(const dng_image& src, const dng_rect& area, uint32_t srcPlane, uint32_t dstPlane,
                          uint32_t planes);
    virtual void SetConstant(uint32_t value, const dng_rect& area);

    // Parts of the buffer's area outside the bounds are filled as `edge` says, repeating
    // strips of repeatV rows and repeatH columns.
    void Get(dng_pixel_buffer& buffer, edge_option edge = edge_none, uint32_t repeatV = 1,
             uint32_t repeatH = 1) const;
    // Clipped to the bounds and to the image's planes.
    void Put(const dng_pixel_buffer& buffer);

    const dng_rect& Bounds() const { return fBounds; }
    uint32_t Width() const { return fBounds.W(); }
    uint32_t Height() const { return fBounds.H(); }
    uint32_t Planes() const { return fPlanes; }
    uint32_t PixelType() const { return fPixelType; }
    uint32_t PixelSize() const;
    uint32_t PixelRange() const;

  protected:
    dng_rect fBounds;
    uint32_t fPlanes;
    uint32_t fPixelType;

  private:
    void GetEdge(dng_pixel_buffer& buffer, edge_option edge, const dng_rect& srcArea,
                 const dng_rect& dstArea) const;
    void FillEdges(dng_pixel_buffer& buffer, edge_option edge, uint32_t repeatV, uint32_t repeatH) const;
};
