#include "tests/support/DcpBuilder.h"

#include <cmath>

namespace testsupport {

std::vector<std::pair<int32_t, int32_t>> Rationals(std::initializer_list<double> values) {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (double v : values)
        out.emplace_back(int32_t(std::lround(v * 10000)), 10000);
    return out;
}

std::vector<uint8_t> BuildDcp(const std::function<void(TiffBuilder::Ifd&)>& fill, TiffBuilder::Order order) {
    TiffBuilder tiff(order);
    tiff.setMagic(kDcpMagic);
    fill(tiff.addIfd());
    return tiff.build();
}

} // namespace testsupport
