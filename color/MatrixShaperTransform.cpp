#include "color/MatrixShaperTransform.h"

#include <bit>
#include <cmath>

#include "platform/ParallelRows.h"

namespace color_detail {
namespace {

// The parametric table: octaves 2^-24 .. 2^8 of positive floats, 2^kStepBits steps each,
// indexed straight from the float's bits (exponent and top of the mantissa).
constexpr int kStepBits = 9;
constexpr int kFracBits = 23 - kStepBits;
constexpr uint32_t kLowBits = uint32_t(127 - 24) << 23;
constexpr uint32_t kHighBits = uint32_t(127 + 8) << 23;
constexpr uint32_t kSteps = (kHighBits - kLowBits) >> kFracBits;

// Interpolation error beyond which a table step is evaluated exactly: smooth power curves
// stay near 3e-8 at 512 steps per octave.
constexpr float kStepTolerance = 1e-6f;

// Curve evaluations per task when a table is filled on the workers: a few hundred
// microseconds of work each.
constexpr size_t kEntriesPerChunk = 4096;

// Pixels beyond this go to Little CMS: its curve segments end at +-1e22.
constexpr float kMaxFast = 1e20f;

struct CurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using CurvePtr = std::unique_ptr<cmsToneCurve, CurveFree>;

using Mat = std::array<std::array<double, 3>, 3>;

Mat multiply(const Mat& a, const Mat& b) {
    Mat out{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
    return out;
}

bool invert(const Mat& m, Mat& out) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::fabs(det) > 1e-10)) return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return true;
}

// Colorants as columns: device RGB to PCS XYZ.
bool colorants(cmsHPROFILE profile, Mat& m) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) return false;
        m[0][c] = xyz->X, m[1][c] = xyz->Y, m[2][c] = xyz->Z;
    }
    return true;
}

// The media white Little CMS scales by for absolute colorimetry: version 2 display
// profiles and profiles without the tag count as D50.
cmsCIEXYZ mediaWhite(cmsHPROFILE profile) {
    auto* tag = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, cmsSigMediaWhitePointTag));
    if (!tag ||
        (cmsGetEncodedICCversion(profile) < 0x4000000 && cmsGetDeviceClass(profile) == cmsSigDisplayClass))
        return *cmsD50_XYZ();
    return *tag;
}

bool hasAnyTag(cmsHPROFILE profile, std::initializer_list<cmsTagSignature> tags) {
    for (auto tag : tags)
        if (cmsIsTag(profile, tag)) return true;
    return false;
}

bool isPlainMatrixShaper(cmsHPROFILE profile) {
    const auto cls = cmsGetDeviceClass(profile);
    return cmsGetColorSpace(profile) == cmsSigRgbData && cmsGetPCS(profile) == cmsSigXYZData &&
           cls != cmsSigLinkClass && cls != cmsSigAbstractClass && cls != cmsSigNamedColorClass &&
           cmsIsMatrixShaper(profile) &&
           !hasAnyTag(profile,
                      {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigBToA0Tag, cmsSigBToA1Tag,
                       cmsSigBToA2Tag, cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag, cmsSigDToB3Tag,
                       cmsSigBToD0Tag, cmsSigBToD1Tag, cmsSigBToD2Tag, cmsSigBToD3Tag});
}

// Channels with the same curve share one table.
bool sameCurve(const cmsToneCurve* a, const cmsToneCurve* b) {
    const int type = cmsGetToneCurveParametricType(a);
    if (type == 0 || type != cmsGetToneCurveParametricType(b)) return false;
    const double *pa = cmsGetToneCurveParams(a), *pb = cmsGetToneCurveParams(b);
    for (int i = 0; i < 10; ++i)
        if (pa[i] != pb[i]) return false;
    return true;
}

// The three curves of a profile, or of its inverse when `reverse`, as Little CMS builds
// them for an output matrix/shaper.
bool curves(cmsHPROFILE profile, bool reverse, std::array<std::shared_ptr<const CurveTable>, 3>& out) {
    const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    const cmsToneCurve* read[3] = {};
    for (int c = 0; c < 3; ++c) {
        read[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, tags[c]));
        if (!read[c] || cmsEvalToneCurveFloat(read[c], 0.0f) != 0.0f) return false;
        int shared = -1;
        for (int k = 0; k < c && shared < 0; ++k)
            if (read[k] == read[c] || sameCurve(read[k], read[c])) shared = k;
        if (shared >= 0) {
            out[c] = out[shared];
            continue;
        }
        CurvePtr reversed(reverse ? cmsReverseToneCurve(read[c]) : nullptr);
        if (reverse && !reversed) return false;
        auto table = CurveTable::create(reverse ? reversed.get() : read[c]);
        if (!table) return false;
        out[c] = std::move(table);
    }
    return true;
}

