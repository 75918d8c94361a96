#pragma once
// A camera-profile file for the profile window's tests: one camera model, one name.
#include <filesystem>
#include <fstream>

#include "tests/support/DcpBuilder.h"

namespace appuitest {

inline std::filesystem::path writeDcp(const std::filesystem::path& file, const char* camera,
                                      const char* name) {
    const auto bytes = testsupport::BuildDcp([&](testsupport::TiffBuilder::Ifd& ifd) {
        ifd.ascii(50708, camera)
            .ascii(50936, name)
            .srationals(50721, testsupport::Rationals({1, 0, 0, 0, 1, 0, 0, 0, 1}));
    });
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return file;
}

} // namespace appuitest
