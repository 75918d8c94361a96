#include "dng/DNGCameraProfileAbstract.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "dng/CameraProfileManager.h"
#include "dng/dng_camera_profile.h"
#include "dng/dng_file_stream.h"
#include "dng/dng_spline.h"
#include "dng/dng_tone_curve_acr3_default.h"
#include "platform/Log.h"

namespace {

void setIdentity(float m[3][3]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = i == j ? 1.0f : 0.0f;
}

} // namespace

DNGCameraProfileAbstract::DNGCameraProfileAbstract() = default;
DNGCameraProfileAbstract::~DNGCameraProfileAbstract() = default;

std::shared_ptr<DNGCameraProfileAbstract> DNGCameraProfileAbstract::createAsAutoProfile() {
    auto profile = std::make_shared<DNGCameraProfileAbstract>();
    profile->localInitAsAutoProfile();
    return profile;
}

std::shared_ptr<DNGCameraProfileAbstract>
DNGCameraProfileAbstract::createFromFile(const std::filesystem::path& file) {
    auto profile = std::make_shared<DNGCameraProfileAbstract>();
    if (!profile->localInitFromFile(file)) return nullptr;
    return profile;
}

std::shared_ptr<DNGCameraProfileAbstract>
DNGCameraProfileAbstract::createFromPList(const platform::Dictionary& plist) {
    auto profile = std::make_shared<DNGCameraProfileAbstract>();
    auto it = plist.find(kFileNameKey);
    auto folder = CameraProfileManager::profileDirectory();
    if (it != plist.end() && it->second.isString() && folder) {
        // Only the name is stored; a stored path must not lead out of the folder.
        std::filesystem::path name = std::filesystem::path(*it->second.string()).filename();
        if (!name.empty() && profile->localInitFromFile(*folder / name)) return profile;
    }
    profile->localInitAsAutoProfile();
    return profile;
}

// The profile is taken only when the whole file was read and it has a 3 x 3 matrix to
// serve: a rejected file leaves nothing behind, so its owner stays a plain automatic profile.
bool DNGCameraProfileAbstract::localInitFromFile(const std::filesystem::path& file) {
    try {
        dng_file_stream stream(file.c_str(), false, 8192);
        auto parsed = std::make_unique<dng_camera_profile>();
        if (!parsed->ReadFromDCPStream(stream) || !parsed->IsUsableForChannels(3)) return false;
        name_ = parsed->Name().Get();
        restriction_ = parsed->UniqueCameraModelRestriction().Get();
        profileURL_ = file;
        takeMatrices(*parsed);
        dngProfile_ = std::move(parsed);
        icon_ = drawIcon();
        return true;
    } catch (...) {
        LV_LOG("%s could not open profile at %s", "-[DNGCameraProfileAbstract localInitFromFile:]",
               file.c_str());
        return false;
    }
}

// A profile with one calibration serves it as both matrices.
void DNGCameraProfileAbstract::takeMatrices(const dng_camera_profile& profile) {
    const auto is3x3 = [](const dng_matrix& m) { return m.Rows() == 3 && m.Cols() == 3; };
    const dng_matrix& m1 = is3x3(profile.ColorMatrix1()) ? profile.ColorMatrix1() : profile.ColorMatrix2();
    const dng_matrix& m2 = is3x3(profile.ColorMatrix2()) ? profile.ColorMatrix2() : profile.ColorMatrix1();
    for (uint32_t r = 0; r < 3; ++r)
        for (uint32_t c = 0; c < 3; ++c) {
            colorMatrix1_[r][c] = float(m1[r][c]);
            colorMatrix2_[r][c] = float(m2[r][c]);
        }
}

void DNGCameraProfileAbstract::localInitAsAutoProfile() {
    name_ = kAutoProfileName;
    restriction_.clear();
    profileURL_.reset();
    icon_.reset();
    dngProfile_.reset(); // tables of the automatic profile use the default curve
    setIdentity(colorMatrix1_);
    setIdentity(colorMatrix2_);
}

platform::Dictionary DNGCameraProfileAbstract::objectSerializeForPList() const {
    platform::Dictionary plist{{kClassKey, kClassName}};
    if (profileURL_) plist[kFileNameKey] = profileURL_->filename().string();
    return plist;
}

std::string DNGCameraProfileAbstract::displayName() const {
    if (restriction_.empty()) return name_;
    return restriction_ + " : " + name_;
}

bool DNGCameraProfileAbstract::isEqual(const DNGCameraProfileAbstract& other) const {
    if (!profileURL_ || !other.profileURL_) return !profileURL_ && !other.profileURL_;
    return profileURL_->filename() == other.profileURL_->filename();
}

size_t DNGCameraProfileAbstract::hash() const {
    if (!profileURL_) return 0;
    return std::hash<std::string>{}(profileURL_->filename().string());
}

// --- tone curves and tables ---------------------------------------------------------------

