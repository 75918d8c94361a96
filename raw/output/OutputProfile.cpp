// The ICC profile that travels with files written by the decoder: a version 2 matrix/TRC
// display profile of the output space, D65 white, colorants adapted to the D50 connection
// space, one gamma for all three channels.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "raw/colour/CameraColour.h"
#include "raw/core/DecoderError.h"
#include "raw/core/FileBackedMemory.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

constexpr uint32_t signature(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 |
           uint32_t(uint8_t(text[2])) << 8 | uint32_t(uint8_t(text[3]));
}

struct TagPlan {
    uint32_t signature, size;
};

constexpr TagPlan kTags[] = {
    {signature("cprt"), 36}, {signature("desc"), 40}, {signature("wtpt"), 20}, {signature("bkpt"), 20},
    {signature("rTRC"), 14}, {signature("gTRC"), 14}, {signature("bTRC"), 14}, {signature("rXYZ"), 20},
    {signature("gXYZ"), 20}, {signature("bXYZ"), 20},
};
constexpr int kTagCount = int(std::size(kTags));
constexpr uint32_t kHeaderSize = 128;
constexpr uint32_t kTagDataStart = kHeaderSize + 4 + kTagCount * 12;

// XYZ (D50, Bradford-adapted) from linear sRGB: the colorants of sRGB in the connection space.
constexpr float kXyzD50FromSrgb[3][3] = {
    {0.436083f, 0.385083f, 0.143055f}, {0.222507f, 0.716888f, 0.060608f}, {0.013930f, 0.097097f, 0.714022f}};

constexpr const char* kCopyright = "Public domain";

class ProfileWriter {
  public:
    explicit ProfileWriter(uint8_t* bytes) : bytes_(bytes) {}
    void u16(uint32_t at, uint32_t v) {
        bytes_[at] = uint8_t(v >> 8);
        bytes_[at + 1] = uint8_t(v);
    }
    void u32(uint32_t at, uint32_t v) {
        u16(at, v >> 16);
        u16(at + 2, v & 0xFFFF);
    }
    void text(uint32_t at, const char* s) { std::memcpy(bytes_ + at, s, std::strlen(s)); }
    void xyz(uint32_t at, const int32_t v[3]) {
        u32(at, signature("XYZ "));
        for (int i = 0; i < 3; ++i)
            u32(at + 8 + 4 * i, uint32_t(v[i]));
    }

  private:
    uint8_t* bytes_;
};

int32_t s15_fixed16(float v) {
    return int32_t(std::clamp(v * 65536.0f + 0.5f, -2147483648.0f, 2147483520.0f));
}

// The TRC's single gamma in 8.8 fixed point, from the curve's effective power.
uint32_t gamma_u8_fixed8(const DecoderState& s) {
    const float ratio = s.gamma_params[5];
    if (!(ratio > 0) || !std::isfinite(ratio)) return 256;
    return uint32_t(std::clamp(256.0f / ratio + 0.5f, 0.0f, 65535.0f));
}

// Connection-space colorants: D50 from sRGB times sRGB from the output space.
void colorants(int space, int32_t out[3][3]) {
    float inverse_t[3][3];
    pseudo_inverse(output_matrix(space), inverse_t, 3); // the transposed inverse
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            float v = 0;
            for (int k = 0; k < 3; ++k)
                v += kXyzD50FromSrgb[i][k] * inverse_t[j][k];
            out[j][i] = s15_fixed16(v); // column j is channel j's colorant
        }
}

void write_header(ProfileWriter& w, uint32_t length, int space) {
    w.u32(0, length);
    w.u32(8, 0x02100000);
    w.u32(12, signature("mntr"));
    w.u32(16, signature(space == 5 ? "XYZ " : "RGB "));
    w.u32(20, signature("XYZ "));
    w.u32(36, signature("acsp"));
    w.u32(48, signature("none"));
    const uint32_t d50[3] = {63190, 65536, 54061};
    for (int i = 0; i < 3; ++i)
        w.u32(68 + 4 * i, d50[i]);
}

void write_tags(ProfileWriter& w, const DecoderState& s, const uint32_t offsets[]) {
    const char* name = output_space_name(s.output_space);
    w.u32(offsets[0], signature("text"));
    w.text(offsets[0] + 8, kCopyright);
    w.u32(offsets[1], signature("desc"));
    w.u32(offsets[1] + 8, uint32_t(std::strlen(name) + 1));
    w.text(offsets[1] + 12, name);
    const int32_t d65[3] = {62289, 65536, 71372}, black[3] = {0, 0, 0};
    w.xyz(offsets[2], d65);
    w.xyz(offsets[3], black);
    for (int t = 4; t < 7; ++t) {
        w.u32(offsets[t], signature("curv"));
        w.u32(offsets[t] + 8, 1);
        w.u16(offsets[t] + 12, gamma_u8_fixed8(s));
    }
    int32_t columns[3][3];
    colorants(s.output_space, columns);
    for (int c = 0; c < 3; ++c)
        w.xyz(offsets[7 + c], columns[c]);
}

} // namespace

void build_output_profile(DecoderState& s) {
    if (!output_matrix(s.output_space)) return;
    file_backed_free(s, s.output_profile);
    s.output_profile = static_cast<uint8_t*>(file_backed_calloc(s, kOutputProfileCapacity, 1));
    memory_error(s, s.output_profile, "convert_to_rgb()");

    ProfileWriter w(s.output_profile);
    uint32_t offsets[kTagCount];
    uint32_t at = kTagDataStart;
    w.u32(kHeaderSize, kTagCount);
    for (int t = 0; t < kTagCount; ++t) {
        offsets[t] = at;
        const uint32_t entry = kHeaderSize + 4 + 12 * t;
        w.u32(entry, kTags[t].signature);
        w.u32(entry + 4, at);
        w.u32(entry + 8, kTags[t].size);
        at = (at + kTags[t].size + 3) & ~3u;
    }
    const uint32_t length = offsets[kTagCount - 1] + kTags[kTagCount - 1].size;
    write_header(w, length, s.output_space);
    write_tags(w, s, offsets);
}

} // namespace raw
