#pragma once
// Output colour spaces: matrices to and from the D50 XYZ connection space, the encoding
// curve and an embedded ICC profile.
#include "dng/dng_1d_function.h"
#include "dng/dng_matrix.h"

#include <cstdint>
#include <vector>

class dng_color_space {
  public:
    virtual ~dng_color_space() = default;

    virtual const dng_1d_function& GammaFunction() const;
    // False with size 0 and no data when the space has no profile.
    virtual bool ICCProfile(uint32_t& size, const uint8_t*& data) const;

    uint32_t Channels() const { return fMatrixToPCS.Cols(); }
    bool IsMonochrome() const { return Channels() == 1; }
    const dng_matrix& MatrixToPCS() const { return fMatrixToPCS; }
    const dng_matrix& MatrixFromPCS() const { return fMatrixFromPCS; }

  protected:
    dng_color_space() = default;
    // Rows are rescaled so that RGB (1, 1, 1) lands exactly on the D50 white.
    void SetMatrixToPCS(const dng_matrix_3by3& primaries);
    void SetMonochrome();

  private:
    dng_matrix fMatrixToPCS;
    dng_matrix fMatrixFromPCS;
};

// Spaces that hand out an ICC profile built once from their own matrix and curve.
class dng_profiled_color_space : public dng_color_space {
  public:
    bool ICCProfile(uint32_t& size, const uint8_t*& data) const override;

  protected:
    // Called by each subclass's constructor once its matrix is set.
    void BuildProfile(const char* description, uint32_t curveEntries);

  private:
    std::vector<uint8_t> fProfile;
};

class dng_space_sRGB : public dng_profiled_color_space {
  public:
    const dng_1d_function& GammaFunction() const override;
    static const dng_color_space& Get();

  private:
    dng_space_sRGB();
};

class dng_space_ProPhoto : public dng_profiled_color_space {
  public:
    const dng_1d_function& GammaFunction() const override;
    static const dng_color_space& Get();

  private:
    dng_space_ProPhoto();
};

class dng_space_GrayGamma22 : public dng_profiled_color_space {
  public:
    const dng_1d_function& GammaFunction() const override;
    static const dng_color_space& Get();

  private:
    dng_space_GrayGamma22();
};

// A pure power curve with a cubic toe near black, so the slope stays finite at zero.
class dng_function_GammaEncode_power : public dng_1d_function {
  public:
    dng_function_GammaEncode_power(double gamma, double x0);
    double Evaluate(double x) const override;
    double EvaluateInverse(double y) const override;
    double Gamma() const { return fGamma; }

  private:
    double fGamma;
    double fX0;
    double fY0;
};

class dng_function_GammaEncode_1_8 : public dng_function_GammaEncode_power {
  public:
    dng_function_GammaEncode_1_8() : dng_function_GammaEncode_power(1.8, 0.00082118790552) {}
    static const dng_1d_function& Get();
};

class dng_function_GammaEncode_2_2 : public dng_function_GammaEncode_power {
  public:
    dng_function_GammaEncode_2_2() : dng_function_GammaEncode_power(2.2, 0.0034800731) {}
    static const dng_1d_function& Get();
};
