// The reading side of a directory: the image reader decides and moves the samples.
#include "dng/dng_exceptions.h"
#include "dng/dng_ifd.h"

// The image reader lands with the reading road; until then no directory can be read.
bool dng_ifd::CanRead() const { return false; }

void dng_ifd::ReadImage(dng_host&, dng_stream&, dng_image&, dng_jpeg_image*, dng_fingerprint*) const {
    ThrowNotYetImplemented("dng_ifd::ReadImage");
}
