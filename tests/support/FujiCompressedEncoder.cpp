#include "tests/support/FujiCompressedEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tests/support/BitWriter.h"

namespace testsupport {
namespace {

constexpr int kStrip = 768;

// Line buffers by colour and number: red 0-4, green 0-7, blue 0-4.
struct LineName {
    int colour;
    int number;
};

// Per pass: the two lines, the statistics set, and for X-Trans which even positions
// each line transmits, by e mod 4 ('C' coded, 'I' interpolated) at 0 and at 2.
struct PassPlan {
    LineName first, second;
    int set;
    const char* firstEven;
    const char* secondEven;
};

const PassPlan kPlan[6] = {
    {{0, 2}, {1, 2}, 0, "II", "CC"}, {{1, 3}, {2, 2}, 1, "CC", "II"}, {{0, 3}, {1, 4}, 2, "IC", "II"},
    {{1, 5}, {2, 3}, 0, "CC", "CI"}, {{0, 4}, {1, 6}, 1, "CI", "CC"}, {{1, 7}, {2, 4}, 2, "II", "IC"},
};

struct Stat {
    int a, n;
};

class StripEncoder {
  public:
    StripEncoder(const FujiCompressedFrame& f, int strip)
        : f_(f), strip_(strip), total_(1 << f.bits), width_(f.xtrans ? 512 : 384) {
        for (int c = 0; c < 3; ++c) {
            lines_[c].assign(c == 1 ? 8 : 5, std::vector<int>(size_t(width_) + 2, 0));
            wanted_[c].assign(c == 1 ? 8 : 5, std::vector<int>(size_t(width_), 0));
        }
        for (auto& sets : stats_)
            for (auto& set : sets)
                for (Stat& s : set)
                    s = {total_ >> 6, 1};
    }

    std::vector<uint8_t> encode() {
        for (int g = 0; g < f_.height / 6; ++g) {
            gather(g);
            for (const PassPlan& pass : kPlan) {
                codePass(pass);
                edges();
            }
            rotate();
        }
        return out_.finish(0);
    }

  private:
    int columns() const { return strip_ + 1 < stripCount() ? kStrip : f_.width - kStrip * strip_; }
    int stripCount() const { return (f_.width + kStrip - 1) / kStrip; }

    int colourAt(int r, int x) const {
        return f_.xtrans ? f_.xtransColours[size_t(r)][size_t(x % 6)]
                         : int(f_.bayerPattern >> (2 * ((r % 2) * 2 + x % 2)) & 3);
    }

    // Which line and sample each photosite of the group travels in.
    void gather(int g) {
        for (auto& colour : wanted_)
            for (auto& line : colour)
                std::fill(line.begin(), line.end(), 0);
        for (int r = 0; r < 6; ++r)
            for (int x = 0; x < columns(); ++x) {
                const int c = colourAt(r, x);
                const int number = c == 1 ? 2 + r : 2 + r / 2;
                const int sample = f_.xtrans ? (x / 3) * 2 + (x % 3 != 0) : x / 2;
                const size_t at = size_t(g * 6 + r) * size_t(f_.width) + size_t(strip_ * kStrip + x);
                wanted_[c][size_t(number)][size_t(sample)] = f_.photosites.at(at);
            }
    }

    static bool transmitted(const char* plan, int e) { return plan[(e % 4) / 2] == 'C'; }

    void codePass(const PassPlan& pass) {
        int e = 0, o = 1;
        while (e < width_ || o < width_) {
            if (e < width_) {
                evenSample(pass.first, e, pass.set, !f_.xtrans || transmitted(pass.firstEven, e));
                evenSample(pass.second, e, pass.set, !f_.xtrans || transmitted(pass.secondEven, e));
                e += 2;
            }
            if (e > 8 && o < width_) {
                oddSample(pass.first, o, pass.set);
                oddSample(pass.second, o, pass.set);
                o += 2;
            }
        }
    }

    std::vector<int>& line(LineName n, int back = 0) { return lines_[n.colour][size_t(n.number - back)]; }

    static int cls(int v) {
        const int m = std::abs(v);
        const int c = m == 0 ? 0 : m < 18 ? 1 : m < 67 ? 2 : m < 276 ? 3 : 4;
        return v < 0 ? -c : c;
    }

    void evenSample(LineName n, int e, int set, bool coded) {
        const auto& above = line(n, 1);
        const auto& twoAbove = line(n, 2);
        const int b = above[size_t(e) + 1], c = above[size_t(e)], d = above[size_t(e) + 2],
                  f = twoAbove[size_t(e) + 1];
        int sum;
        if (std::abs(b - c) > std::abs(b - f) && std::abs(b - c) > std::abs(b - d))
            sum = f + d + 2 * b;
        else if (std::abs(b - d) > std::abs(b - f) && std::abs(b - d) > std::abs(b - c))
            sum = f + c + 2 * b;
        else
            sum = c + d + 2 * b;
        int& out = line(n)[size_t(e) + 1];
        if (!coded) {
            out = sum / 4;
            return;
        }
        const int grad = 9 * cls(b - f) + cls(c - b);
        out = put(stats_[0][set][std::abs(grad)], grad, sum / 4,
                  wanted_[n.colour][size_t(n.number)][size_t(e)]);
    }

