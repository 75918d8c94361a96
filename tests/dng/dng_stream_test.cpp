#include "dng/dng_file_stream.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_stream.h"

#include "DngErrorMatchers.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A stream over a byte vector that records every primitive call.
class SpyStream : public dng_stream {
  public:
    struct Call {
        char kind; // 'R' or 'W'
        uint64_t offset;
        uint32_t count;
        bool operator==(const Call&) const = default;
    };

    explicit SpyStream(std::size_t length = 0) : bytes(length) {
        for (std::size_t i = 0; i < length; ++i)
            bytes[i] = uint8_t(i * 7);
    }

    std::vector<uint8_t> bytes;
    std::vector<Call> calls;
    const uint8_t* lastReadTarget = nullptr;

  protected:
    uint64_t DoGetLength() override { return bytes.size(); }
    void DoRead(void* data, uint32_t count, uint64_t offset) override {
        calls.push_back({'R', offset, count});
        lastReadTarget = static_cast<uint8_t*>(data);
        std::memcpy(data, bytes.data() + offset, count);
    }
    void DoSetLength(uint64_t length) override { bytes.resize(length); }
    void DoWrite(const void* data, uint32_t count, uint64_t offset) override {
        calls.push_back({'W', offset, count});
        if (bytes.size() < offset + count) bytes.resize(offset + count);
        std::memcpy(bytes.data() + offset, data, count);
    }
};

std::ostream& operator<<(std::ostream& os, const SpyStream::Call& c) {
    return os << c.kind << '@' << c.offset << '+' << c.count;
}

using Calls = std::vector<SpyStream::Call>;
} // namespace

TEST(DngStream, ReadWindowIsBlockAligned) {
    SpyStream stream(20000);
    stream.SetReadPosition(5000);
    EXPECT_EQ(stream.Get_uint8(), uint8_t(5000 * 7));
    EXPECT_EQ(stream.calls, (Calls{{'R', 4096, 8192}}));

    stream.SetReadPosition(12000); // still inside the window: no new read
    stream.Get_uint8();
    EXPECT_EQ(stream.calls.size(), 1u);

    SpyStream shortStream(6000);
    shortStream.SetReadPosition(5000);
    shortStream.Get_uint8();
    EXPECT_EQ(shortStream.calls, (Calls{{'R', 4096, 1904}})) << "the window stops at the end";
}

TEST(DngStream, LargeReadBypassesBuffer) {
    SpyStream stream(30000);
    std::vector<uint8_t> out(10000);
    stream.SetReadPosition(15000);
    stream.Get(out.data(), 10000);
    EXPECT_EQ(stream.calls, (Calls{{'R', 15000, 10000}}));
    EXPECT_EQ(stream.lastReadTarget, out.data()) << "read straight into the caller's memory";
    EXPECT_EQ(out[0], uint8_t(15000 * 7));

    stream.SetReadPosition(25000);
    EXPECT_DNG_ERROR(stream.Get(out.data(), 10000), dng_error_end_of_file);
    EXPECT_DNG_ERROR(stream.SetReadPosition(30001), dng_error_end_of_file);
}

TEST(DngStream, WriteWindowCases) {
    SpyStream stream;
    stream.SetWritePosition(4094);
    stream.Put("abc", 3);
    stream.SetWritePosition(4097);
    stream.Put("def", 3);
    EXPECT_TRUE(stream.calls.empty()) << "contiguous small writes share one dirty window";
    stream.SetWritePosition(100);
    stream.Put("x", 1);
    EXPECT_EQ(stream.calls, (Calls{{'W', 4094, 6}})) << "a write elsewhere flushes first";
    stream.Flush();
    EXPECT_EQ(stream.calls.back(), (SpyStream::Call{'W', 100, 1}));
    EXPECT_EQ(std::string(stream.bytes.begin() + 4094, stream.bytes.begin() + 4100), "abcdef");

    SpyStream big;
    std::vector<uint8_t> data(20000, 0x5A);
    big.SetWritePosition(100);
    big.Put(data.data(), 20000);
    EXPECT_EQ(big.calls, (Calls{{'W', 100, 16284}})) << "direct up to a block boundary";
    big.Flush();
    EXPECT_EQ(big.calls.back(), (SpyStream::Call{'W', 16384, 3716}));
    EXPECT_EQ(big.Length(), 20100u);
}

TEST(DngStream, WriteOverReadWindowIsNotServedStale) {
    SpyStream stream(9000);
    stream.SetReadPosition(0);
    stream.Get_uint8(); // window 0..8192
    std::vector<uint8_t> ones(12288, 1);
    stream.SetWritePosition(0);
    stream.Put(ones.data(), uint32_t(ones.size())); // written directly, nothing buffered
    stream.SetReadPosition(10);
    EXPECT_EQ(stream.Get_uint8(), 1);
}

