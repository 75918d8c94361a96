#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <mutex>
#include <string>

#include "raw/containers/Containers.h"
#include "raw/core/DCRaw.h"
#include "raw/loaders/Loaders.h"
#include "tests/raw/ContainerBytes.h"
#include "tests/support/Samples.h"

namespace {

using testsupport::Bytes;
using testsupport::ParsedFile;

// Builds a CIFF heap: data blocks first, then the directory, then the directory's offset.
class CiffHeap {
  public:
    CiffHeap& data(uint16_t type, std::vector<uint8_t> bytes) {
        records_.push_back({type, 0, std::move(bytes), false});
        return *this;
    }
    CiffHeap& data(uint16_t type, const Bytes& bytes) { return data(type, bytes.data); }
    // A record whose value is its length word.
    CiffHeap& value(uint16_t type, uint32_t word) {
        records_.push_back({type, word, {}, true});
        return *this;
    }
    CiffHeap& heap(uint16_t type, const CiffHeap& child) { return data(type, child.build()); }
    // A record pointing at the heap that holds it.
    CiffHeap& self(uint16_t type) {
        records_.push_back({type, 0, {}, true, true});
        return *this;
    }

    std::vector<uint8_t> build() const {
        Bytes out;
        std::vector<uint32_t> offsets;
        for (const auto& r : records_) {
            offsets.push_back(uint32_t(out.size()));
            out.append(r.bytes);
        }
        const uint32_t directory = uint32_t(out.size());
        out.u16(uint16_t(records_.size()));
        const size_t total = out.size() + records_.size() * 10 + 4;
        for (size_t i = 0; i < records_.size(); ++i) {
            const auto& r = records_[i];
            out.u16(r.type);
            if (r.self) {
                out.u32(uint32_t(total)).u32(0);
            } else {
                out.u32(r.inLength ? r.word : uint32_t(r.bytes.size())).u32(r.inLength ? 0 : offsets[i]);
            }
        }
        out.u32(directory);
        return out.data;
    }

