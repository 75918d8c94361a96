// AHD on the calling thread for the command line: the threaded driver's directional
// estimates, with the more homogeneous direction judged on L*a*b* lightness and chroma
// instead of green alone.
#include <cstdio>

#include "raw/core/CfaColor.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/develop/AhdTile.h"
#include "raw/develop/CieLab.h"
#include "raw/develop/Demosaic.h"
#include "raw/develop/LabHomogeneity.h"

namespace raw {
namespace {

using namespace ahd;

struct LabWork {
    AhdWorkArea area;
    int16_t lab[2][TS * TS][3];
    cielab_table colours;
};

void redBlueInLab(Tile& t, LabWork& work, int r) {
    bayer_red_blue(t, r);
    const int colEnd = t.colEnd(1, 3);
    for (int dir = 0; dir < 2; ++dir)
        for (int col = t.left + 1; col < colEnd; ++col) {
            const int p = t.position(r, col);
            cielab(work.colours, work.area.rgb[dir][p], work.lab[dir][p]);
        }
}

void labHomogeneity(Tile& t, LabWork& work, int r) {
    static constexpr int kAxis[2] = {1, TS};
    static constexpr int kNeighbour[4] = {-1, 1, -TS, TS};
    const int16_t(*const lab[2])[3] = {work.lab[0], work.lab[1]};
    uint8_t* const homo[2] = {work.area.homo[0], work.area.homo[1]};
    const lab_directions dirs{lab, 2, kAxis, kNeighbour, 4};
    const int colEnd = t.colEnd(2, 4);
    for (int col = t.left + 2; col < colEnd; ++col)
        lab_homogeneity(dirs, t.position(r, col), homo);
}

} // namespace

void ahd_interpolate(DecoderState& s) {
    if (s.verbose_output) std::fputs("AHD interpolation...\n", stderr);
    if (!s.pixel_image || !s.image_height || !s.image_width) return;
    decoder_border_fill(s, kBorder);
    const auto work = file_backed_object<LabWork>(s, "ahd_interpolate()");
    cielab(s, work->colours);

    const band_job image = whole_image_band(demosaic_job_of(s), 2, kBorder, nullptr);
    // The decoder's own lookup: pattern 1 sits at the image's margins.
    const ColourGrid grid(s.cfa_pattern, [&s](int r, int c) { return cfa_color(s, r, c); });
    for_each_tile(image, [&](int top, int left) {
        Tile t{image, work->area, grid, top, left};
        run_tile(
            t, bayer_greens, [&](Tile& tile, int r) { redBlueInLab(tile, *work, r); },
            [&](Tile& tile, int r) { labHomogeneity(tile, *work, r); });
    });
}

} // namespace raw
