#include "dng/dng_opcode_list.h"

#include "dng/dng_host.h"
#include "dng/dng_memory.h"
#include "dng/dng_memory_stream.h"
#include "dng/dng_negative.h"
#include "dng/dng_opcode.h"
#include "dng/dng_simple_image.h"
#include "dng/dng_tag_types.h"

#include "DngErrorMatchers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Records that it ran; its parameter block is two bytes.
class test_opcode : public dng_opcode {
  public:
    test_opcode(uint32_t id, uint32_t minVersion, uint32_t flags, std::vector<uint32_t>* log,
                bool fromStream = false, bool valid = true, bool nop = false)
        : dng_opcode(id, minVersion, flags), fLog(log), fValid(valid), fNOP(nop) {
        if (fromStream) SetWasReadFromStream();
    }
    bool IsNOP() const override { return fNOP; }
    bool IsValidForNegative(const dng_negative&) const override { return fValid; }
    void PutData(dng_stream& stream) const override {
        stream.Put_uint32(2);
        stream.Put_uint16(0xABCD);
    }
    void Apply(dng_host&, dng_negative&, std::unique_ptr<dng_image>&) override {
        fLog->push_back(OpcodeID());
    }

  private:
    std::vector<uint32_t>* fLog;
    bool fValid;
    bool fNOP;
};

std::unique_ptr<dng_image> Image() {
    return std::make_unique<dng_simple_image>(dng_rect(2, 2), 1, ttShort, gDefaultDNGMemoryAllocator);
}

} // namespace

TEST(DngOpcodeList, EmptyListsDoNothing) {
    dng_host host;
    std::unique_ptr<dng_negative> negative(host.MakeNegative());
    dng_opcode_list list(2);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.MinVersion(false), 0u);
    EXPECT_EQ(list.MinVersion(true), 0u);
    EXPECT_EQ(list.Spool(host), nullptr);
    EXPECT_FALSE(list.AlwaysApply());
    dng_memory_stream stream(gDefaultDNGMemoryAllocator);
    list.Write(stream);
    EXPECT_EQ(stream.Length(), 0u);

    std::unique_ptr<dng_image> image = Image();
    const dng_image* before = image.get();
    list.Apply(host, *negative, image);
    EXPECT_EQ(image.get(), before);
    std::unique_ptr<dng_image> none;
    EXPECT_DNG_ERROR(list.Apply(host, *negative, none), dng_error_unknown);
}

TEST(DngOpcodeList, VersionsStreamFormAndChecks) {
    dng_host host;
    std::unique_ptr<dng_negative> negative(host.MakeNegative());
    std::vector<uint32_t> log;
    dng_opcode_list list(3);
    list.Append(std::make_unique<test_opcode>(7, 0x01030000, 0, &log));
    list.Append(std::make_unique<test_opcode>(8, 0x01040000, dng_opcode::kFlag_Optional, &log));
    list.Append(std::make_unique<test_opcode>(9, 0x01060000, dng_opcode::kFlag_Optional, &log, true));
    list.Append(std::make_unique<test_opcode>(10, 0, 0, &log, false, true, true));
    EXPECT_EQ(list.MinVersion(false), 0x01030000u);
    EXPECT_EQ(list.MinVersion(true), 0x01060000u);
    EXPECT_EQ(list.Entry(0).Stage(), 3u);

    std::unique_ptr<dng_memory_block> block = list.Spool(host);
    ASSERT_NE(block, nullptr);
    ASSERT_EQ(block->LogicalSize(), 4u + 4 * 18);
    const uint8_t* b = block->Buffer_uint8();
    const std::vector<uint8_t> head(b, b + 22);
    EXPECT_EQ(head,
              (std::vector<uint8_t>{0, 0, 0, 4, 0, 0, 0, 7, 1, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0xAB, 0xCD}));

    // The newer optional opcode from a file and the no-op are skipped.
    std::unique_ptr<dng_image> image = Image();
    list.Apply(host, *negative, image);
    EXPECT_EQ(log, (std::vector<uint32_t>{7, 8}));

    dng_opcode_list strict(1);
    strict.Append(std::make_unique<test_opcode>(0, 0x01060000, 0, &log, true));
    EXPECT_TRUE(strict.AlwaysApply());
    EXPECT_DNG_ERROR(strict.Apply(host, *negative, image), dng_error_bad_format);
    dng_opcode_list invalid(1);
    invalid.Append(std::make_unique<test_opcode>(1, 0, 0, &log, false, false));
    EXPECT_DNG_ERROR(invalid.Apply(host, *negative, image), dng_error_bad_format);
    strict.Clear();
    EXPECT_FALSE(strict.HasOpcodeIdZero());
}