TEST(DngStream, ByteOrderRoundTrips) {
    for (bool bigEndian : {false, true}) {
        dng_memory_stream stream(gDefaultDNGMemoryAllocator);
        stream.SetBigEndian(bigEndian);
        stream.Put_uint16(0x1234);
        stream.Put_uint32(0x89ABCDEF);
        stream.Put_int16(-2);
        stream.Put_real32(1.5f);
        stream.Put_real64(-0.1);
        stream.Flush();

        stream.SetReadPosition(0);
        uint8_t first[2];
        stream.Get(first, 2);
        EXPECT_EQ(first[0], bigEndian ? 0x12 : 0x34);
        stream.SetReadPosition(0);
        EXPECT_EQ(stream.Get_uint16(), 0x1234);
        EXPECT_EQ(stream.Get_uint32(), 0x89ABCDEFu);
        EXPECT_EQ(stream.Get_int16(), -2);
        EXPECT_EQ(stream.Get_real32(), 1.5f);
        EXPECT_EQ(stream.Get_real64(), -0.1);
    }

    dng_memory_stream stream(gDefaultDNGMemoryAllocator);
    stream.SetBigEndian();
    stream.Put_real64(1.0); // 3FF0000000000000 in big-endian order
    stream.SetReadPosition(0);
    EXPECT_EQ(stream.Get_uint32(), 0x3FF00000u);
    {
        TempLittleEndian little(stream);
        EXPECT_FALSE(stream.BigEndian());
    }
    EXPECT_TRUE(stream.BigEndian());
}

namespace {
// A stream holding one value of a TIFF type, little-endian.
class ValueStream {
  public:
    template <typename... T> explicit ValueStream(T... values) : stream(gDefaultDNGMemoryAllocator) {
        (Put(values), ...);
        stream.SetReadPosition(0);
    }
    dng_memory_stream stream;

  private:
    void Put(uint8_t v) { stream.Put_uint8(v); }
    void Put(uint16_t v) { stream.Put_uint16(v); }
    void Put(uint32_t v) { stream.Put_uint32(v); }
    void Put(int32_t v) { stream.Put_int32(v); }
    void Put(float v) { stream.Put_real32(v); }
    void Put(double v) { stream.Put_real64(v); }
};
} // namespace

