#include "app/core/Base64.h"

#include <array>

#include "platform/TextEncoding.h"

namespace app {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 128> decodingTable() {
    std::array<int8_t, 128> table{};
    table.fill(-1);
    for (int i = 0; i < 64; ++i)
        table[size_t(kAlphabet[i])] = int8_t(i);
    return table;
}
constexpr auto kDecoding = decodingTable();

void appendGroup(std::string& out, const uint8_t* b, size_t n) {
    const uint32_t v = uint32_t(b[0]) << 16 | (n > 1 ? uint32_t(b[1]) << 8 : 0) | (n > 2 ? b[2] : 0);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
}

} // namespace

std::string base64EncodedString(std::span<const uint8_t> data, int wrapWidth) {
    const size_t line = wrapWidth >= 4 ? size_t(wrapWidth / 4 * 4) : 0;
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4 + (line ? data.size() / line * 2 + 2 : 0));
    size_t i = 0, column = 0;
    for (; i + 3 <= data.size(); i += 3) {
        appendGroup(out, data.data() + i, 3);
        column += 4;
        if (line && column == line) {
            out += "\r\n";
            column = 0;
        }
    }
    if (i < data.size()) appendGroup(out, data.data() + i, data.size() - i);
    return out;
}

std::string base64EncodedString(std::string_view text, int wrapWidth) {
    return base64EncodedString(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                               wrapWidth);
}

platform::Data dataWithBase64EncodedString(std::string_view text) {
    platform::Data out;
    out.reserve(text.size() / 4 * 3 + 2);
    uint32_t bits = 0;
    int count = 0;
    for (unsigned char c : text) {
        // Bytes outside ASCII are what a lossy ASCII conversion turns into '?': skipped.
        if (c >= 128 || kDecoding[c] < 0) continue;
        bits = bits << 6 | uint32_t(kDecoding[c]);
        if (++count == 4) {
            out.push_back(uint8_t(bits >> 16));
            out.push_back(uint8_t(bits >> 8));
            out.push_back(uint8_t(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count >= 2) out.push_back(uint8_t(bits >> (count == 3 ? 10 : 4)));
    if (count == 3) out.push_back(uint8_t(bits >> 2));
    return out;
}

std::optional<std::string> stringWithBase64EncodedString(std::string_view text) {
    const platform::Data bytes = dataWithBase64EncodedString(text);
    if (bytes.empty()) return std::nullopt;
    return platform::convertText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                 "UTF-8", "UTF-8");
}

std::string hexEncodedString(std::span<const uint8_t> data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (uint8_t b : data) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

} // namespace app