  private:
    struct Record {
        uint16_t type;
        uint32_t word;
        std::vector<uint8_t> bytes;
        bool inLength;
        bool self = false;
    };
    std::vector<Record> records_;
};

constexpr uint64_t kHeapAt = 26; // after a CRW file header

ParsedFile parseHeap(const CiffHeap& heap, const char* model = "", int depth = 0) {
    auto bytes = heap.build();
    const uint64_t length = bytes.size();
    Bytes file;
    file.zeros(kHeapAt).append(bytes);
    ParsedFile f(file.data);
    std::snprintf(f.s->camera_model, sizeof f.s->camera_model, "%s", model);
    raw::parse_ciff_heap(*f.s, kHeapAt, length, depth);
    return f;
}

// Shot information: ISO 100, f/5.6, 1/8 s, white-balance setting `wb`.
Bytes shotInfo(uint16_t wb) {
    Bytes b;
    b.u32(0).u16(160).u16(0).u16(uint16_t(159)).u16(96).u16(0).u16(wb).zeros(32).u16(0);
    return b;
}

TEST(CiffHeap, ReadsTheRecordsOfNestedHeaps) {
    Bytes names;
    names.text("Canon").u8(0).field("Canon EOS D30", 50);
    Bytes imageInfo;
    imageInfo.u32(2160).u32(1440).f32(1.0f).u32(90);
    Bytes sensor;
    sensor.u16(34).u16(2224).u16(1456);
    Bytes wb768;
    wb768.zeros(72).u16(1024).u16(512).u16(2048).u16(256).zeros(768 - 80);
    Bytes time;
    time.u32(1514811812);
    Bytes compression;
    compression.u32(1);
    CiffHeap camera;
    camera.data(0x080A, names).data(0x0810, Bytes().field("Someone", 32));
    CiffHeap shot;
    shot.data(0x102A, shotInfo(3)).data(0x0032, wb768).data(0x1031, sensor).data(0x1835, compression);
    shot.value(0x5029, 0xE00002).value(0x5834, 0x01140000);
    CiffHeap props;
    props.data(0x1810, imageInfo).data(0x180E, time).heap(0x2807, camera).heap(0x300B, shot);
    props.value(0x5813, std::bit_cast<uint32_t>(1.0f)).value(0x5814, std::bit_cast<uint32_t>(-2.5f));
    props.value(0x5817, 2141446);
    CiffHeap top;
    top.data(0x2005, std::vector<uint8_t>(40, 0))
        .data(0x2007, std::vector<uint8_t>(12, 0xFF))
        .heap(0x300A, props);

    const auto f = parseHeap(top);
    const raw::DecoderState& s = *f.s;
    EXPECT_STREQ(s.camera_make, "Canon");
    EXPECT_STREQ(s.camera_model, "Canon EOS D30");
    EXPECT_STREQ(s.artist_text, "Someone");
    EXPECT_EQ(s.sensor_width, 2224);
    EXPECT_EQ(s.sensor_height, 1456);
    EXPECT_EQ(s.visible_width, 2160);
    EXPECT_EQ(s.visible_height, 1440);
    EXPECT_EQ(s.orientation_code, 6); // stored as 90 degrees
    EXPECT_FLOAT_EQ(s.pixel_aspect_ratio, 1.0f);
    EXPECT_FLOAT_EQ(s.iso_value, 100);
    EXPECT_NEAR(s.f_number, 5.6f, 0.01f);
    EXPECT_FLOAT_EQ(s.exposure_time, 0.125f);
    EXPECT_EQ(s.compression_code, 1u);
    EXPECT_EQ(s.capture_time, 1514811812);
    EXPECT_EQ(s.thumbnail_offset, kHeapAt + 40);
    EXPECT_EQ(s.thumbnail_length, 12u);
    EXPECT_FLOAT_EQ(s.focal_length_mm, 7.0f);
    EXPECT_EQ(s.camera_model_id, 0x01140000u);
    EXPECT_EQ(s.shot_order, 2141446u);
    EXPECT_FLOAT_EQ(s.canon_flash_flag, 1.0f);
    EXPECT_FLOAT_EQ(s.canon_exposure_value, -2.5f);
    // 1024 / v into c ^ (c >> 1), and the setting was not automatic
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], 1.0f);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[1], 2.0f);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[3], 0.5f);
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[2], 4.0f);
    EXPECT_EQ(s.raw_loader, nullptr); // identification chooses the loader
}

TEST(CiffHeap, StoredRotationsBecomeOrientationBits) {
    const std::pair<uint32_t, int32_t> cases[] = {{0, 0}, {90, 6}, {180, 3}, {270, 5}, {uint32_t(-90), 5}};
    for (const auto& [degrees, code] : cases) {
        Bytes info;
        info.u32(100).u32(80).f32(0.0f).u32(degrees);
        const auto f = parseHeap(CiffHeap().data(0x1810, info));
        EXPECT_EQ(f.s->orientation_code, code) << degrees;
        EXPECT_FLOAT_EQ(f.s->pixel_aspect_ratio, 1.0f) << "a zero aspect is not taken";
    }
}

// A chain of heaps, each naming its depth before descending.
CiffHeap nested(int levels, int depth = 0) {
    CiffHeap h;
    h.value(0x5817, uint32_t(depth));
    if (levels > 1) h.heap(0x300A, nested(levels - 1, depth + 1));
    return h;
}

TEST(CiffHeap, NestingStopsAtDepth128) {
    EXPECT_EQ(parseHeap(nested(140)).s->shot_order, 127u);
    EXPECT_EQ(parseHeap(nested(3, 5), "", 127).s->shot_order, 5u);
    EXPECT_EQ(parseHeap(nested(3, 5), "", 128).s->shot_order, 0u);
}

