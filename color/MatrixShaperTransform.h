#pragma once
// The common conversion between two RGB matrix/shaper profiles without Little CMS's
// per-pixel curve evaluation (a pow per channel and pixel): input curves and inverse output
// curves from tables, one 3x3 matrix between them. Internal to the colour layer.
#include <lcms2.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace color_detail {

// A tone curve as Little CMS evaluates it in a float pipeline. Parametric curves come
// from a table with 512 steps per octave between 2^-24 and 2^8, where linear interpolation
// stays within 1e-6 relative of the curve; other values, and the steps where the curve's
// pieces join, are evaluated exactly.
// Tabulated curves keep Little CMS's own 16-bit quantisation of the input.
class CurveTable {
  public:
    // Null for curves of several segments, which stay with Little CMS.
    static std::unique_ptr<CurveTable> create(const cmsToneCurve* curve);
    ~CurveTable();
    CurveTable(const CurveTable&) = delete;
    CurveTable& operator=(const CurveTable&) = delete;

    bool isIdentity() const { return kind_ == Kind::Identity; }
    float operator()(float v) const {
        switch (kind_) {
        case Kind::Identity:
            return v;
        case Kind::Parametric:
            return parametric(v);
        case Kind::Sampled:
            return sampled(v);
        }
        return v;
    }

  private:
    enum class Kind { Identity, Parametric, Sampled };
    CurveTable(cmsToneCurve* curve, Kind kind) : curve_(curve), kind_(kind) {}
    float parametric(float v) const;
    float sampled(float v) const;

    cmsToneCurve* curve_; // owned copy, for the values outside the table
    Kind kind_;
    float atZero_ = 0;
    std::vector<float> table_;
    std::vector<uint8_t> exact_; // per parametric step: evaluate exactly
};

class MatrixShaperTransform {
  public:
    // Null unless both profiles are RGB matrix/shaper profiles (no LUT tags) whose curves
    // this class can take and whose curves start at 0 (so black point compensation, which
    // Little CMS forces for version 4 perceptual profiles, has nothing to do).
    static std::unique_ptr<MatrixShaperTransform> create(cmsHPROFILE source, cmsHPROFILE destination,
                                                         cmsUInt32Number destinationIntent);

    // Converts `count` RGBA pixels in place, alpha untouched. Pixels with a channel that
    // is not finite or beyond +-1e20 go through `fallback`, a Little CMS transform between
    // the same profiles on the same pixel format, so they come out as they always did.
    void convertFloat(float* rgba, size_t count, cmsHTRANSFORM fallback) const;
    void convert16(uint16_t* rgba, size_t count) const;

    // From now on a grey pixel (R = G = B) comes out exactly grey: its green channel is
    // converted alone, through the matrix snapped so that the source white lands on the
    // destination white, and copied to red and blue. For conversions that keep greys grey
    // within the profiles' fixed-point precision.
    void keepGreysGrey();

  private:
    MatrixShaperTransform() = default;
    std::array<float, 3> apply(float r, float g, float b) const;
    float grey(float v) const;

    std::array<std::shared_ptr<const CurveTable>, 3> input_, output_;
    bool inputIdentity_ = false;
    std::array<double, 9> matrix_{};
    bool greys_ = false;
    bool sharedInput_ = false; // one input curve for all three channels
};

} // namespace color_detail
