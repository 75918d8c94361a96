#pragma once
// Doubles a plane in each direction. The destination is allocated at twice the source's size
// by the caller; with `addResidual` it already holds the signed residuals, which are added
// before clamping to 0-255.
#include "photocd/PcdPlane.h"

namespace photocd {

void upsampleReplicate(const PcdPlane& src, PcdPlane& dst, bool addResidual);
void upsampleBilinear(const PcdPlane& src, PcdPlane& dst, bool addResidual);
// Chroma only: the full-size luma decides how the points between chroma samples are filled.
void upsampleEdgeDirected(const PcdPlane& src, const PcdPlane& luma, PcdPlane& dst);

} // namespace photocd