TEST(CiffHeap, HostileHeapsEndQuietly) {
    // A heap listing itself 127 times would take forever level by level.
    CiffHeap loop;
    loop.value(0x5834, 7);
    for (int i = 0; i < 126; ++i)
        loop.self(0x300A);
    EXPECT_EQ(parseHeap(loop).s->camera_model_id, 7u);

    // Too many records, a directory outside the file, a heap too short for its pointer.
    CiffHeap many;
    for (int i = 0; i < 128; ++i)
        many.value(0x5834, 9);
    EXPECT_EQ(parseHeap(many).s->camera_model_id, 0u);
    ParsedFile outside(Bytes().zeros(8).u32(0xFFFFFFF0).data);
    raw::parse_ciff_heap(*outside.s, 0, 12, 0);
    EXPECT_EQ(outside.s->camera_make[0], 0);
    raw::parse_ciff_heap(*outside.s, 0, 3, 0);
}

TEST(CiffHeap, MakeWithoutTerminatorIsBoundedBeforeTheModel) {
    Bytes names;
    names.text(std::string(64, 'M')).field("Model", 64);
    const auto f = parseHeap(CiffHeap().data(0x080A, names));
    EXPECT_EQ(std::string(f.s->camera_make), std::string(63, 'M'));
    EXPECT_STREQ(f.s->camera_model, "Model");
}

// Gains at slot k of a 0x0032 record: 80 bytes, then 8 bytes per slot.
Bytes slotRecord(uint16_t first, int slot, const uint16_t gains[4], const uint16_t key[2], size_t length) {
    Bytes b;
    b.u16(first).zeros(78 + 8 * slot);
    for (int c = 0; c < 4; ++c)
        b.u16(gains[c] ^ key[c & 1]);
    return b.to(length);
}

TEST(CiffHeap, WhiteBalanceRecords) {
    const uint16_t gains[4] = {400, 500, 600, 700};
    const uint16_t key[2] = {raw::kCiffKeyWords[0], raw::kCiffKeyWords[1]};
    const uint16_t none[2] = {0, 0};
    struct Case {
        const char* what;
        const char* model;
        uint16_t wb;
        CiffHeap record;
        float expect[4];
    };
    const Case cases[] = {
        // keyed: slot "01345:..."[1] + 2 = 3, gains into c ^ (c >> 1) ^ 1
        {"keyed",
         "PowerShot G2",
         1,
         CiffHeap().data(0x0032, slotRecord(key[0], 3, gains, key, 2048)),
         {500, 400, 600, 700}},
        {"keyed Pro1",
         "PowerShot Pro1",
         5,
         CiffHeap().data(0x0032, slotRecord(key[0], 8, gains, key, 2048)),
         {500, 400, 600, 700}},
        {"plain", "", 2, CiffHeap().data(0x0032, slotRecord(7, 3, gains, none, 2048)), {500, 400, 600, 700}},
        {"automatic",
         "",
         0,
         CiffHeap().data(0x0032, slotRecord(7, 0, gains, none, 2048)),
         {-1, 400, 600, 700}},
        // long 0x10A9: slot "0134567028"[3] = 4, gains into c ^ (c >> 1)
        {"slots remapped",
         "",
         3,
         CiffHeap().data(0x10A9, Bytes().zeros(2 + 32).u16(400).u16(500).u16(600).u16(700).to(82)),
         {400, 500, 700, 600}},
        {"slots plain",
         "",
         2,
         CiffHeap().data(0x10A9, Bytes().zeros(2 + 16).u16(400).u16(500).u16(600).u16(700).to(66)),
         {400, 500, 700, 600}},
        {"slot past the order", "", 12, CiffHeap().data(0x10A9, Bytes().u16(1).to(200)), {0, 1, 0, 0}},
        {"levels low",
         "",
         1,
         CiffHeap().data(0x102C, Bytes().u16(512).zeros(98).u16(400).u16(500).u16(600).u16(700).to(256)),
         {500, 400, 600, 700}},
        {"levels high",
         "",
         1,
         CiffHeap().data(0x102C, Bytes().u16(513).zeros(118).u16(400).u16(500).u16(600).u16(700).to(256)),
         {600, 700, 400, 500}},
    };
    for (const Case& c : cases) {
        CiffHeap heap;
        heap.data(0x102A, shotInfo(c.wb)).heap(0x300B, c.record);
        const auto f = parseHeap(heap, c.model);
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(f.s->as_shot_multipliers[i], c.expect[i]) << c.what << " " << i;
    }
}

