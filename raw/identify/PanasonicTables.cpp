#include <cstring>

#include "raw/identify/CameraAdjust.h"

namespace raw {

const char panasonic_aliases[kPanasonicAliases][12] = {
    "@DC-FZ80",  "DC-FZ82",   "DC-FZ85",    "@DC-FZ81",    "DC-FZ83",    "@DC-GF9",   "DC-GX800",  "DC-GX850",
    "@DC-GF10",  "DC-GF90",   "@DC-GX9",    "DC-GX7MK3",   "@DC-ZS70",   "DC-TZ90",   "DC-TZ91",   "DC-TZ92",
    "DC-TZ93",   "@DMC-FZ40", "DMC-FZ45",   "@DMC-FZ2500", "DMC-FZ2000", "DMC-FZH1",  "@DMC-G8",   "DMC-G80",
    "DMC-G81",   "DMC-G85",   "@DMC-GX85",  "DMC-GX80",    "DMC-GX7MK2", "@DMC-LX9",  "DMC-LX10",  "DMC-LX15",
    "@DMC-ZS40", "DMC-TZ60",  "DMC-TZ61",   "@DMC-ZS50",   "DMC-TZ70",   "DMC-TZ71",  "@DMC-ZS60", "DMC-TZ80",
    "DMC-TZ81",  "DMC-TZ85",  "@DMC-ZS100", "DMC-ZS110",   "DMC-TZ100",  "DMC-TZ101", "DMC-TZ110", "DMC-TX1",
    "@DC-ZS200", "DC-TX2",    "DC-TZ200",   "DC-TZ202",    "DC-TZ220",   "DC-ZS220",
};

const char* panasonic_alias_group(const char* model) {
    const char* group = nullptr;
    for (const char* entry : panasonic_aliases) {
        if (entry[0] == '@')
            group = entry + 1;
        else if (group && std::strcmp(entry, model) == 0)
            return group;
    }
    return nullptr;
}

const panasonic_margin_row panasonic_margin_table[kPanasonicMarginRows] = {
    {3130, 1743, 4, 0, -6, 0},    {3130, 2055, 4, 0, -6, 0},      {3130, 2319, 4, 0, -6, 0},
    {3170, 2103, 18, 0, -42, 20}, {3170, 2367, 18, 13, -42, -21}, {3177, 2367, 0, 0, -1, 0},
    {3304, 2458, 0, 0, -1, 0},    {3330, 2463, 9, 0, -5, 0},      {3330, 2479, 9, 0, -17, 4},
    {3370, 1899, 15, 0, -44, 20}, {3370, 2235, 15, 0, -44, 20},   {3370, 2511, 15, 10, -44, -21},
    {3690, 2751, 3, 0, -8, -3},   {3710, 2751, 0, 0, -3, 0},      {3724, 2450, 0, 0, 0, -2},
    {3770, 2487, 17, 0, -44, 19}, {3770, 2799, 17, 15, -44, -19}, {3880, 2170, 6, 0, -6, 0},
    {4060, 3018, 0, 0, 0, -2},    {4290, 2391, 3, 0, -8, -1},     {4330, 2439, 17, 15, -44, -19},
    {4508, 2962, 0, 0, -3, -4},   {4508, 3330, 0, 0, -3, -6},
};

} // namespace raw
