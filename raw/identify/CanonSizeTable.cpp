#include "raw/identify/CameraAdjust.h"

namespace raw {

// Where the values come from:
// - 2144x1560, 3984x2622, 4176x3062, 4480x3348, 5632x3710 and 8896x5920 are the layouts
//   the decoder was designed with.
// - The rows with a comment are read from the sensor block the camera writes into its own
//   files (CIFF record 0x1031 of CRW files, maker-note tag 0x00E0 of CR2 and CR3 files and
//   of in-camera JPEGs, whose block equals the raw file's). The comment names the bodies,
//   which all wrote the same block, and one public file (repository, path) it was read
//   from. The active-area borders give the margins and the cuts (raw size - 1 - right or
//   bottom border); where the block also gives a black-mask column range, the masked
//   columns are set so that the sensor preparation measures exactly that range (it adds 2
//   to the shared left offset and the margins to both). An active area that starts on an
//   odd row gets the pattern byte that shifts the default pattern by one row.
// - Every other row has no camera data to draw on and stays empty: it changes nothing.
const canon_size_row canon_size_table[kCanonSizeRows] = {
    {1944, 1416},
    {2144, 1560, 4, 8, 52, 2, 0, 0, 0, 25, 0},
    // EOS D30: evanoberholster/imagemeta testImages/CRW.CRW
    {2224, 1456, 56, 12, 8, 4, 0, 13, 6, 0, 0},
    // PowerShot G2, S40: drewnoakes/digicam_corpus Canon/PowerShot G2/CRW_0304.CRW
    {2376, 1728, 32, 14, 72, 10, 0, 0, 34, 32, 0},
    {2672, 1968},
    // EOS Digital Rebel: exiftool/exiftool t/images/CanonRaw.crw
    {3152, 2068, 72, 16, 8, 4, 0, 29, 22, 0, 0},
    {3160, 2344},
    {3344, 2484},
    // EOS 350D: exiftool/exiftool t/images/CanonRaw.cr2
    {3516, 2328, 52, 19, 8, 5, 0, 0, 0, 0, 0x49},
    // EOS 20D, 30D: Exiv2/exiv2 test/data/exiv2-canon-eos-20d.jpg
    {3596, 2360, 84, 19, 8, 5, 0, 0, 0, 0, 0x49},
    {3744, 2784},
    {3944, 2622},
    // EOS 1000D: drewnoakes/metadata-extractor-images jpg/Canon EOS 1000D.jpg
    {3948, 2622, 52, 23, 8, 7, 0, 0, 0, 0, 0x49},
    {3984, 2622, 76, 20, 0, 2, 14, 0, 0, 0, 0},
    {4104, 3048},
    {4116, 2178},
    {4152, 2772},
    {4160, 3124},
    {4176, 3062, 96, 17, 8, 0, 0, 16, 0, 7, 0x49},
    {4192, 3062},
    // EOS 450D: drewnoakes/metadata-extractor-images jpg/Canon EOS 450D.jpg
    {4312, 2876, 32, 23, 8, 5, 0, 0, 0, 0, 0x49},
    {4352, 2874},
    {4476, 2954},
    {4480, 3348, 12, 10, 36, 12, 0, 0, 0, 18, 0x49},
    {4480, 3366},
    {4496, 3366},
    {4768, 3516},
    // EOS 500D: Exiv2/exiv2 test/data/test_issue_981a.exv
    {4832, 3204, 72, 31, 8, 5, 0, 0, 0, 0, 0x49},
    {4832, 3228},
    {5108, 3349},
    {5120, 3318},
    // EOS 100D: LycheeOrg/Lychee tests/Samples/undefined-exif-tag.jpg
    {5280, 3528, 84, 64, 12, 8, 0, 0, 0, 0, 0},
    // EOS 600D, 1300D: Exiv2/exiv2 test/data/exiv2-g20.exv
    {5344, 3516, 152, 56, 8, 4, 0, 0, 0, 0, 0},
    {5344, 3584},
    {5360, 3516},
    {5632, 3710, 96, 17, 0, 0, 0, 16, 0, 0, 0x49},
    // EOS 6D, 70D, R6: Exiv2/exiv2 test/data/20220610_MG_7237.exv
    {5568, 3708, 84, 50, 12, 10, 0, 0, 0, 0, 0},
    // EOS-1Ds Mark III: evanoberholster/imagemeta testImages/CR2.exif
    {5712, 3774, 72, 25, 24, 5, 0, 0, 0, 0, 0x49},
    // EOS 5D Mark II: Exiv2/exiv2 test/data/CanonEF100mmF2.8LMacroISUSM.exv
    {5792, 3804, 168, 56, 8, 4, 0, 0, 0, 0, 0},
    // EOS 5D Mark III: Exiv2/exiv2 test/data/exiv2-bug1252a.exv
    {5920, 3950, 140, 96, 20, 14, 0, 0, 0, 0, 0},
    {6096, 4051},
    {6096, 4056},
    // EOS M50: exiftool/exiftool t/images/CanonRaw.cr3
    {6288, 4056, 276, 48, 12, 8, 0, 0, 0, 0, 0},
    // EOS RP: drewnoakes/digicam_corpus Canon/EOS RP/_MG_0631.JPG
    {6384, 4224, 132, 56, 12, 8, 0, 0, 0, 0, 0},
    // EOS 5D Mark IV: Exiv2/exiv2 test/data/Sigma_35mm_F1.4_DG_HSM_A_for_EOS.exv
    {6880, 4544, 148, 54, 12, 10, 0, 0, 0, 0, 0},
    // EOS R: sindresorhus/file-type fixture/fixture.cr3
    {6888, 4546, 156, 58, 12, 8, 0, 0, 0, 0, 0},
    {8896, 5920, 160, 64, 0, 0, 0, 0, 0, 0, 0},
};

} // namespace raw