// A white table record: 64 values of `bits` bits, MSB first, in key-XOR-ed 16-bit words.
Bytes whiteTable(int bits, uint32_t mark = 0x80008) {
    Bytes b;
    b.u16(0x66).u32(mark).u32(1).u16(uint16_t(bits));
    uint64_t buffer = 0;
    int held = 0, word = 0;
    for (int i = 0; i < 64; ++i) {
        buffer = buffer << bits | (uint32_t(i * 37 + 5) & ((1u << bits) - 1));
        held += bits;
        while (held >= 16) {
            held -= 16;
            b.u16(uint16_t(buffer >> held) ^ raw::kCiffKeyWords[word++ & 1]);
        }
    }
    if (held) b.u16(uint16_t(buffer << (16 - held)) ^ raw::kCiffKeyWords[word & 1]);
    return b;
}

TEST(CiffHeap, WhiteTableOnlyForCustomSettings) {
    for (int bits : {10, 12}) {
        const auto f = parseHeap(CiffHeap().data(0x102A, shotInfo(6)).data(0x1030, whiteTable(bits)));
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(f.s->white_samples[i / 8][i % 8], (i * 37 + 5) & ((1 << bits) - 1)) << bits << " " << i;
    }
    for (uint16_t wb : {15, 16}) {
        EXPECT_NE(parseHeap(CiffHeap().data(0x102A, shotInfo(wb)).data(0x1030, whiteTable(12)))
                      .s->white_samples[0][1],
                  0);
    }
    EXPECT_EQ(
        parseHeap(CiffHeap().data(0x102A, shotInfo(5)).data(0x1030, whiteTable(12))).s->white_samples[0][1],
        0);
    EXPECT_EQ(
        parseHeap(CiffHeap().data(0x102A, shotInfo(6)).data(0x1030, whiteTable(11))).s->white_samples[0][1],
        0);
    EXPECT_EQ(parseHeap(CiffHeap().data(0x102A, shotInfo(6)).data(0x1030, whiteTable(12, 0x80009)))
                  .s->white_samples[0][1],
              0);
}

// --- Camera-written files -------------------------------------------------------------

ParsedFile parseCrw(const std::string& name) {
    std::vector<uint8_t> bytes = testsupport::sampleBytes(name);
    const uint32_t header = uint32_t(bytes[2]) | bytes[3] << 8 | bytes[4] << 16 | uint32_t(bytes[5]) << 24;
    const uint64_t length = bytes.size();
    ParsedFile f(std::move(bytes));
    raw::parse_ciff_heap(*f.s, header, length - header, 0);
    return f;
}

TEST(CiffHeapSamples, EosD30) {
    LV_REQUIRE_SAMPLE("EOS_D30.CRW");
    const auto f = parseCrw("EOS_D30.CRW");
    const raw::DecoderState& s = *f.s;
    EXPECT_STREQ(s.camera_make, "Canon");
    EXPECT_STREQ(s.camera_model, "Canon EOS D30");
    EXPECT_EQ(s.sensor_width, 2224);
    EXPECT_EQ(s.sensor_height, 1456);
    EXPECT_EQ(s.visible_width, 2160);
    EXPECT_EQ(s.visible_height, 1440);
    EXPECT_EQ(s.orientation_code, 0);
    EXPECT_EQ(s.compression_code, 1u); // the CRW loader's table set
    EXPECT_FLOAT_EQ(s.iso_value, 100);
    EXPECT_NEAR(s.f_number, 5.6f, 0.05f);
    EXPECT_NEAR(s.exposure_time, 5.0f, 0.05f);
    EXPECT_EQ(s.capture_time, 1514811812); // 2018:01:01 13:03:32 as the camera counts
    EXPECT_EQ(s.thumbnail_length, 281610u);
    // Shot on automatic white balance: the 768-byte record's gains, then the request.
    EXPECT_FLOAT_EQ(s.as_shot_multipliers[0], -1.0f);
    EXPECT_GT(s.as_shot_multipliers[1], 0.0f);
    EXPECT_GT(s.as_shot_multipliers[2], 0.0f);
}

