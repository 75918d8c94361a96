#pragma once
// The presets written when the preset folder is first made: "Zero'd", "Default" and
// "Default TIFF export", in that order, without identities.
#include <vector>

#include "platform/Value.h"

namespace app {

std::vector<platform::Dictionary> seededPresets();

} // namespace app