    void oddSample(LineName n, int o, int set) {
        const auto& above = line(n, 1);
        auto& cur = line(n);
        const int a = cur[size_t(o)], g = cur[size_t(o) + 2];
        const int b = above[size_t(o) + 1], c = above[size_t(o)], d = above[size_t(o) + 2];
        const int grad = cls(c - a) + 9 * cls(b - c);
        const bool extreme = (b > c && b > d) || (b < c && b < d);
        const int predicted = extreme ? (a + g + 2 * b) / 4 : (a + g) / 2;
        cur[size_t(o) + 1] = put(stats_[1][set][std::abs(grad)], grad, predicted,
                                 wanted_[n.colour][size_t(n.number)][size_t(o)]);
    }

    // Writes the code that brings `predicted` to `wanted`; returns what the decoder gets.
    int put(Stat& st, int grad, int predicted, int wanted) {
        int delta = grad < 0 ? predicted - wanted : wanted - predicted;
        if (delta >= total_ / 2) delta -= total_;
        if (delta < -total_ / 2) delta += total_;
        int code = delta >= 0 ? 2 * delta : -2 * delta - 1;
        if (strip_ == f_.badCodeStrip && ordinal_++ == f_.badCodeAt) code = total_;
        int k = 0;
        while (k < 15 && (st.n << k) < st.a)
            ++k;
        const int escape = 3 * f_.bits - 1;
        if ((code >> k) < escape) {
            zeros(code >> k);
            out_.put(1, 1).put(uint32_t(code) & ((1u << k) - 1), k);
        } else {
            zeros(escape);
            out_.put(1, 1).put(uint32_t(code - 1), f_.bits);
        }
        const int d = code % 2 ? -(code / 2) - 1 : code / 2;
        st.a += std::abs(d);
        if (st.n == 64) {
            st.a /= 2;
            st.n /= 2;
        }
        st.n += 1;
        int v = grad < 0 ? predicted - d : predicted + d;
        if (v < 0) v += total_;
        if (v >= total_) v -= total_;
        v = std::clamp(v, 0, total_ - 1);
        if (code < total_ && v != wanted)
            throw std::logic_error("encoder missed sample " + std::to_string(wanted));
        return v;
    }

    void zeros(int count) {
        for (; count > 16; count -= 16)
            out_.put(0, 16);
        out_.put(0, count);
    }

    void edges() {
        for (auto& colour : lines_)
            for (size_t i = 1; i < colour.size(); ++i) {
                colour[i][0] = colour[i - 1][1];
                colour[i][size_t(width_) + 1] = colour[i - 1][size_t(width_)];
            }
    }

    void rotate() {
        for (auto& colour : lines_) {
            const size_t last = colour.size() - 1;
            colour[0] = colour[last - 1];
            colour[1] = colour[last];
            for (size_t i = 2; i <= last; ++i)
                std::fill(colour[i].begin(), colour[i].end(), 0);
        }
        edges();
    }

    const FujiCompressedFrame& f_;
    int strip_;
    int total_;
    int width_;
    std::array<std::vector<std::vector<int>>, 3> lines_;
    std::array<std::vector<std::vector<int>>, 3> wanted_;
    Stat stats_[2][3][41]; // even / odd, set, gradient
    BitWriter out_;
    int ordinal_ = 0;
};

void putBig(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

std::vector<uint8_t> FujiCompressedHeader::bytes() const {
    std::vector<uint8_t> out;
    putBig(out, signature, 2);
    out.push_back(version);
    out.push_back(rawType);
    out.push_back(rawBits);
    putBig(out, rawHeight, 2);
    putBig(out, roundedWidth, 2);
    putBig(out, rawWidth, 2);
    putBig(out, stripWidth, 2);
    out.push_back(strips);
    putBig(out, lineGroups, 2);
    return out;
}

std::vector<uint8_t> FujiCompressedStream::bytes() const {
    std::vector<uint8_t> out = header.bytes();
    for (size_t i = 0; i < strips.size(); ++i)
        putBig(out, i < sizes.size() ? sizes[i] : uint32_t(strips[i].size()), 4);
    while ((out.size() - 16) % 16)
        out.push_back(0);
    for (const auto& strip : strips)
        out.insert(out.end(), strip.begin(), strip.end());
    return out;
}

FujiCompressedStream encodeFujiCompressed(const FujiCompressedFrame& frame) {
    FujiCompressedStream stream;
    const int strips = (frame.width + kStrip - 1) / kStrip;
    FujiCompressedHeader& h = stream.header;
    h.rawType = frame.xtrans ? 16 : 0;
    h.rawBits = uint8_t(frame.bits);
    h.rawHeight = uint16_t(frame.height);
    h.roundedWidth = uint16_t(strips * kStrip);
    h.rawWidth = uint16_t(frame.width);
    h.strips = uint8_t(strips);
    h.lineGroups = uint16_t(frame.height / 6);
    for (int s = 0; s < strips; ++s) {
        stream.strips.push_back(StripEncoder(frame, s).encode());
        stream.sizes.push_back(uint32_t(stream.strips.back().size()));
    }
    return stream;
}

XTransColours fujiXTransColours() {
    return {{{1, 2, 1, 1, 0, 1},
             {1, 0, 1, 1, 2, 1},
             {2, 1, 2, 0, 1, 0},
             {1, 0, 1, 1, 2, 1},
             {1, 2, 1, 1, 0, 1},
             {0, 1, 0, 2, 1, 2}}};
}

} // namespace testsupport
