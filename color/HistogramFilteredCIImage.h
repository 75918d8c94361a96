#pragma once
// The RGB histogram of an image drawn by a filter chain: a display gamma of 1/2.2
// ("CIGammaAdjust"), the histogram over the whole input with one bin per output column
// ("CIAreaHistogram"), its maximum ("CIAreaMaximum"), the histogram cut to its bins
// ("CICrop") and the bars ("histogram", with the maximum as "maxCImage").
#include <memory>

#include "color/FilteredCIImage.h"
#include "color/HistogramFilter.h"

class HistogramFilteredCIImage : public FilteredCIImage {
  public:
    static constexpr float kDisplayGamma = 0.45454544f;

    explicit HistogramFilteredCIImage(platform::Size outputSize);

    platform::Size outputSize() const { return outputSize_; }
    void setOutputSize(platform::Size size);

    // Sets every filter's parameters for the output size, feeds the chain and logs the
    // colour of each histogram bin.
    void configureFilters();

  protected:
    void inputDidChange() override { configureFilters(); }
    void feedFilter(size_t index) override;

  private:
    size_t bins() const;

    platform::Size outputSize_;
    Filter gamma_, areaHistogram_, areaMaximum_, crop_;
    std::shared_ptr<HistogramFilter> bars_;
};
