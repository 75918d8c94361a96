// CFAPattern and CFAPlaneColor: from the pattern bytes of a TIFF/EP or DNG directory to
// the decoder's 2-bit pattern word.
#include <algorithm>

#include "raw/tiff/TiffDirectory.h"
#include "raw/tiff/TiffReading.h"

namespace raw {

void read_cfa_pattern(DecoderState& s, CfaWork& cfa, uint32_t count) {
    cfa.pattern_count = int(std::min<uint32_t>(count, 16));
    for (int i = 0; i < cfa.pattern_count; ++i)
        cfa.pattern[i] = uint8_t(read_byte(s));

    // Distinct colours before the fourth; values of 32 and more name no colour.
    uint32_t seen = 0;
    int colours = 0;
    for (int i = 0; i < cfa.pattern_count && colours < 4; ++i) {
        if (cfa.pattern[i] >= 32) continue;
        colours += !(seen & (1u << cfa.pattern[i]));
        seen |= 1u << cfa.pattern[i];
    }
    s.colour_count = colours;
    static const uint8_t rgbg[4] = {0, 1, 2, 3}, cmy[4] = {3, 4, 5, 0}, gmcy[4] = {5, 3, 4, 1};
    const uint8_t* planes = seen == 070 ? cmy : seen == 072 ? gmcy : rgbg;
    std::copy(planes, planes + 4, cfa.plane_colours);
}

void decode_cfa_pattern(DecoderState& s, const CfaWork& cfa) {
    int colours = std::clamp(s.colour_count, 0, 4);
    uint8_t map[256] = {};
    for (int c = 0; c < colours; ++c)
        map[cfa.plane_colours[c]] = uint8_t(c);
    s.colour_letters[colours] = 0;
    // Without pattern bytes there is nothing to repeat: the pattern stays as it was.
    if (cfa.pattern_count == 0) return;
    uint32_t pattern = 0;
    for (int i = 16; i--;)
        pattern = pattern << 2 | map[cfa.pattern[i % cfa.pattern_count]];
    s.cfa_pattern = pattern ? pattern : 0xFFFFFFFFu;
}

} // namespace raw
