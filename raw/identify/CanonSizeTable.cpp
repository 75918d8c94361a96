#include "raw/identify/CameraAdjust.h"

namespace raw {

// Where the values come from:
// - 2144x1560, 3984x2622, 4176x3062, 4480x3348, 5632x3710 and 8896x5920 are the layouts
//   the decoder was designed with.
// - 2224x1456, 2376x1728, 3152x2068, 3516x2328 and 6288x4056 are read from the sensor
//   block the camera writes into its own files (CIFF record 0x1031 of CRW files, maker-note
//   tag 0x00E0 of CR2 and CR3 files) of an EOS D30, a PowerShot G2, an EOS Digital Rebel,
//   an EOS 350D and an EOS M50: the active-area borders give the margins and the cuts
//   (raw size - 1 - right or bottom border); where the block also gives a black-mask
//   column range, the masked columns are set so that the sensor preparation measures
//   exactly that range (it adds 2 to the shared left offset and the margins to both).
//   The 350D's active area starts on an odd row, so its pattern byte shifts the default
//   pattern by one row, as for the other rows with an odd top margin.
// - Every other row has no camera data to draw on and stays empty: it changes nothing.
const canon_size_row canon_size_table[kCanonSizeRows] = {
    {1944, 1416},
    {2144, 1560, 4, 8, 52, 2, 0, 0, 0, 25, 0},
    {2224, 1456, 56, 12, 8, 4, 0, 13, 6, 0, 0},
    {2376, 1728, 32, 14, 72, 10, 0, 0, 34, 32, 0},
    {2672, 1968},
    {3152, 2068, 72, 16, 8, 4, 0, 29, 22, 0, 0},
    {3160, 2344},
    {3344, 2484},
    {3516, 2328, 52, 19, 8, 5, 0, 0, 0, 0, 0x49},
    {3596, 2360},
    {3744, 2784},
    {3944, 2622},
    {3948, 2622},
    {3984, 2622, 76, 20, 0, 2, 14, 0, 0, 0, 0},
    {4104, 3048},
    {4116, 2178},
    {4152, 2772},
    {4160, 3124},
    {4176, 3062, 96, 17, 8, 0, 0, 16, 0, 7, 0x49},
    {4192, 3062},
    {4312, 2876},
    {4352, 2874},
    {4476, 2954},
    {4480, 3348, 12, 10, 36, 12, 0, 0, 0, 18, 0x49},
    {4480, 3366},
    {4496, 3366},
    {4768, 3516},
    {4832, 3204},
    {4832, 3228},
    {5108, 3349},
    {5120, 3318},
    {5280, 3528},
    {5344, 3516},
    {5344, 3584},
    {5360, 3516},
    {5632, 3710, 96, 17, 0, 0, 0, 16, 0, 0, 0x49},
    {5568, 3708},
    {5712, 3774},
    {5792, 3804},
    {5920, 3950},
    {6096, 4051},
    {6096, 4056},
    {6288, 4056, 276, 48, 12, 8, 0, 0, 0, 0, 0},
    {6384, 4224},
    {6880, 4544},
    {6888, 4546},
    {8896, 5920, 160, 64, 0, 0, 0, 0, 0, 0, 0},
};

} // namespace raw
