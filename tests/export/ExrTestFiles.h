#pragma once
// Helpers of the OpenEXR export tests: a scratch folder, test images and a reader that
// loads a written file back through the library.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfPreviewImage.h>

#include "tests/support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace exrtest {

namespace fs = std::filesystem;

using testsupport::TempFolder;

// A width x height RGBA image whose samples are all exact in half precision:
// pixel i holds (i/8, -i/16, 0.25, 0.5) cycled over 64 values.
inline std::vector<float> testImage(int width, int height) {
    std::vector<float> px(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
        float v = float(i % 64);
        px[4 * i + 0] = v / 8;
        px[4 * i + 1] = -v / 16;
        px[4 * i + 2] = 0.25f;
        px[4 * i + 3] = 0.5f;
    }
    return px;
}

struct ExrFile {
    Imf::Header header;
    std::vector<float> rgba; // four floats a pixel; -1 for a channel the file lacks
};

inline ExrFile readExr(const fs::path& path) {
    Imf::InputFile in(path.c_str());
    const auto& window = in.header().dataWindow();
    size_t width = size_t(window.max.x - window.min.x + 1);
    size_t height = size_t(window.max.y - window.min.y + 1);
    ExrFile file{in.header(), std::vector<float>(width * height * 4, -1.0f)};
    Imf::FrameBuffer buffer;
    const char* names[] = {"R", "G", "B", "A"};
    for (size_t c = 0; c < 4; ++c)
        if (in.header().channels().findChannel(names[c]))
            buffer.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(file.rgba.data() + c), 16,
                                               16 * width));
    in.setFrameBuffer(buffer);
    in.readPixels(window.min.y, window.max.y);
    return file;
}

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace exrtest
