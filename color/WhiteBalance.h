#pragma once
// White balance of a rendering. The decoder balances the rendering for the white the camera
// recorded (the as-shot white). A chosen temperature and tint name the white the scene was
// really lit by; the adaptation from that white to the as-shot one, applied to the
// rendering's RGB, turns what had the chosen white's colour neutral. Before a monochrome mix
// it sets how the colours weigh, as a colour filter in front of the lens does.
#include <optional>

#include "color/ColorHelper.h"
#include "color/Matrix3x3.h"
#include "platform/Value.h"
#include "settings/Schema.h"

class WhiteBalance {
  public:
    static constexpr const char* kAsShotWhiteX = "asShotWhitex";
    static constexpr const char* kAsShotWhiteY = "asShotWhitey";
    static constexpr const char* kInputTemperature = settings::InputTemperature.c_str();
    static constexpr const char* kInputTint = settings::InputTint.c_str();

    // The white the rendering space holds as neutral (the decoders render into ProPhoto
    // primaries with the D65 white): the as-shot point of a file that records none.
    static XYCoord renderingWhite();
    // The as-shot white of a decoder's camera parameters: nothing while the decoder has not
    // said (no key yet), the rendering's white when it recorded none (a white of 0 or less).
    static std::optional<XYCoord> asShotWhite(const platform::Dictionary& cameraParameters);

    // The Bradford adaptation from the chosen white to the as-shot white in the rendering's
    // linear RGB (column vectors). Every von Kries adaptation in one cone space commutes with
    // the others, so the result does not depend on which white the RGB matrix is adapted to.
    static Matrix3x3 renderingAdaptation(const XYCoord& chosen, const XYCoord& asShot);

    // The adaptation the settings' temperature and tint ask for; nothing (the identity) when
    // they are the as-shot ones, so a default render is exactly what it was without one. A
    // missing temperature or tint counts as the as-shot one.
    static std::optional<Matrix3x3> adaptationForSettings(const std::optional<platform::Dictionary>& camera,
                                                          const platform::Dictionary& settings);

    // Puts the adaptation in front of a 4 x 4 matrix that acts on row vectors (output
    // channel j = sum over i of input i x matrix[i][j]); the alpha row stays as it is. Each
    // output keeps the value it gave a neutral pixel, as a filter's factor would, so the
    // balance moves colours against the greys and never the greys themselves.
    static void foldInFront(const Matrix3x3& adaptation, float* matrix);
};
