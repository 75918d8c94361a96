#include "JpegTestFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <jpeglib.h>
#include <turbojpeg.h>

namespace jpegtest {

namespace bi = platform::bitmap_info;

std::shared_ptr<platform::Bitmap> gradient16(size_t width, size_t height, bool grey) {
    platform::BitmapLayout layout{width, height, 16, 64, width * 8, bi::kByteOrder16Little | bi::kAlphaLast};
    auto image = platform::Bitmap::createOwned(layout, platform::ColorSpace::sRGB());
    auto* px = reinterpret_cast<uint16_t*>(image->mutableData());
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x, px += 4) {
            px[0] = uint16_t(x * 65535 / std::max<size_t>(width - 1, 1));
            px[1] = uint16_t(y * 65535 / std::max<size_t>(height - 1, 1));
            px[2] = uint16_t(20000 + (x + y) * 20000 / (width + height));
            if (grey) px[0] = px[1] = px[2] = uint16_t((x * 40000 / width + y * 25535 / height));
            px[3] = 65535;
        }
    }
    return image;
}

namespace {

std::vector<unsigned char> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

std::optional<DecodedJpeg> decodeJpeg(const std::filesystem::path& path) {
    auto bytes = readFile(path);
    return decodeJpegBytes({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}

std::optional<DecodedJpeg> decodeJpegBytes(std::string_view jpeg) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
    tjhandle handle = tjInitDecompress();
    DecodedJpeg out;
    int subsampling = 0, colorspace = 0;
    bool ok = tjDecompressHeader3(handle, bytes, jpeg.size(), &out.width, &out.height, &subsampling,
                                  &colorspace) == 0;
    if (ok) {
        out.rgb.resize(size_t(out.width) * size_t(out.height) * 3);
        ok = tjDecompress2(handle, bytes, jpeg.size(), out.rgb.data(), out.width, 0, out.height, TJPF_RGB,
                           TJFLAG_ACCURATEDCT) == 0;
    }
    tjDestroy(handle);
    if (!ok) return std::nullopt;
    return out;
}

std::vector<uint8_t> readIccProfile(const std::filesystem::path& path) {
    auto bytes = readFile(path);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    std::vector<uint8_t> profile;
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
        JOCTET* data = nullptr;
        unsigned int size = 0;
        if (jpeg_read_icc_profile(&cinfo, &data, &size)) profile.assign(data, data + size);
        free(data);
    }
    jpeg_destroy_decompress(&cinfo);
    return profile;
}

bool haveExiftool() { return std::system("exiftool -ver > /dev/null 2>&1") == 0; }

std::string exiftool(const std::string& arguments, const std::filesystem::path& path) {
    std::string command = "exiftool " + arguments + " '" + path.string() + "' 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

std::map<std::string, std::string> exiftoolTags(const std::filesystem::path& path, const std::string& extra) {
    std::map<std::string, std::string> tags;
    std::istringstream lines(exiftool("-a -G1 -s " + extra, path));
    for (std::string line; std::getline(lines, line);) {
        // "[IFD0]          Make                            : Google"
        size_t close = line.find(']'), colon = line.find(" : ");
        if (line.empty() || line[0] != '[' || close == std::string::npos || colon == std::string::npos)
            continue;
        std::string group = line.substr(1, close - 1);
        std::string name = line.substr(close + 1, colon - close - 1);
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of(' ') + 1);
        tags[group + ":" + name] = line.substr(colon + 3);
    }
    return tags;
}

} // namespace jpegtest
