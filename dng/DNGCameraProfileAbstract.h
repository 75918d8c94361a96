#pragma once
// One camera profile as the application uses it: a DCP file from the user's profile
// folder, or the automatic profile that stands for the decoder's own colour data.
// The decoder reads only isAutoProfile() and the two colour matrices, the output engine its
// gain tables; the stores keep a profile as a property-list dictionary naming its file.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Bitmap.h"
#include "platform/Value.h"

class dng_camera_profile;

class DNGCameraProfileAbstract {
  public:
    static constexpr const char* kClassKey = "Class_of_serialized_Object";
    static constexpr const char* kClassName = "DNGCameraProfileAbstract";
    static constexpr const char* kFileNameKey = "FileName";
    static constexpr const char* kAutoProfileName = "<Lumivar built-in profile>";

    // The automatic profile: no file, identity matrices.
    static std::shared_ptr<DNGCameraProfileAbstract> createAsAutoProfile();
    // A profile read from a DCP file; nullptr when the file cannot be read.
    static std::shared_ptr<DNGCameraProfileAbstract> createFromFile(const std::filesystem::path& file);
    // Rebuilds a stored profile from the profile folder; the automatic profile when the
    // dictionary names no file or the file cannot be read. Never nullptr.
    static std::shared_ptr<DNGCameraProfileAbstract> createFromPList(const platform::Dictionary& plist);

    static constexpr int kIconSize = 128;

    // The exposure curve: a line of slope 2^e, bent for negative e into a shoulder that
    // meets the line at 0.25 in value and slope and reaches 1.0 at 1.0.
    struct ExposureCurve {
        float fSlope = 1, a = 0, b = 1, c = 0;
        float curveAdjust(float x) const;
    };
    static ExposureCurve computecurveAdjust(float exposure);

    // The default tone curve at x; x itself below 1/1024 and from 1.0 on.
    static float dng_tone_curve_acr3_default(float x);
    // The default curve laid over [from, to]: from 0 to 1 it is the curve itself; x
    // unchanged outside the range.
    static float dng_tone_curve_acr3_defaultInRangeFrom(float x, float from, float to);
    // The default curve at (x - from) / (to - from) inside the range, not mapped back.
    static float dng_tone_curve_acr3_defaultForNormalizedRangeFrom(float x, float from, float to);

    DNGCameraProfileAbstract();
    virtual ~DNGCameraProfileAbstract();
    DNGCameraProfileAbstract(const DNGCameraProfileAbstract&) = delete;
    DNGCameraProfileAbstract& operator=(const DNGCameraProfileAbstract&) = delete;

    bool localInitFromFile(const std::filesystem::path& file);
    void localInitAsAutoProfile();

    platform::Dictionary objectSerializeForPList() const;

    // Fills up to two tables of n entries (either may be null): the 16-bit table with the
    // tone curve scaled to n - 1 (entry 0 not written), the float table with the gain
    // curve(x) / x for x = i / (n - 1) (entry 0: the curve at 0). The curve is the file's
    // tone curve when it has a valid one, else the default, weighted by toneCurve and bent
    // by a negative baseline exposure when whites are not clipped. Safe to call from
    // several threads at once.
    void generateLUT(uint16_t* lut16, float* fLut, uint32_t n, float baselineExposure,
                     bool processAsOutputReferred, bool clipWhites, float toneCurve) const;
    void generateLUT16(uint16_t* lut16, float* fLut, float baselineExposure, bool processAsOutputReferred,
                       bool clipWhites, float toneCurve) const {
        generateLUT(lut16, fLut, 65536, baselineExposure, processAsOutputReferred, clipWhites, toneCurve);
    }

    // True exactly when the profile has no file.
    bool isAutoProfile() const { return !profileURL_; }

    // Row and column 0..2 (XYZ to camera, one row per camera channel); not checked.
    float getcolorMatrix1(int row, int col) const { return colorMatrix1_[row][col]; }
    float getcolorMatrix2(int row, int col) const { return colorMatrix2_[row][col]; }
    void setcolorMatrix1(int row, int col, float value) { colorMatrix1_[row][col] = value; }
    void setcolorMatrix2(int row, int col, float value) { colorMatrix2_[row][col] = value; }

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& uniqueCameraModelRestriction() const { return restriction_; }
    void setUniqueCameraModelRestriction(std::string r) { restriction_ = std::move(r); }
    const std::optional<std::filesystem::path>& profileURL() const { return profileURL_; }
    void setProfileURL(std::optional<std::filesystem::path> url) { profileURL_ = std::move(url); }
    // The tone curve over a grey ramp, 128 x 128 RGBA; null for the automatic profile.
    const std::shared_ptr<platform::Bitmap>& icon() const { return icon_; }
    void setIcon(std::shared_ptr<platform::Bitmap> icon) { icon_ = std::move(icon); }
    // The parsed file; null for the automatic profile.
    const dng_camera_profile* dngProfile() const { return dngProfile_.get(); }

    // "restriction : name" when restricted to a camera model, else the name.
    std::string displayName() const;
    std::string description() const { return displayName(); }

    // Profiles are the same when their files have the same name (in whatever folder).
    // Automatic profiles have no file and count as one and the same profile.
    bool isEqual(const DNGCameraProfileAbstract& other) const;
    size_t hash() const;

  private:
    // The tone curve the tables and the icon use: the file's when valid, else the default.
    std::function<float(float)> toneCurveFunction() const;
    std::shared_ptr<platform::Bitmap> drawIcon() const;
    void takeMatrices(const dng_camera_profile& profile);

    std::unique_ptr<dng_camera_profile> dngProfile_;
    std::shared_ptr<platform::Bitmap> icon_;
    float colorMatrix1_[3][3] = {};
    float colorMatrix2_[3][3] = {};
    std::string name_;
    std::string restriction_;
    std::optional<std::filesystem::path> profileURL_;
};