TEST(DngStream, TagValueConversions) {
    EXPECT_EQ(ValueStream(int32_t(-1), int32_t(2)).stream.TagValue_uint32(10), 0u);
    EXPECT_EQ(ValueStream(4294967295.7).stream.TagValue_uint32(12), 4294967295u);
    EXPECT_EQ(ValueStream(std::nan("")).stream.TagValue_uint32(12), 0u);
    EXPECT_EQ(ValueStream(-2.5).stream.TagValue_int32(12), -3);
    EXPECT_EQ(ValueStream(1e20).stream.TagValue_int32(12), 2147483647);
    EXPECT_EQ(ValueStream(uint16_t(0xFFFE)).stream.TagValue_int32(8), -2);
    EXPECT_EQ(ValueStream(uint32_t(7), uint32_t(0)).stream.TagValue_real64(5), 0.0);
    EXPECT_EQ(ValueStream(uint8_t(200)).stream.TagValue_real64(1), 200.0);
    EXPECT_EQ(ValueStream(uint32_t(1)).stream.TagValue_real64(7), 0.0);

    struct Case {
        ValueStream* s;
        uint32_t type;
        dng_urational expected;
    };
    ValueStream half(0.5f), two(2000000.0), bothNeg(int32_t(-3), int32_t(-4)), mixed(int32_t(-3), int32_t(4)),
        huge(4294967295.5), hugeMinus(4294967294.4), minInt(int32_t(-2147483647 - 1), int32_t(-1)),
        shortValue(uint16_t(3)), negative(-1.0);
    const Case cases[] = {
        {&half, 11, {5000, 10000}},      {&two, 12, {2000000, 1}},
        {&bothNeg, 10, {3, 4}},          {&mixed, 10, {0, 1}},
        {&huge, 12, {4294967295u, 1}},   {&hugeMinus, 12, {4294967294u, 1}},
        {&minInt, 10, {2147483648u, 1}}, {&shortValue, 3, {3, 1}},
        {&negative, 12, {0, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.s->stream.TagValue_urational(c.type), c.expected) << c.type;

    EXPECT_EQ(ValueStream(uint16_t(3)).stream.TagValue_srational(3), dng_srational(30000, 10000));
    EXPECT_EQ(ValueStream(0.0).stream.TagValue_srational(12), dng_srational(0, 10000));
    EXPECT_EQ(ValueStream(-0.25).stream.TagValue_srational(12), dng_srational(-2500, 10000));
    EXPECT_EQ(ValueStream(int32_t(-5), int32_t(3)).stream.TagValue_srational(10), dng_srational(-5, 3));
}

TEST(DngMemoryStream, PagesGrowAndStay) {
    dng_memory_stream stream(gDefaultDNGMemoryAllocator, nullptr, 65536);
    std::vector<uint8_t> data(65537);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i);
    stream.Put(data.data(), uint32_t(data.size()));
    stream.Flush();
    EXPECT_EQ(stream.Length(), 65537u);
    stream.SetLength(10);
    EXPECT_EQ(stream.Length(), 10u);
    stream.SetLength(65537); // the pages were kept, so the bytes are back
    stream.SetReadPosition(65536);
    EXPECT_EQ(stream.Get_uint8(), uint8_t(65536));

    stream.SetReadPosition(1);
    std::unique_ptr<dng_memory_block> block = stream.AsMemoryBlock(gDefaultDNGMemoryAllocator);
    ASSERT_EQ(block->LogicalSize(), 65537u);
    EXPECT_EQ(std::memcmp(block->Buffer(), data.data(), data.size()), 0);
    EXPECT_EQ(stream.PositionInOriginalFile(), -1);
}

TEST(DngMemoryStream, CopyToStreamAcrossPages) {
    for (uint32_t count : {10u, 5000u, 70000u}) {
        dng_memory_stream source(gDefaultDNGMemoryAllocator, nullptr, 2048);
        for (uint32_t i = 0; i < count + 3; ++i)
            source.Put_uint8(uint8_t(i * 13));
        source.Flush();
        source.SetReadPosition(3);
        dng_memory_stream target(gDefaultDNGMemoryAllocator);
        source.CopyToStream(target, count);
        EXPECT_EQ(source.Position(), count + 3);
        target.Flush();
        ASSERT_EQ(target.Length(), count);
        target.SetReadPosition(0);
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(target.Get_uint8(), uint8_t((i + 3) * 13)) << i;
        source.SetReadPosition(3);
        EXPECT_DNG_ERROR(source.CopyToStream(target, count + 1), dng_error_end_of_file);
    }
}

TEST(DngFixedMemoryStream, ReadsOnlyWithinTheBytes) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    dng_stream stream(bytes, sizeof(bytes), 100);
    stream.SetBigEndian();
    EXPECT_EQ(stream.Get_uint16(), 0x0102);
    EXPECT_EQ(stream.PositionInOriginalFile(), 102);
    uint8_t out[4];
    EXPECT_DNG_ERROR(stream.Get(out, 4), dng_error_end_of_file);
    stream.SetReadPosition(0);
    EXPECT_DNG_ERROR(stream.Put_uint8(9), dng_error_unknown);
    EXPECT_EQ(bytes[0], 1);
}

TEST(DngFileStream, WriteThenRead) {
    const auto path =
        std::filesystem::temp_directory_path() / ("dng_file_stream_" + std::to_string(::getpid()));
    {
        dng_file_stream out(path.c_str(), true);
        std::vector<uint8_t> data(10000, 0xC3);
        out.Put(data.data(), uint32_t(data.size()));
        out.Put_uint32(0xDEADBEEF);
        out.Flush();
        EXPECT_EQ(out.PositionInOriginalFile(), 10004);
        EXPECT_DNG_ERROR(out.SetLength(5), dng_error_unknown);
    }
    {
        dng_file_stream in(path.c_str());
        EXPECT_EQ(in.Length(), 10004u);
        in.SetReadPosition(10000);
        EXPECT_EQ(in.Get_uint32(), 0xDEADBEEFu);
    }
    std::filesystem::remove(path);
    EXPECT_DNG_ERROR(dng_file_stream("/nonexistent-folder/x.dng"), dng_error_open_file);
}

TEST(DngStream, BufferSizeGuard) {
    SpyStream stream(3u << 20);
    {
        TempStreamBufferSize guard(stream, gDefaultDNGMemoryAllocator, 100, 3000000);
        // 3000000 bytes from offset 100 span 733 blocks: three pieces of 245 blocks each.
        EXPECT_EQ(stream.BufferSize(), 245u * 4096u);
    }
    EXPECT_EQ(stream.BufferSize(), 8192u);
    {
        TempStreamBufferSize small(stream, gDefaultDNGMemoryAllocator, 0, 20000);
        EXPECT_EQ(stream.BufferSize(), 8192u) << "four buffers' worth is read as it is";
    }
}
