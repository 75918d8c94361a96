// The host's factories for classes that have not landed yet: each body becomes the real
// construction (deleting a half-built object when its constructor throws) as its class arrives.
#include "dng/dng_exceptions.h"
#include "dng/dng_exif.h"
#include "dng/dng_host.h"
#include "dng/dng_ifd.h"
#include "dng/dng_negative.h"
#include "dng/dng_opcode_list.h"
#include "dng/dng_resample.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_xmp.h"

dng_exif* dng_host::CreateExif() {
    return dng_guard_allocation([] { return new dng_exif; });
}

dng_xmp* dng_host::CreateXmp() {
    return dng_guard_allocation([&] { return new dng_xmp(Allocator()); });
}

dng_ifd* dng_host::CreateIfd() {
    return dng_guard_allocation([] { return new dng_ifd; });
}

dng_negative* dng_host::MakeNegative() { return dng_negative::Make(*this); }

dng_image* dng_host::CreateImage(const dng_rect& bounds, uint32_t planes, uint32_t pixelType) {
    return dng_guard_allocation([&] { return new dng_simple_image(bounds, planes, pixelType, Allocator()); });
}

void dng_host::ApplyOpcodeList(dng_opcode_list& list, dng_negative& negative,
                               std::unique_ptr<dng_image>& image) {
    list.Apply(*this, negative, image);
}

void dng_host::ResampleInto(const dng_image& source, dng_image& destination) {
    ResampleImage(*this, source, destination, source.Bounds(), destination.Bounds(),
                  dng_resample_bicubic::Get());
}