TEST(CiffHeapSamples, PowerShotG2) {
    LV_REQUIRE_SAMPLE("PowerShotG2_CRW_0304.CRW");
    const auto f = parseCrw("PowerShotG2_CRW_0304.CRW");
    const raw::DecoderState& s = *f.s;
    EXPECT_STREQ(s.camera_make, "Canon");
    EXPECT_STREQ(s.camera_model, "Canon PowerShot G2");
    EXPECT_EQ(s.sensor_width, 2376);
    EXPECT_EQ(s.sensor_height, 1728);
    EXPECT_EQ(s.visible_width, 2272);
    EXPECT_EQ(s.visible_height, 1704);
    EXPECT_EQ(s.compression_code, 1u);
    EXPECT_FLOAT_EQ(s.iso_value, 50);
    EXPECT_NEAR(s.exposure_time, 1 / 52.0f, 0.001f);
    EXPECT_FLOAT_EQ(s.focal_length_mm, 7.0f);
    EXPECT_EQ(s.thumbnail_length, 27980u);
    // Gains of the 0x102C record, which comes first; the slot record then stands aside.
    EXPECT_GT(s.as_shot_multipliers[0], 0.0f);
    EXPECT_GT(s.as_shot_multipliers[2], 0.0f);
}

TEST(CiffHeapSamples, EmptyWhiteTableDecodesToZeros) {
    LV_REQUIRE_SAMPLE("PowerShotG2_CRW_0304.CRW");
    ParsedFile f(testsupport::sampleBytes("PowerShotG2_CRW_0304.CRW"));
    for (auto& row : f.s->white_samples)
        std::fill(std::begin(row), std::end(row), 0xFFFF);
    std::fseek(f.s->input_file, 2751530, SEEK_SET); // the G2's 0x1030 record, 10-bit and unused
    raw::ciff_wb_table(*f.s);
    for (const auto& row : f.s->white_samples)
        for (uint16_t v : row)
            ASSERT_EQ(v, 0);
}

TEST(CiffHeapSamples, HeaderOnlyRebel) {
    LV_REQUIRE_SAMPLE("CanonRaw.crw");
    const auto f = parseCrw("CanonRaw.crw");
    EXPECT_STREQ(f.s->camera_model, "Canon EOS DIGITAL REBEL");
    EXPECT_EQ(f.s->sensor_width, 3152);
    EXPECT_EQ(f.s->sensor_height, 2068);
    EXPECT_EQ(f.s->visible_width, 3072);
    EXPECT_FLOAT_EQ(f.s->iso_value, 100);
    EXPECT_NEAR(f.s->exposure_time, 1 / 60.0f, 0.001f);
    EXPECT_GT(f.s->as_shot_multipliers[0], 0.0f); // slot gains of the daylight setting
}

// The whole road on the complete files, once identification and the CRW loader are in.
TEST(CiffHeapSamples, CompleteFilesDecode) {
    for (const char* name : {"EOS_D30.CRW", "PowerShotG2_CRW_0304.CRW"}) {
        if (!std::filesystem::exists(testsupport::samplePath(name))) GTEST_SKIP() << name << " not present";
        std::scoped_lock lock(DCRaw::decodeLock());
        DCRaw decoder;
        decoder.setOutputColorSpace(4);
        uint64_t pixelSize = 0;
        ASSERT_TRUE(decoder.loadFile(testsupport::samplePath(name).string(), &pixelSize))
            << decoder.dcStatus();
        EXPECT_EQ(decoder.dcMake(), "Canon");
        uint16_t* buffer = nullptr;
        uint16_t width = 0, height = 0;
        const bool ok = decoder.processFileAndCreateBuffer("", &buffer, 0, &width, &height);
        std::free(buffer);
        EXPECT_TRUE(ok) << name << ": " << decoder.dcStatus();
        EXPECT_GT(width, 2000);
        EXPECT_GT(height, 1400);
    }
}

} // namespace
