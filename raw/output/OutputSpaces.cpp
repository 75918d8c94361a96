#include "raw/colour/CameraColour.h"
#include "raw/output/ColourOutput.h"

namespace raw {
namespace {

const float identity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
const float adobe_rgb[3][3] = {{0.715146f, 0.284856f, 0}, {0, 1, 0}, {0, 0.041166f, 0.958839f}};
const float wide_gamut[3][3] = {
    {0.593087f, 0.404710f, 0.002206f}, {0.095413f, 0.843149f, 0.061439f}, {0.011621f, 0.069091f, 0.919288f}};
const float prophoto[3][3] = {
    {0.529317f, 0.330092f, 0.140588f}, {0.098368f, 0.873465f, 0.028169f}, {0.016879f, 0.117663f, 0.865457f}};
const float aces[3][3] = {
    {0.432996f, 0.375380f, 0.189317f}, {0.089427f, 0.816523f, 0.102989f}, {0.019165f, 0.118150f, 0.941914f}};

const float (*const matrices[6])[3] = {identity, adobe_rgb, wide_gamut, prophoto, xyz_from_srgb, aces};
const char* const names[6] = {"sRGB", "Adobe RGB", "wide gamut", "ProPhoto", "XYZ", "ACES"};

} // namespace

const float (*output_matrix(int output_space))[3] {
    return output_space >= 1 && output_space <= 6 ? matrices[output_space - 1] : nullptr;
}

const char* output_space_name(int output_space) {
    return output_space >= 1 && output_space <= 6 ? names[output_space - 1] : nullptr;
}

} // namespace raw
