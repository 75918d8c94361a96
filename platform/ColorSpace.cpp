#include "platform/ColorSpace.h"

namespace platform {

std::shared_ptr<const ColorSpace> ColorSpace::genericLinearRGB() {
    static const std::shared_ptr<const ColorSpace> space(
        new ColorSpace(Kind::GenericLinearRGB, "Generic RGB Linear", {}));
    return space;
}

std::shared_ptr<const ColorSpace> ColorSpace::sRGB() {
    static const std::shared_ptr<const ColorSpace> space(new ColorSpace(Kind::SRGB, "sRGB", {}));
    return space;
}

std::shared_ptr<const ColorSpace> ColorSpace::fromICC(std::vector<uint8_t> profile, std::string name) {
    return std::shared_ptr<const ColorSpace>(new ColorSpace(Kind::ICC, std::move(name), std::move(profile)));
}

} // namespace platform
