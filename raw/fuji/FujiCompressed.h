#pragma once
// Compressed Fuji sensor data (X-Trans and Bayer sensors). The frame is cut into vertical
// strips of 768 columns, each coded on its own in groups of six rows with an adaptive
// Golomb-like code. The decoder keeps its own error flag and message instead of throwing,
// so the loader can hand on what was decoded so far.
#include <cstdint>
#include <cstdio>

namespace raw {

struct FujiCompressedParams;

class XTransCompressed {
  public:
    static constexpr const char* kEofText = "Lumivar_Fuji_Compressed_Exception_IO_EOF";
    static constexpr const char* kWidthText = "Compressed Fuji Block width not compatible with raw type";
    static constexpr const char* kParamsMemoryText = "Memory allocation error in init_fuji_compr";
    static constexpr const char* kLoadMemoryText = "Memory allocation error in fuji_compressed_load_raw";
    static constexpr const char* kBlockMemoryText = "Memory allocation error in init_fuji_compressed_block";
    static constexpr const char* kExceptionText = "Compressed Fuji exception in load";
    static constexpr const char* kUnknownText = "Unknown error in fuji_compressed_load_raw";
    static constexpr const char* kXTransBlockText = "Compressed X-Trans Decode block error";
    static constexpr const char* kBayerBlockText = "Compressed Fuji Bayer Decode block error";

    static constexpr int kHeaderSize = 16;
    static constexpr int kStripWidth = 768;
    static constexpr int kRawTypeBayer = 0;
    static constexpr int kRawTypeXTrans = 16;

    // The raw buffer holds rawWidth x rawHeight photosites. `xtrans` holds the 6 x 6
    // colour codes (0 red, 1 green, 2 blue); the Bayer codes are the 2-bit fields of
    // `cfaPattern` for (0,0), (0,1), (1,0), (1,1).
    XTransCompressed(uint16_t rawWidth, uint16_t rawHeight, uint16_t* rawBuffer, const int8_t (&xtrans)[6][6],
                     uint32_t cfaPattern);
    virtual ~XTransCompressed() = default;
    XTransCompressed(const XTransCompressed&) = delete;
    XTransCompressed& operator=(const XTransCompressed&) = delete;

    // 16 when the stream header at `offset` keeps every rule, its strip-size table lies in
    // the file and its frame fits the raw buffer; the raw size then becomes the header's
    // and the header offset moves past it. Otherwise 0.
    int parseHeader(FILE* file, uint64_t offset);
    // Decodes every strip into the raw buffer; returns 0. Failures go to error()/message().
    int loadRaw();

    uint16_t rawWidth() const { return raw_width_; }
    uint16_t rawHeight() const { return raw_height_; }
    bool error() const { return error_; }
    const char* message() const { return message_; }

  private:
    bool init_fuji_compr(FujiCompressedParams& params);
    bool read_strip_sizes(uint32_t* sizes);
    void decode_strips(const FujiCompressedParams& params, const uint32_t* sizes);
    void fail(const char* text) {
        error_ = true;
        message_ = text;
    }

    uint16_t raw_width_, raw_height_;
    uint16_t* raw_buffer_;
    uint8_t xtrans_[6][6];
    uint8_t bayer_[2][2];
    const char* message_ = nullptr;
    bool error_ = false;
    FILE* input_ = nullptr;
    uint64_t header_offset_ = 0;
    uint64_t file_size_ = 0;
    int32_t line_groups_ = 0;
    int32_t strips_per_row_ = 0;
    int32_t strip_width_ = kStripWidth;
    int32_t raw_bits_ = 0;
    int32_t raw_type_ = 0;
};

} // namespace raw
