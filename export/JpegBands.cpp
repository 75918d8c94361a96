#include "export/JpegBands.h"

#include <climits>
#include <cstring>

#include <turbojpeg.h>

namespace {

constexpr uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kSOF0 = 0xC0, kDHT = 0xC4, kDQT = 0xDB, kDRI = 0xDD,
                  kRST0 = 0xD0, kCOM = 0xFE, kAPP0 = 0xE0, kAPP15 = 0xEF;

// A band's stream cut at its scan.
struct BandStream {
    std::string_view header;     // SOI up to the SOS marker
    size_t heightAt = 0;         // where in the header the frame's height is
    std::string_view scanHeader; // the SOS segment
    std::string_view data;       // the coded data, up to EOI
};

bool isTableOrApp(uint8_t marker) {
    return marker == kDQT || marker == kDHT || marker == kCOM || (marker >= kAPP0 && marker <= kAPP15);
}

std::optional<BandStream> cutBand(std::string_view s) {
    auto at = [&](size_t i) { return uint8_t(s[i]); };
    if (s.size() < 6 || at(0) != 0xFF || at(1) != kSOI || at(s.size() - 2) != 0xFF ||
        at(s.size() - 1) != kEOI)
        return std::nullopt;
    const size_t end = s.size() - 2;
    std::optional<size_t> frame;
    for (size_t pos = 2; pos + 4 <= end;) {
        const uint8_t marker = at(pos + 1);
        const size_t length = size_t(at(pos + 2)) << 8 | at(pos + 3);
        if (at(pos) != 0xFF || length < 2 || pos + 2 + length > end) return std::nullopt;
        const size_t next = pos + 2 + length;
        if (marker == kSOS) {
            // One scan of every component: the frame is coded in it alone.
            if (!frame || length < 3 || at(pos + 4) != at(*frame + 9)) return std::nullopt;
            return BandStream{s.substr(0, pos), *frame + 5, s.substr(pos, next - pos),
                              s.substr(next, end - next)};
        }
        if (marker == kSOF0 && !frame && length >= 8) {
            frame = pos;
        } else if (!isTableOrApp(marker)) {
            return std::nullopt;
        }
        pos = next;
    }
    return std::nullopt;
}

// The same header but for the frame's height.
bool sameTables(const BandStream& a, const BandStream& b) {
    return a.header.size() == b.header.size() && a.heightAt == b.heightAt && a.scanHeader == b.scanHeader &&
           a.header.substr(0, a.heightAt) == b.header.substr(0, b.heightAt) &&
           a.header.substr(a.heightAt + 2) == b.header.substr(b.heightAt + 2);
}

} // namespace

std::optional<EncodedJpeg> joinJpegBands(const std::vector<std::string_view>& bands, size_t height,
                                         size_t restartInterval) {
    if (bands.empty() || height > 0xFFFF || restartInterval < 1 || restartInterval > 0xFFFF)
        return std::nullopt;
    std::vector<BandStream> cut;
    cut.reserve(bands.size());
    size_t size = 6 + 2 * bands.size(); // DRI; a restart marker after every band but the last, and EOI
    for (std::string_view band : bands) {
        auto c = cutBand(band);
        if (!c || (!cut.empty() && !sameTables(cut.front(), *c))) return std::nullopt;
        size += c->data.size();
        cut.push_back(*c);
    }
    const BandStream& first = cut.front();
    size += first.header.size() + first.scanHeader.size();
    if (size > INT_MAX) return std::nullopt; // what tjAlloc can give
    EncodedJpeg out{std::unique_ptr<unsigned char, TurboJpegFree>(tjAlloc(int(size))), size};
    if (!out.data) return std::nullopt;

    unsigned char* to = out.data.get();
    auto put = [&](std::string_view bytes) {
        std::memcpy(to, bytes.data(), bytes.size());
        to += bytes.size();
    };
    auto marker = [&](uint8_t code) {
        *to++ = 0xFF;
        *to++ = code;
    };
    unsigned char* header = to;
    put(first.header);
    header[first.heightAt] = uint8_t(height >> 8);
    header[first.heightAt + 1] = uint8_t(height);
    marker(kDRI);
    const unsigned char dri[] = {0, 4, uint8_t(restartInterval >> 8), uint8_t(restartInterval)};
    put({reinterpret_cast<const char*>(dri), sizeof dri});
    put(first.scanHeader);
    for (size_t i = 0; i < cut.size(); ++i) {
        put(cut[i].data);
        if (i + 1 < cut.size()) marker(uint8_t(kRST0 + i % 8));
    }
    marker(kEOI);
    return out;
}
