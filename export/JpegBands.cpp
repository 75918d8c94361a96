#include "export/JpegBands.h"

#include <climits>
#include <cstring>

#include <turbojpeg.h>

namespace {

constexpr uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kSOF0 = 0xC0, kDHT = 0xC4, kDQT = 0xDB, kDRI = 0xDD,
                  kCOM = 0xFE, kAPP0 = 0xE0, kAPP15 = 0xEF;

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

JpegBandJoiner::JpegBandJoiner(size_t height, size_t restartInterval)
    : valid_(height <= 0xFFFF && restartInterval >= 1 && restartInterval <= 0xFFFF), height_(height),
      restartInterval_(restartInterval) {}

bool JpegBandJoiner::add(std::string_view band, std::vector<std::string_view>& pieces) {
    if (!valid_) return false;
    auto cut = cutBand(band);
    if (!cut) return false;
    if (added_ == 0) {
        header_ = cut->header, scanHeader_ = cut->scanHeader, heightAt_ = cut->heightAt;
        start_ = header_;
        start_[heightAt_] = char(height_ >> 8);
        start_[heightAt_ + 1] = char(height_);
        const char dri[] = {
            char(0xFF), char(kDRI), 0, 4, char(restartInterval_ >> 8), char(restartInterval_)};
        start_.append(dri, sizeof dri);
        start_ += scanHeader_;
        pieces.push_back(start_);
    } else {
        if (!sameTables(BandStream{header_, heightAt_, scanHeader_, {}}, *cut)) return false;
        // RST0 to RST7 in turn.
        static constexpr char kRestarts[] =
            "\xFF\xD0\xFF\xD1\xFF\xD2\xFF\xD3\xFF\xD4\xFF\xD5\xFF\xD6\xFF\xD7";
        pieces.push_back(std::string_view(kRestarts + 2 * ((added_ - 1) % 8), 2));
    }
    pieces.push_back(cut->data);
    ++added_;
    return true;
}

std::string_view JpegBandJoiner::end() { return "\xFF\xD9"; }

std::optional<EncodedJpeg> joinJpegBands(const std::vector<std::string_view>& bands, size_t height,
                                         size_t restartInterval) {
    if (bands.empty()) return std::nullopt;
    JpegBandJoiner joiner(height, restartInterval);
    std::vector<std::string_view> pieces;
    for (std::string_view band : bands)
        if (!joiner.add(band, pieces)) return std::nullopt;
    pieces.push_back(JpegBandJoiner::end());
    size_t size = 0;
    for (std::string_view piece : pieces)
        size += piece.size();
    if (size > INT_MAX) return std::nullopt; // what tjAlloc can give
    EncodedJpeg out{std::unique_ptr<unsigned char, TurboJpegFree>(tjAlloc(int(size))), size};
    if (!out.data) return std::nullopt;
    unsigned char* to = out.data.get();
    for (std::string_view piece : pieces) {
        std::memcpy(to, piece.data(), piece.size());
        to += piece.size();
    }
    return out;
}
