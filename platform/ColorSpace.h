#pragma once
// The colour space that travels with a bitmap: one of the two named spaces the engine
// falls back on, or the bytes of an ICC profile.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class ColorSpace {
  public:
    enum class Kind { GenericLinearRGB, SRGB, ICC };

    // Shared instances of the named spaces.
    static std::shared_ptr<const ColorSpace> genericLinearRGB();
    static std::shared_ptr<const ColorSpace> sRGB();
    static std::shared_ptr<const ColorSpace> fromICC(std::vector<uint8_t> profile, std::string name);

    Kind kind() const { return kind_; }
    const std::string& name() const { return name_; }
    // Empty for the named spaces.
    const std::vector<uint8_t>& iccData() const { return icc_; }

  private:
    ColorSpace(Kind kind, std::string name, std::vector<uint8_t> icc)
        : kind_(kind), name_(std::move(name)), icc_(std::move(icc)) {}

    Kind kind_;
    std::string name_;
    std::vector<uint8_t> icc_;
};

} // namespace platform
