#pragma once
// "CoreEngine": the output stage's colour and tone processing as a filter, without the
// camera profile's gain curve and without the highlight knee. From its two dictionaries
// ComputeMatrixAndLUT builds the 4 x 4 matrix M, a 4096-entry tone table of gains q and
// the black offset o. Each pixel p (RGBA) becomes v = p M (row vector), whose alpha slot is
// the tone-table index t; the gain q(t) is read from the table linearly between entries,
// t limited to 0..4095 (below 1, entry 0 as the output stage has it); the output is
// (v.r q + o, v.g q + o, v.b q + o, 1).
// A scalar attribute set on the filter (for example "inputEV") stands in for its
// adjustment setting of "imageParameters" until a new dictionary is set.
#include "platform/ImageFilter.h"

class CoreEngineFilter : public platform::ImageFilter {
  public:
    static constexpr const char* kName = "CoreEngine";
    static constexpr const char* kCameraParameters = "cameraParameters";
    static constexpr const char* kImageParameters = "imageParameters";
    static constexpr int kTableSize = 4096;

    // Makes the filter known under its name (again: no effect).
    static void registerFilter();

    CoreEngineFilter();
    void setDefaults() override;

  protected:
    platform::Image::Ptr computeOutput(const platform::Image& input) override;
    void attributeDidChange(std::string_view key) override;

  private:
    platform::Dictionary overrides_; // attribute key -> value set on the filter
};