uint16_t saturate16(float v) {
    const double d = double(v) * 65535.0 + 0.5;
    if (!(d > 0)) return 0;
    if (d >= 65535.0) return 0xffff;
    return uint16_t(d);
}

} // namespace

std::unique_ptr<CurveTable> CurveTable::create(const cmsToneCurve* curve) {
    const int type = cmsGetToneCurveParametricType(curve);
    // Curves read from "curv" tables have no segments at all.
    const bool sampled = type == 0 && !cmsIsToneCurveMultisegment(curve);
    if (type == 0 && !sampled) return nullptr;
    CurvePtr copy(cmsDupToneCurve(curve));
    if (!copy) return nullptr;
    if (type == 1 && cmsGetToneCurveParams(curve)[0] == 1.0)
        return std::unique_ptr<CurveTable>(new CurveTable(copy.release(), Kind::Identity));
    std::unique_ptr<CurveTable> table(
        new CurveTable(copy.release(), sampled ? Kind::Sampled : Kind::Parametric));
    if (sampled) {
        table->table_.resize(65536);
        platform::parallelRows(65536, kEntriesPerChunk, [&](const platform::RowRange& entries) {
            for (size_t i = entries.first; i < entries.last; ++i)
                table->table_[i] = cmsEvalToneCurveFloat(table->curve_, float(double(i) / 65535.0));
        });
        return table;
    }
    table->atZero_ = cmsEvalToneCurveFloat(table->curve_, 0.0f);
    auto& t = table->table_;
    t.resize(kSteps + 1);
    platform::parallelRows(kSteps + 1, kEntriesPerChunk, [&](const platform::RowRange& steps) {
        for (uint32_t i = uint32_t(steps.first); i < steps.last; ++i)
            t[i] = cmsEvalToneCurveFloat(table->curve_, std::bit_cast<float>(kLowBits + (i << kFracBits)));
    });
    // Steps across a joint of the curve's pieces (a kink, or the small jump that parameters
    // rounded to 16.16 fixed point leave) do not interpolate well: those are evaluated
    // exactly. A jump anywhere in a step shows at its midpoint as half its height.
    table->exact_.assign(kSteps, 0);
    platform::parallelRows(kSteps, kEntriesPerChunk / 4, [&](const platform::RowRange& steps) {
        for (uint32_t i = uint32_t(steps.first); i < steps.last; ++i)
            for (uint32_t quarter = 1; quarter < 4; ++quarter) {
                const float x =
                    std::bit_cast<float>(kLowBits + (i << kFracBits) + (quarter << (kFracBits - 2)));
                const float expected = cmsEvalToneCurveFloat(table->curve_, x);
                const float interpolated = t[i] + float(quarter) * 0.25f * (t[i + 1] - t[i]);
                if (!(std::fabs(interpolated - expected) <= kStepTolerance * std::fabs(expected)))
                    table->exact_[i] = 1;
            }
    });
    return table;
}

CurveTable::~CurveTable() { cmsFreeToneCurve(curve_); }

float CurveTable::parametric(float v) const {
    const uint32_t bits = std::bit_cast<uint32_t>(v) - kLowBits;
    if (bits < kHighBits - kLowBits) {
        const uint32_t i = bits >> kFracBits;
        if (exact_[i]) return cmsEvalToneCurveFloat(curve_, v);
        const float frac = float(bits & ((1u << kFracBits) - 1)) * (1.0f / float(1u << kFracBits));
        return table_[i] + frac * (table_[i + 1] - table_[i]);
    }
    if (v == 0.0f) return atZero_;
    return cmsEvalToneCurveFloat(curve_, v);
}

// Little CMS looks tabulated curves up at the nearest 16-bit code of the input.
float CurveTable::sampled(float v) const { return table_[saturate16(v)]; }

