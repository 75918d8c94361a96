#include <algorithm>
#include <cstring>

#include "raw/containers/Containers.h"
#include "raw/core/InputReaders.h"
#include "raw/identify/Identify.h"
#include "raw/identify/IdentifyReading.h"
#include "raw/loaders/Loaders.h"

namespace raw {

// Columns: size; raw width, height; margins left, top, right, bottom; load flags; pattern
// byte; white shift; flags; make; model; data offset. Only rows whose layout is documented
// carry a geometry; the others name their camera but have a raw size of 0 and never match,
// so such a file is refused instead of decoded with a guessed layout.
const file_size_row file_size_table[kFileSizeRows] = {
    {786432, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "AVT", "F-080C", 0},
    {1447680, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "AVT", "F-145C", 0},
    {1920000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "AVT", "F-201C", 0},
    {5067304, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "AVT", "F-510C", 0},
    {5067316, 2588, 1958, 0, 0, 0, 0, 0, 0x94, 0, 0, "AVT", "F-510C", 12},
    {10134608, 2588, 1958, 0, 0, 0, 0, 9, 0x00, 0, 0, "AVT", "F-510C", 0},
    {10134620, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "AVT", "F-510C", 0},
    {16157136, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "AVT", "F-810C", 0},
    {15980544, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "AgfaPhoto", "DC-833m", 0},
    {9631728, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Alcatel", "5035D", 0},
    {2868726, 1384, 1036, 0, 0, 0, 0, 64, 0x49, 0, 8, "Baumer", "TXG14", 1078},
    {5298000, 2400, 1766, 12, 12, 44, 2, 40, 0x94, 0, 2, "Canon", "PowerShot SD300", 0},
    {6553440, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A460", 0},
    {6573120, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A610", 0},
    {6653280, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A530", 0},
    {7710960, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot S3 IS", 0},
    {9219600, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A620", 0},
    {9243240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A470", 0},
    {10341600, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A720 IS", 0},
    {10383120, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A630", 0},
    {12945240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A640", 0},
    {15636240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A650", 0},
    {15467760, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot SX110 IS", 0},
    {15534576, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot SX120 IS", 0},
    {18653760, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot SX20 IS", 0},
    {19131120, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot SX220 HS", 0},
    {21936096, 4464, 3276, 25, 10, 73, 12, 40, 0x16, 0, 2, "Canon", "PowerShot SX30 IS", 0},
    {24724224, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "PowerShot A3300 IS", 0},
    {30858240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Canon", "IXUS 160", 0},
    {1976352, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "QV-2000UX", 0},
    {3217760, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "QV-3*00EX", 0},
    {6218368, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "QV-5700", 0},
    {7816704, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z60", 0},
    {2937856, 1621, 1208, 0, 0, 1, 0, 0, 0x94, 7, 13, "Casio", "EX-S20", 0},
    {4948608, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-S100", 0},
    {6054400, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "QV-R41", 0},
    {7426656, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-P505", 0},
    {7530816, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "QV-R51", 0},
    {7542528, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z50", 0},
    {7562048, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z500", 0},
    {7753344, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z55", 0},
    {9313536, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-P600", 0},
    {10834368, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z750", 0},
    {10843712, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z75", 0},
    {10979200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-P700", 0},
    {12310144, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z850", 0},
    {12489984, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z8", 0},
    {15499264, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "EX-Z1050", 0},
    {18702336, 4096, 3044, 0, 0, 24, 0, 80, 0x00, 7, 1, "Casio", "EX-ZR100", 0},
    {7684000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Casio", "QV-4000", 0},
    {787456, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Creative", "PC-CAM 600", 0},
    {28829184, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "DJI", "", 0},
    {15151104, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Matrix", "", 0},
    {3840000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Foculus", "531C", 0},
    {307200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Generic", "", 0},
    {62464, 256, 244, 1, 1, 6, 1, 0, 0x8d, 0, 0, "Kodak", "DC20", 0},
    {124928, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "DC20", 0},
    {1652736, 1536, 1076, 0, 52, 0, 0, 0, 0x61, 0, 0, "Kodak", "DCS200", 0},
    {4159302, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C330", 0},
    {4162462, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C330", 0},
    {2247168, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C330", 0},
    {3370752, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C330", 0},
    {6163328, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C603", 0},
    {6166488, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C603", 0},
    {460800, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C603", 0},
    {9116448, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "C603", 0},
    {12241200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "12MP", 0},
    {12272756, 4040, 3030, 2, 0, 0, 13, 0, 0x49, 0, 0, "Kodak", "12MP", 31556},
    {18000000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "12MP", 0},
    {614400, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Kodak", "KAI-0340", 0},
    {15360000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Lenovo", "A820", 0},
    {3884928, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Micron", "2010", 0},
    {1138688, 1534, 986, 0, 0, 0, 0, 0, 0x61, 0, 0, "Minolta", "RD175", 513},
    {1581060, 1305, 969, 0, 0, 18, 6, 6, 0x1e, 4, 1, "Nikon", "E900", 0},
    {2465792, 1638, 1204, 0, 0, 22, 1, 6, 0x4b, 5, 1, "Nikon", "E950", 0},
    {2940928, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Nikon", "E2100", 0},
    {4771840, 2064, 1541, 0, 0, 0, 1, 6, 0xe1, 0, 1, "Nikon", "E990", 0},
    {4775936, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Nikon", "E3700", 0},
    {5865472, 2288, 1709, 0, 0, 0, 0, 6, 0xb4, 0, 0, "Nikon", "E4500", 0},
    {5869568, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Nikon", "E4300", 0},
    {7438336, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Nikon", "E5000", 0},
    {8998912, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Nikon", "COOLPIX S6", 0},
    {5939200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Olympus", "C770UZ", 0},
    {3178560, 2064, 1540, 0, 0, 0, 0, 0, 0x94, 0, 1, "Pentax", "Optio S", 0},
    {4841984, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Pentax", "Optio S", 0},
    {6114240, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Pentax", "Optio S4", 0},
    {10702848, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Pentax", "Optio 750Z", 0},
    {4147200, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Photron", "BC2-HD", 0},
    {4151666, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Photron", "BC2-HD", 0},
    {13248000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Pixelink", "A782", 0},
    {6291456, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "RoverShot", "3320AF", 0},
    {311696, 644, 484, 0, 0, 0, 0, 0, 0x16, 0, 8, "ST Micro", "STV680 VGA", 0},
    {16098048, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Samsung", "S85", 0},
    {16215552, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Samsung", "S85", 0},
    {20487168, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Samsung", "WB550", 0},
    {24000000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Samsung", "WB550", 0},
    {12582980, 3072, 2048, 0, 0, 0, 0, 33, 0x61, 0, 0, "Sinar", "", 68},
    {33292868, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Sinar", "", 0},
    {44390468, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Sinar", "", 0},
    {1409024, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Sony", "XCD-SX910CR", 0},
    {2818048, 1376, 1024, 0, 0, 1, 0, 97, 0x49, 0, 0, "Sony", "XCD-SX910CR", 0},
};

namespace {

void choose_loader_by_bits(DecoderState& s, const file_size_row& row) {
    switch (s.bits_per_sample) {
    case 6:
        s.raw_loader = line_remap_8bit_load_raw;
        break;
    case 8:
        s.raw_loader = eight_bit_load_raw;
        break;
    case 10:
    case 12:
        s.raw_loader = packed_bits_load_raw;
        s.loader_flags =
            std::strcmp(row.make, "Canon") == 0 ? row.load_flags | 0x300u : row.load_flags + 512u;
        break;
    case 16:
        s.byte_order = uint16_t(kLittleEndian + 0x404 * (row.load_flags & 1));
        s.loader_flags = (row.load_flags >> 1) & 7;
        s.bits_per_sample = 16 - (row.load_flags >> 4) - s.loader_flags;
        s.raw_loader = plain_words_load_raw;
        break;
    default:
        break; // no loader: the file is refused later
    }
}

uint32_t white_for(uint32_t bits, uint32_t shift) {
    auto power = [](uint32_t n) { return n < 64 ? uint64_t(1) << n : 0; };
    return uint32_t(power(bits) - power(shift));
}

void apply_row(DecoderState& s, const file_size_row& row, uint64_t file_length) {
    set_text(s.camera_make, row.make);
    set_text(s.camera_model, row.model);
    s.orientation_code = row.flags >> 2;
    s.zero_pixels_bad = (row.flags >> 1) & 1;
    if (row.flags & 1) parse_external_jpeg(s);
    s.sensor_data_offset = row.data_offset;
    s.sensor_width = row.raw_width;
    s.sensor_height = row.raw_height;
    s.margin_left = row.left_margin;
    s.margin_top = row.top_margin;
    s.visible_width = uint16_t(row.raw_width - row.left_margin - row.right_margin);
    s.visible_height = uint16_t(row.raw_height - row.top_margin - row.bottom_margin);
    s.cfa_pattern = row.pattern_byte * 0x01010101u;
    s.colour_count = (s.cfa_pattern & s.cfa_pattern >> 1 & 0x5555) ? 4 : 3;
    s.loader_flags = row.load_flags;
    const uint64_t photosites = uint64_t(row.raw_width) * row.raw_height;
    const uint64_t data = file_length > row.data_offset ? file_length - row.data_offset : 0;
    s.bits_per_sample = uint32_t(photosites ? std::min<uint64_t>(data * 8 / photosites, 0xFFFF) : 0);
    choose_loader_by_bits(s, row);
    s.white_level = white_for(s.bits_per_sample, row.white_shift);
}

} // namespace

bool apply_file_size_table(DecoderState& s, uint64_t file_length) {
    for (const file_size_row& row : file_size_table) {
        if (row.file_size != file_length || row.raw_width == 0 || row.raw_height == 0) continue;
        apply_row(s, row, file_length);
        return true;
    }
    return false;
}

} // namespace raw
