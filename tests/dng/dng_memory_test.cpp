#include "dng/dng_memory.h"
#include "dng/dng_ref_counted_block.h"

#include "DngErrorMatchers.h"

#include <cstring>
#include <memory>

TEST(DngMemoryData, AllocateAndRelease) {
    dng_memory_data data(16);
    ASSERT_NE(data.Buffer(), nullptr);
    data.Allocate(0);
    EXPECT_EQ(data.Buffer(), nullptr) << "size 0 frees the old buffer";

    data.Allocate(10, sizeof(uint32_t));
    ASSERT_NE(data.Buffer_uint32(), nullptr);
    data.Buffer_uint32()[9] = 7;
}

TEST(DngMemoryData, SizeLimits) {
    dng_memory_data data;
    EXPECT_DNG_ERROR(data.Allocate(1, std::size_t(1) << 32), dng_error_overflow);
    EXPECT_DNG_ERROR(data.Allocate(65536, 65536), dng_error_overflow);
    EXPECT_EQ(data.Buffer(), nullptr);
}

TEST(DngMallocBlock, AlignedWithPadding) {
    for (uint32_t size : {0u, 1u, 33u, 4096u}) {
        std::unique_ptr<dng_memory_block> block(gDefaultDNGMemoryAllocator.Allocate(size));
        ASSERT_NE(block->Buffer(), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block->Buffer()) % 32, 0u);
        EXPECT_EQ(block->LogicalSize(), size);
        // Kernels may touch up to 128 bytes past the logical size.
        std::memset(block->Buffer(), 0xA5, size + 128);
    }
}

TEST(DngMallocBlock, PaddedSizeMustFit) {
    EXPECT_DNG_ERROR(dng_malloc_block(4294967136u), dng_error_overflow);
    // The largest size whose padding fits: either it is granted or memory runs out, never overflow.
    try {
        dng_malloc_block block(4294967135u);
        EXPECT_EQ(block.LogicalSize(), 4294967135u);
    } catch (const dng_exception& e) {
        EXPECT_EQ(e.ErrorCode(), dng_error_memory);
    }
}

TEST(DngMemoryBlock, CloneCopiesBytes) {
    std::unique_ptr<dng_memory_block> block(gDefaultDNGMemoryAllocator.Allocate(5));
    std::memcpy(block->Buffer(), "abcde", 5);
    std::unique_ptr<dng_memory_block> copy(block->Clone(gDefaultDNGMemoryAllocator));
    ASSERT_EQ(copy->LogicalSize(), 5u);
    EXPECT_EQ(std::memcmp(copy->Buffer(), "abcde", 5), 0);
    EXPECT_NE(copy->Buffer(), block->Buffer());
}

TEST(DngRefCountedBlock, CopyOnWriteWithThreeSharers) {
    dng_ref_counted_block a(4);
    std::memcpy(a.Buffer(), "old", 4);
    dng_ref_counted_block b(a);
    dng_ref_counted_block c;
    c = b;
    ASSERT_EQ(b.Buffer(), a.Buffer());
    ASSERT_EQ(c.Buffer(), a.Buffer());

    b.EnsureWriteable();
    ASSERT_NE(b.Buffer(), a.Buffer());
    EXPECT_EQ(c.Buffer(), a.Buffer()) << "the other two keep sharing";
    std::memcpy(b.Buffer(), "new", 4);
    EXPECT_STREQ(static_cast<const char*>(a.Buffer()), "old");
    EXPECT_STREQ(static_cast<const char*>(c.Buffer()), "old");

    // a and c still share (count 2): a must copy too, after which c is alone.
    const void* shared = c.Buffer();
    a.EnsureWriteable();
    EXPECT_NE(a.Buffer(), shared);
    c.EnsureWriteable();
    EXPECT_EQ(c.Buffer(), shared) << "a sole owner writes in place";
    EXPECT_EQ(c.LogicalSize(), 4u);
}

TEST(DngRefCountedBlock, ReleasesOnceInAnyOrder) {
    // Under the address sanitizer a double free or a use after free fails this test.
    for (int order = 0; order < 2; ++order) {
        auto original = std::make_unique<dng_ref_counted_block>(8);
        auto first = std::make_unique<dng_ref_counted_block>(*original);
        auto second = std::make_unique<dng_ref_counted_block>(*first);
        if (order == 0) {
            original.reset();
            first.reset();
        } else {
            first.reset();
            original.reset();
        }
        std::memset(second->Buffer(), 1, 8);
        second.reset();
    }
}

TEST(DngRefCountedBlock, EmptyAndSelfAssignment) {
    dng_ref_counted_block empty;
    EXPECT_EQ(empty.Buffer(), nullptr);
    EXPECT_EQ(empty.LogicalSize(), 0u);
    dng_ref_counted_block copy(empty);
    EXPECT_EQ(copy.Buffer(), nullptr);
    copy.EnsureWriteable();

    dng_ref_counted_block block(3);
    const void* before = block.Buffer();
    dng_ref_counted_block& alias = block;
    block = alias;
    EXPECT_EQ(block.Buffer(), before);
    block.EnsureWriteable();
    EXPECT_EQ(block.Buffer(), before) << "still the only owner";

    block.Allocate(0);
    EXPECT_EQ(block.Buffer(), nullptr);
}
