#pragma once
// A decoder record as identification leaves it before any colour data is known.
#include <algorithm>
#include <memory>

#include "raw/core/DecoderState.h"

namespace testsupport {

inline std::unique_ptr<raw::DecoderState> identified_state() {
    auto s = std::make_unique<raw::DecoderState>();
    s->colour_count = 3;
    s->camera_colour_output = 1;
    s->iso_value = 100;
    const float as_shot[4] = {0, 1, 0, 0}, daylight[4] = {1, 1, 1, 0};
    std::copy(as_shot, as_shot + 4, s->as_shot_multipliers);
    std::copy(daylight, daylight + 4, s->daylight_multipliers);
    for (int i = 0; i < 3; ++i)
        s->rgb_from_camera[i][i] = 1;
    s->as_shot_white_xyz[0] = -1000;
    return s;
}

} // namespace testsupport