float DNGCameraProfileAbstract::dng_tone_curve_acr3_default(float x) {
    return ::dng_tone_curve_acr3_default::valueAt(x);
}

float DNGCameraProfileAbstract::dng_tone_curve_acr3_defaultInRangeFrom(float x, float from, float to) {
    if (!(from <= x && x <= to) || !(to > from)) return x;
    return from + (to - from) * ::dng_tone_curve_acr3_default::valueAt((x - from) / (to - from));
}

float DNGCameraProfileAbstract::dng_tone_curve_acr3_defaultForNormalizedRangeFrom(float x, float from,
                                                                                  float to) {
    return ::dng_tone_curve_acr3_default::valueForNormalizedRange(x, from, to);
}

DNGCameraProfileAbstract::ExposureCurve DNGCameraProfileAbstract::computecurveAdjust(float exposure) {
    ExposureCurve curve;
    curve.fSlope = std::exp2(exposure);
    if (exposure >= 0) {
        curve.a = 0;
        curve.b = curve.fSlope;
        curve.c = 0;
        return curve;
    }
    const double slope = curve.fSlope;
    const double a = (1 - slope) * 16.0 / 9.0;
    const double b = slope - a / 2;
    curve.a = float(a);
    curve.b = float(b);
    curve.c = float(1 - a - b);
    return curve;
}

float DNGCameraProfileAbstract::ExposureCurve::curveAdjust(float x) const {
    if (x <= 0.25f) return x * fSlope;
    return (a * x + b) * x + c;
}

std::function<float(float)> DNGCameraProfileAbstract::toneCurveFunction() const {
    if (dngProfile_ && dngProfile_->ToneCurve().IsValid()) {
        auto spline = std::make_shared<dng_spline_solver>();
        dngProfile_->ToneCurve().Solve(*spline);
        return [spline](float x) { return float(spline->Evaluate(x)); };
    }
    return [](float x) { return dng_tone_curve_acr3_defaultInRangeFrom(x, 0, 1); };
}

void DNGCameraProfileAbstract::generateLUT(uint16_t* lut16, float* fLut, uint32_t n, float baselineExposure,
                                           bool processAsOutputReferred, bool clipWhites,
                                           float toneCurve) const {
    // One entry would put x = 0 / 0 everywhere.
    if ((!lut16 && !fLut) || n < 2) return;
    std::vector<float> scratch;
    if (!fLut) {
        scratch.resize(n);
        fLut = scratch.data();
    }
    const ExposureCurve exposure = computecurveAdjust(baselineExposure);
    const bool negativeExposure = !clipWhites && baselineExposure < 0;
    const std::function<float(float)> curve = toneCurveFunction();
    const float last = float(n - 1);
    for (uint32_t i = 0; i < n; ++i) {
        const float x = float(i) / last;
        const float y = negativeExposure ? exposure.curveAdjust(x) : x;
        fLut[i] = processAsOutputReferred ? y : y + toneCurve * (curve(y) - y);
    }
    if (lut16)
        for (uint32_t j = 1; j < n; ++j) {
            const float level = fLut[j] * last;
            // Clamped before the conversion: out of range it is undefined (NaN counts as 0).
            lut16[j] = level > 0 ? uint16_t(std::min(level, 65535.0f)) : 0;
        }
    for (uint32_t j = 1; j < n; ++j)
        fLut[j] /= float(j) / last;
}

// Horizontal grey ramp from black to white, the curve drawn over it two pixels thick in a
// colour that shows on both ends of the ramp.
std::shared_ptr<platform::Bitmap> DNGCameraProfileAbstract::drawIcon() const {
    constexpr int kSize = kIconSize;
    auto icon = platform::Bitmap::createOwned(
        {kSize, kSize, 8, 32, kSize * 4, platform::bitmap_info::kAlphaLast}, platform::ColorSpace::sRGB());
    if (!icon) return nullptr;
    uint8_t* pixels = icon->mutableData();
    const auto put = [&](int col, int row, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = pixels + (size_t(row) * kSize + size_t(col)) * 4;
        p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
    };
    for (int row = 0; row < kSize; ++row)
        for (int col = 0; col < kSize; ++col) {
            const auto grey = uint8_t(std::lround(col * 255.0 / (kSize - 1)));
            put(col, row, grey, grey, grey);
        }
    const std::function<float(float)> curve = toneCurveFunction();
    const auto rowOf = [&](int col) {
        const float y = std::clamp(curve(float(col) / (kSize - 1)), 0.0f, 1.0f);
        return kSize - 1 - int(std::lround(y * (kSize - 1)));
    };
    int previous = rowOf(0);
    for (int col = 0; col < kSize; ++col) {
        const int row = rowOf(col);
        // Steep parts are joined up to the previous column's point.
        for (int r = std::min(row, previous); r <= std::max(row, previous); ++r) {
            put(col, r, 255, 64, 0);
            if (r + 1 < kSize) put(col, r + 1, 255, 64, 0);
        }
        previous = row;
    }
    return icon;
}
