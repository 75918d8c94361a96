#pragma once
// The 64Base residuals: an index file naming the extension files and where each layer's
// row records start in them.
#include <string>

#include "photocd/PcdPlane.h"

namespace photocd {

// Fills planes[0] (luma) and, for colour images, planes[1] and [2]. Throws PcdFailure,
// with an empty text where no more specific message applies.
void readExtensionResiduals(const std::string& indexPath, bool monochrome, PcdPlane planes[3]);

} // namespace photocd