std::unique_ptr<MatrixShaperTransform> MatrixShaperTransform::create(cmsHPROFILE source,
                                                                     cmsHPROFILE destination,
                                                                     cmsUInt32Number destinationIntent) {
    if (!isPlainMatrixShaper(source) || !isPlainMatrixShaper(destination)) return nullptr;
    Mat toPCS{}, fromPCS{}, destToPCS{};
    if (!colorants(source, toPCS) || !colorants(destination, destToPCS) || !invert(destToPCS, fromPCS))
        return nullptr;
    // Absolute colorimetry scales XYZ by the ratio of the media whites (a fully adapted
    // observer); the other intents join the profiles at the PCS as they are.
    Mat adapt{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    if (destinationIntent == INTENT_ABSOLUTE_COLORIMETRIC) {
        const cmsCIEXYZ in = mediaWhite(source), out = mediaWhite(destination);
        adapt[0][0] = in.X / out.X, adapt[1][1] = in.Y / out.Y, adapt[2][2] = in.Z / out.Z;
    }
    std::unique_ptr<MatrixShaperTransform> transform(new MatrixShaperTransform);
    if (!curves(source, false, transform->input_) || !curves(destination, true, transform->output_))
        return nullptr;
    transform->inputIdentity_ = transform->input_[0]->isIdentity() && transform->input_[1]->isIdentity() &&
                                transform->input_[2]->isIdentity();
    transform->sharedInput_ =
        transform->input_[0] == transform->input_[1] && transform->input_[1] == transform->input_[2];
    const Mat m = multiply(fromPCS, multiply(adapt, toPCS));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            transform->matrix_[size_t(r * 3 + c)] = m[r][c];
    return transform;
}

std::array<float, 3> MatrixShaperTransform::apply(float r, float g, float b) const {
    if (!inputIdentity_) r = (*input_[0])(r), g = (*input_[1])(g), b = (*input_[2])(b);
    // In double, as Little CMS does: saturated colours cancel to small values.
    const auto& m = matrix_;
    const double x = r, y = g, z = b;
    return {(*output_[0])(float(m[0] * x + m[1] * y + m[2] * z)),
            (*output_[1])(float(m[3] * x + m[4] * y + m[5] * z)),
            (*output_[2])(float(m[6] * x + m[7] * y + m[8] * z))};
}

void MatrixShaperTransform::keepGreysGrey() { greys_ = true; }

// The neutral axis of the snapped matrix is the identity: a grey's linear value passes
// unchanged. With a curve per input channel a grey is not neutral in linear terms, so it
// takes the full conversion's green.
float MatrixShaperTransform::grey(float v) const {
    if (!sharedInput_) return apply(v, v, v)[1];
    return (*output_[1])(inputIdentity_ ? v : (*input_[1])(v));
}

void MatrixShaperTransform::convertFloat(float* rgba, size_t count, cmsHTRANSFORM fallback) const {
    for (size_t i = 0; i < count; ++i, rgba += 4) {
        const bool isGrey = greys_ && rgba[0] == rgba[1] && rgba[1] == rgba[2];
        if (!(std::fabs(rgba[0]) <= kMaxFast && std::fabs(rgba[1]) <= kMaxFast &&
              std::fabs(rgba[2]) <= kMaxFast)) {
            cmsDoTransform(fallback, rgba, rgba, 1);
            if (isGrey) rgba[0] = rgba[2] = rgba[1];
            continue;
        }
        if (isGrey) {
            rgba[0] = rgba[1] = rgba[2] = grey(rgba[1]);
            continue;
        }
        const auto out = apply(rgba[0], rgba[1], rgba[2]);
        rgba[0] = out[0], rgba[1] = out[1], rgba[2] = out[2];
    }
}

void MatrixShaperTransform::convert16(uint16_t* rgba, size_t count) const {
    constexpr float kScale = 1.0f / 65535.0f;
    for (size_t i = 0; i < count; ++i, rgba += 4) {
        if (greys_ && rgba[0] == rgba[1] && rgba[1] == rgba[2]) {
            rgba[0] = rgba[1] = rgba[2] = saturate16(grey(float(rgba[1]) * kScale));
            continue;
        }
        const auto out = apply(float(rgba[0]) * kScale, float(rgba[1]) * kScale, float(rgba[2]) * kScale);
        rgba[0] = saturate16(out[0]), rgba[1] = saturate16(out[1]), rgba[2] = saturate16(out[2]);
    }
}

} // namespace color_detail
